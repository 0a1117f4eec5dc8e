#pragma once
// One mail, one SMTP session: greeting, EHLO, AUTH LOGIN (or AUTH PLAIN where only that is offered), MAIL FROM,
// RCPT TO for each recipient, DATA, the message, QUIT. Over TLS from the first byte, or on port 587 after STARTTLS.

#include <string>
#include <vector>

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
    messageNotComposed = -986, // the memory for the message could not be had
    startTlsNotOffered = -985, // port 587: the server's EHLO answer names no STARTTLS
    startTlsRefused = -984, // port 587: STARTTLS not answered with 220
    messageNotConfirmed = -983, // no answer after the whole message: the server may or may not have it
    sendAbandoned = -982, // the thread's cancel hook stopped the send (setCancelHook); QUIT went if it could
};

// How the connection is secured: TLS from the first byte (port 465 and every other), or STARTTLS (port 587).
enum class Security { implicitTls, startTls };
Security securityForPort(int port);
// Tests give STARTTLS a port they can listen on; the program keeps 587.
void setStartTlsPort(int port);

// Sends the message composed from the arguments and the program's attachment list to every address of
// recipients (separated by ","). Returns 0, a security library status, -999 to -997 (transport), -996 to -984
// (the step that was refused), -983 (no answer after the message) or -982 (abandoned at the thread's cancel hook,
// which is asked during every wait but not while connecting); errorText gets a one-line description of a
// failure: the step and the server's own words, with " (temporary: try again later)" after a 4xx reply. Once the
// server has answered 250 to the message the result is 0, whatever QUIT brings. Never falls back to plain text.
int sendMail(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
             const std::string& bodyText, const std::string& smtpServer, int smtpPort, const std::string& userName,
             const std::string& password, std::string& errorText);

// sendMail with the security chosen by the caller instead of by the port, so tests can run STARTTLS anywhere.
int sendMailWith(Security security, const std::string& senderEmail, const std::string& recipients,
                 const std::string& subject, const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                 const std::string& userName, const std::string& password, std::string& errorText);

// sendMail with these attachments rather than the program's list: for a send off the window's thread, which
// must not touch the list the e-mail window fills.
int sendMailWithAttachments(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                            const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                            const std::string& userName, const std::string& password,
                            const std::vector<std::string>& attachments, std::string& errorText);
int sendMailWithAttachments(Security security, const std::string& senderEmail, const std::string& recipients,
                            const std::string& subject, const std::string& bodyText, const std::string& smtpServer,
                            int smtpPort, const std::string& userName, const std::string& password,
                            const std::vector<std::string>& attachments, std::string& errorText);

// The name the client gives in EHLO and in the Message-ID: the machine's canonical name when it is a domain
// with a dot, otherwise the address literal of the connection's local address ("[192.0.2.10]",
// "[IPv6:2001:db8::1]"); "[127.0.0.1]" when neither is known. Never a name without a dot.
std::string ehloName(const std::string& canonicalName, const std::string& localAddress);

// The machine's fully qualified name as the resolver gives it (within a few seconds), or empty.
std::string canonicalHostName();

// The message as it goes out after DATA: every line end made CR LF, a "." doubled at the start of a line, and
// (with endOfData) the end-of-data marker appended.
std::string dataPhaseText(const std::string& message, bool endOfData = true);

// What a mail window's error box says under its first line: "An SMTP Error Has Occured " and the result, then
// errorText on a line of its own (when it holds anything but blanks).
std::string sendErrorText(int result, const std::string& errorText);

} // namespace mail
