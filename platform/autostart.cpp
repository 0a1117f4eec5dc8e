#include "platform/autostart.h"

#include "platform/files.h"
#include "platform/programfolder.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace platform {

namespace {

// The length of the well-formed UTF-8 sequence (RFC 3629: no overlong form, no surrogate, nothing past U+10FFFF)
// that starts text, or 0; a control character counts as none.
size_t acceptedCharacter(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(0);
    if (first < 0x80)
        return first < 0x20 || first == 0x7F ? 0 : 1;
    size_t length;
    unsigned int low = 0x80, high = 0xBF; // the bounds of the second byte
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    // U+0080 to U+009F are control characters too.
    if (first == 0xC2 && byte(1) <= 0x9F)
        return 0;
    return length;
}

} // namespace

bool autostartCanHold(std::string_view programPath)
{
    for (size_t at = 0; at < programPath.size();) {
        const size_t length = acceptedCharacter(programPath.substr(at));
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::string printablePath(std::string_view programPath)
{
    std::string shown;
    for (size_t at = 0; at < programPath.size();) {
        const size_t length = acceptedCharacter(programPath.substr(at));
        if (length > 0) {
            shown.append(programPath.substr(at, length));
            at += length;
            continue;
        }
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(programPath[at]));
        shown += escape;
        ++at;
    }
    return shown;
}

std::string autostartEntryPath()
{
    const auto home = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    return home ? *home + "/autostart/quillobrand.desktop" : std::string();
}

std::string desktopExecArgument(std::string_view argument)
{
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = argument.empty() || argument.find_first_of(reserved) != std::string_view::npos;
    std::string exec = quote ? "\"" : "";
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            exec += '\\';
        exec += c;
        if (c == '%')
            exec += '%'; // a single % would start a field code
    }
    if (quote)
        exec += '"';
    // The Exec key is a string value: its own escapes apply on top of the quoting.
    std::string value;
    for (char c : exec) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::string autostartEntryText(const std::string& programPath)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillobrand\n"
           "Comment=Watches saved searches for new ads\n"
           "Exec="
        + desktopExecArgument(programPath) + " " + inTrayArgument
        + "\n"
          "Terminal=false\n";
}

bool writeAutostartEntry(const std::string& programPath)
{
    if (!autostartCanHold(programPath)) {
        errno = EILSEQ;
        return false;
    }
    const std::string path = autostartEntryPath();
    if (path.empty() || !makeFolders(path.substr(0, path.rfind('/')), 0700))
        return false;
    return writeFileAtomically(path, autostartEntryText(programPath));
}

bool removeAutostartEntry()
{
    const std::string path = autostartEntryPath();
    return path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool autostartEntryExists()
{
    const std::string path = autostartEntryPath();
    return !path.empty() && regularFileSize(path) >= 0;
}

} // namespace platform
