#include "mail/mailtext.h"

#include <string_view>

namespace mail {

std::string sanitizeName(const std::string& name, const std::string& allowedNameChars)
{
    constexpr size_t longest = 30;
    std::string kept;
    for (const char c : name) {
        if (kept.size() == longest)
            break;
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (c == ' ' || allowedNameChars.find(upper) != std::string::npos)
            kept += c;
    }
    return kept;
}

std::string sentCopyFileName(const std::string& subject)
{
    // 255 bytes less ".html", ".new-" and the longest process number (pid_max is at most 2^22, 7 digits).
    constexpr size_t longest = 255 - 5 - 5 - 7;
    std::string name = subject;
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || u < 32 || u == 127)
            c = '-';
    }
    if (name.size() > longest) {
        size_t cut = longest;
        // Back to the first byte of a UTF-8 character, so no character is left in halves.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name + ".html";
}

std::string findReplyAddress(const std::string& pageSource)
{
    constexpr std::string_view mailto = "mailto:";
    const size_t at = pageSource.find(mailto);
    if (at == std::string::npos)
        return "";
    const size_t start = at + mailto.size();
    const size_t subject = pageSource.find("?subject=");
    if (subject == std::string::npos || subject < start)
        return "";
    std::string address = pageSource.substr(start, subject - start);
    // The page comes from the site, not from the user: an address that spans lines or tags, or holds a NUL, would
    // end up in the To header and the RCPT command as it is, so it counts as no address at all. A comma would
    // make it several recipients where the reply goes to one.
    if (address.find_first_of(std::string_view("\r\n\0<>,", 6)) != std::string::npos)
        return "";
    return address;
}

} // namespace mail
