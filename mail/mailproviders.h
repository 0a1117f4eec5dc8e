#pragma once
// The outgoing-mail settings of well-known providers, by the domain of the sender's address, from the table
// shipped beside the program; and what to tell a user whose log-in a server refused.

#include <string>
#include <vector>

namespace mail {

// "mailproviders.tsv", relative to the program folder.
inline constexpr const char* mailProvidersFile = "mailproviders.tsv";

struct MailProvider {
    std::string domain; // lower case
    std::string smtpServer; // empty: nothing can be filled in (the line says why)
    std::string smtpPort;
    std::string hint; // the line shown under the setup fields (UTF-8)
    std::string passwordSentence; // added to the error box after a refused log-in (UTF-8)
};

// The rows of the table: domain, server, port, hint and sentence, separated by tabs; empty lines and lines that
// begin with "#" are skipped, as are rows with fewer than five columns. Empty when the file can't be read.
std::vector<MailProvider> readMailProviders(const std::string& path);

// The row for the domain after the address's last "@" (letters compared in any case), or null.
const MailProvider* providerForAddress(const std::vector<MailProvider>& providers, const std::string& address);

// The first row whose server is this one (letters compared in any case), or null.
const MailProvider* providerForServer(const std::vector<MailProvider>& providers, const std::string& smtpServer);

// The setup fields the table may fill in.
struct SetupFields {
    std::string smtpServer, smtpPort, userName;
    bool operator==(const SetupFields&) const = default;
};

// The fields once the address's row has filled those left empty: the row's server and port, and the whole address
// as the username (what every provider in the table wants). A field that holds anything stays as it is.
SetupFields fillFromProvider(const MailProvider& provider, const std::string& address, SetupFields fields);

// True when result is a refused log-in step and the server's code after the step's label is 535 or 534
// (credentials refused, or an app password required).
bool isLogInRefusal(int result, const std::string& errorText);

// The sentence that a refused log-in adds to the error box: the provider's (by the server, else by the sender's
// address), or the general advice.
std::string logInAdvice(const std::vector<MailProvider>& providers, const std::string& senderEmail,
                        const std::string& smtpServer);

} // namespace mail
