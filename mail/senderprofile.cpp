#include "mail/senderprofile.h"

#include "platform/files.h"
#include "platform/linereader.h"
#include "shell/filelist.h"

#include <cctype>
#include <climits>

namespace mail {

std::string profileFile(const std::string& profileName)
{
    return "smtp/" + profileName + ".smtp";
}

std::optional<SenderProfile> readProfile(const std::string& path)
{
    // fopen happily opens a folder for reading; it would read as a profile of empty fields.
    if (platform::isDirectory(path))
        return std::nullopt;
    platform::LineReader reader(path, true);
    if (!reader.isOpen())
        return std::nullopt;
    SenderProfile profile;
    for (std::string* field : {&profile.senderName, &profile.senderEmail, &profile.smtpServer, &profile.userName,
                               &profile.password, &profile.smtpPort})
        *field = reader.readLine(); // empty once the file is used up
    return profile;
}

bool writeProfile(const std::string& path, const SenderProfile& profile)
{
    std::string bytes;
    for (const std::string* field : {&profile.senderName, &profile.senderEmail, &profile.smtpServer, &profile.userName,
                                     &profile.password, &profile.smtpPort})
        bytes += *field + "\r\n";
    return writePrivateFileAtomically(path, bytes);
}

bool writePrivateFileAtomically(const std::string& path, std::string_view bytes)
{
    return platform::writeFileAtomically(path, bytes, platform::FileAccess::OwnerOnly);
}

std::string pinFile(const std::string& profileName)
{
    return "smtp/" + profileName + ".pin";
}

static std::string lowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string readPin(const std::string& path, const std::string& smtpServer)
{
    if (platform::isDirectory(path))
        return {};
    platform::LineReader reader(path);
    if (!reader.isOpen() || lowerCase(reader.readLine()) != lowerCase(smtpServer))
        return {};
    std::string digits = reader.readLine();
    std::erase(digits, ':');
    if (digits.size() != 64)
        return {};
    std::string fingerprint;
    for (size_t at = 0; at < digits.size(); at += 2) {
        const std::string pair = digits.substr(at, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || !std::isxdigit(static_cast<unsigned char>(pair[1])))
            return {};
        fingerprint += static_cast<char>(std::stoi(pair, nullptr, 16));
    }
    return fingerprint.size() == 32 ? fingerprint : std::string();
}

bool writePin(const std::string& path, const std::string& smtpServer, const std::string& fingerprint)
{
    return writePrivateFileAtomically(path, smtpServer + "\r\n" + fingerprintText(fingerprint) + "\r\n");
}

std::string fingerprintText(const std::string& fingerprint)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : fingerprint) {
        const auto byte = static_cast<unsigned char>(c);
        if (!text.empty())
            text += ':';
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::vector<std::string> profileList(const std::string& programFolder)
{
    return shell::listDataFiles(programFolder + "smtp/", ".smtp");
}

int portNumber(const std::string& portText)
{
    size_t at = 0;
    while (at < portText.size() && (portText[at] == ' ' || portText[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < portText.size() && (portText[at] == '+' || portText[at] == '-'))
        negative = portText[at++] == '-';
    // Counted as a negative number so INT_MIN fits; saturates instead of overflowing on long digit runs.
    long long value = 0;
    for (; at < portText.size() && portText[at] >= '0' && portText[at] <= '9'; ++at)
        if (value > LLONG_MIN / 100)
            value = value * 10 - (portText[at] - '0');
    if (negative)
        return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return value < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-value);
}

} // namespace mail
