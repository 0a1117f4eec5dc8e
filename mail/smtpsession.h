#pragma once
// One mail, one SMTP session over TLS from the first byte: greeting, EHLO, AUTH LOGIN, MAIL FROM, RCPT TO for
// each recipient, DATA, the message, QUIT.

#include <string>

namespace mail {

// Results besides 0 (sent) and a negative status of the security library (the session could not be set up):
enum SmtpResult {
    greetingRefused = -996,
    ehloRefused = -995,
    authLoginRefused = -994,
    userNameRefused = -993,
    passwordRefused = -992,
    mailFromRefused = -991,
    rcptToRefused = -990,
    dataRefused = -989,
    messageRefused = -988,
    invalidAddress = -987,
};

// Sends the message composed from the arguments and the program's attachment list to every address of
// recipients (separated by ","). Returns 0, a security library status, -999 to -997 (transport) or -996 to -987
// (the step that was refused); errorText gets a one-line description of a failure.
int sendMail(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
             const std::string& bodyText, const std::string& smtpServer, int smtpPort, const std::string& userName,
             const std::string& password, std::string& errorText);

// The message as it goes out after DATA: every line end made CR LF, a "." doubled at the start of a line, and the
// end-of-data marker appended.
std::string dataPhaseText(const std::string& message);

} // namespace mail
