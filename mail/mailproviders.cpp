#include "mail/mailproviders.h"

#include "mail/smtpsession.h"
#include "platform/linereader.h"

#include <algorithm>
#include <cctype>

namespace mail {

namespace {

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> columns(const std::string& line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        parts.push_back(line.substr(start, tab - start));
    parts.push_back(line.substr(start));
    return parts;
}

} // namespace

std::vector<MailProvider> readMailProviders(const std::string& path)
{
    std::vector<MailProvider> providers;
    platform::LineReader reader(path);
    if (!reader.isOpen())
        return providers;
    while (!reader.atEnd()) {
        const std::string line = reader.readLine();
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> parts = columns(line);
        if (parts.size() < 5 || parts[0].empty())
            continue;
        providers.push_back({lowerCase(parts[0]), parts[1], parts[2], parts[3], parts[4]});
    }
    return providers;
}

const MailProvider* providerForAddress(const std::vector<MailProvider>& providers, const std::string& address)
{
    const size_t at = address.rfind('@');
    if (at == std::string::npos)
        return nullptr;
    const std::string domain = lowerCase(address.substr(at + 1));
    const auto found
        = std::find_if(providers.begin(), providers.end(), [&](const MailProvider& p) { return p.domain == domain; });
    return found == providers.end() ? nullptr : &*found;
}

const MailProvider* providerForServer(const std::vector<MailProvider>& providers, const std::string& smtpServer)
{
    const std::string server = lowerCase(smtpServer);
    if (server.empty())
        return nullptr;
    const auto found = std::find_if(providers.begin(), providers.end(),
                                    [&](const MailProvider& p) { return lowerCase(p.smtpServer) == server; });
    return found == providers.end() ? nullptr : &*found;
}

SetupFields fillFromProvider(const MailProvider& provider, const std::string& address, SetupFields fields)
{
    if (provider.smtpServer.empty())
        return fields;
    if (fields.smtpServer.empty())
        fields.smtpServer = provider.smtpServer;
    if (fields.smtpPort.empty())
        fields.smtpPort = provider.smtpPort;
    if (fields.userName.empty())
        fields.userName = address;
    return fields;
}

bool isLogInRefusal(int result, const std::string& errorText)
{
    const char* label = result == authLoginRefused ? "AUTH LOGIN Failed: "
        : result == userNameRefused                ? "Username Failed: "
        : result == passwordRefused                ? "Password Failed: "
                                                   : nullptr;
    if (!label || errorText.rfind(label, 0) != 0)
        return false;
    const std::string code = errorText.substr(std::string(label).size(), 3);
    return code == "535" || code == "534";
}

std::string logInAdvice(const std::vector<MailProvider>& providers, const std::string& senderEmail,
                        const std::string& smtpServer)
{
    // The server is the one that refused; the address speaks for it only when the server is none of the table's.
    const MailProvider* provider = providerForServer(providers, smtpServer);
    if (!provider)
        provider = providerForAddress(providers, senderEmail);
    if (provider && !provider->passwordSentence.empty())
        return provider->passwordSentence;
    return "Check the username and password; many providers need an app password for mail programs.";
}

} // namespace mail
