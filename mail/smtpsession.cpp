#include "mail/smtpsession.h"

#include "mail/cryptlib/cryptlib.h"
#include "mail/lookup.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/statustext.h"
#include "mail/tlstransport.h"
#include "shell/programstate.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <new>
#include <vector>

namespace mail {

namespace {

std::vector<std::string> splitRecipients(const std::string& recipients)
{
    std::vector<std::string> addresses;
    size_t start = 0;
    for (;;) {
        const size_t comma = recipients.find(',', start);
        std::string piece = recipients.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!piece.empty())
            addresses.push_back(std::move(piece));
        if (comma == std::string::npos)
            return addresses;
        start = comma + 1;
    }
}

// Line ends and angle brackets would let a page inject commands; control bytes and bytes above 127 can't stand
// in a command or a header without SMTPUTF8, which this client doesn't speak.
bool isUnsafeAddressByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || u > 126 || c == '<' || c == '>';
}

// An address that could end a command line or its angle brackets early would let a page inject commands.
bool refuseUnsafeAddress(const std::string& address, std::string& errorText)
{
    std::string shown = address;
    bool unsafe = false;
    for (char& c : shown) {
        if (isUnsafeAddressByte(c)) {
            c = ' ';
            unsafe = true;
        }
    }
    if (unsafe)
        setErrorText(errorText, "Invalid address: " + shown);
    return unsafe;
}

static_assert(waitAbandoned == sendAbandoned, "the transport's abandoned wait is the send's result");
const char* const abandonedText = "Abandoned: the send was stopped before the server confirmed the mail";

// The wait for QUIT's answer: the mail has gone by then, and a longer wait would only hold the user up.
constexpr int quitWaitMs = 5000;

// How long the machine's own name may take to resolve; it is normally in the hosts file.
constexpr int hostLookupMs = 5000;

bool isDomainName(const std::string& name)
{
    if (name.empty() || name.find('.') == std::string::npos || name.front() == '.' || name.back() == '.'
        || name.find("..") != std::string::npos)
        return false;
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
            return false;
    }
    return true;
}

// The length of the first complete reply in text (through the line end of its last line), or npos.
size_t firstReplyLength(const std::string& text)
{
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return std::string::npos;
        if (!(end - start >= 4 && text[start + 3] == '-'))
            return end + 1;
        start = end + 1;
    }
    return std::string::npos;
}

// The reply's lines in order, each without its line end.
std::vector<std::string> replyLines(const std::string& reply)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < reply.size();) {
        size_t end = reply.find('\n', start);
        if (end == std::string::npos)
            end = reply.size();
        std::string line = reply.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// True when the server's EHLO answer names the keyword on one of its lines ("250-STARTTLS", "250 STARTTLS").
bool offersExtension(const std::string& reply, const std::string& keyword)
{
    for (const std::string& line : replyLines(reply)) {
        if (line.size() > 4) {
            std::string word = line.substr(4);
            word.resize(std::min(word.size(), word.find(' ')));
            for (char& c : word)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (word == keyword)
                return true;
        }
    }
    return false;
}

// The three code characters as received, blanks where the reply is shorter (a silent server gives three).
std::string codeText(const std::string& reply)
{
    std::string code = reply.substr(0, 3);
    code.resize(3, ' ');
    return code;
}

// The server's own words for errorText: its reply's lines joined by blanks (each line after the first without its
// code), control bytes made blanks; three blanks when nothing came, as the code text then is.
std::string replyWords(const std::string& reply)
{
    std::string words;
    for (const std::string& line : replyLines(reply)) {
        if (!words.empty())
            words += ' ' + (line.size() >= 4 ? line.substr(4) : line);
        else
            words = line;
    }
    // A reply of empty lines gives its code text, which is as raw as the rest.
    if (words.empty())
        words = codeText(reply);
    for (char& c : words) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127)
            c = ' ';
    }
    return words;
}

// The mechanisms the EHLO answer names on its AUTH line ("250-AUTH LOGIN PLAIN", or the old "250-AUTH=LOGIN"),
// upper-cased, in their order.
std::vector<std::string> authMechanisms(const std::string& reply)
{
    std::vector<std::string> mechanisms;
    for (std::string line : replyLines(reply)) {
        line = line.size() > 4 ? line.substr(4) : std::string();
        for (char& c : line)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (line.rfind("AUTH", 0) == 0 && line.size() > 4 && (line[4] == ' ' || line[4] == '=')) {
            size_t at = 5;
            while (at < line.size()) {
                const size_t stop = std::min(line.find_first_of(' ', at), line.size());
                if (stop > at)
                    mechanisms.push_back(line.substr(at, stop - at));
                at = stop + 1;
            }
        }
    }
    return mechanisms;
}

bool offers(const std::vector<std::string>& mechanisms, const char* mechanism)
{
    return std::find(mechanisms.begin(), mechanisms.end(), mechanism) != mechanisms.end();
}

int codeValue(const std::string& code)
{
    int value = 0;
    for (char c : code) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

class Dialogue {
public:
    Dialogue(int session, std::string& errorText)
        : m_session(session)
        , m_errorText(errorText)
    {
    }

    // Sends a command (when not empty) and reads its reply within waitMs; 0 when the reply code is one of
    // accepted, otherwise the result of the step with its text.
    int step(const std::string& command, std::initializer_list<int> accepted, int refusal, const char* label,
             int waitMs = replyWaits().commandMs)
    {
        int result = send({command});
        if (result == 0)
            result = receive(waitMs);
        return result == 0 ? judge(accepted, refusal, label) : result;
    }

    // Pushes and flushes each piece in turn (the message's header and content); 0 or the transport's result.
    int send(std::initializer_list<std::string_view> pieces)
    {
        for (const std::string_view piece : pieces) {
            if (piece.empty())
                continue;
            const int sent = tlsSend(m_session, m_errorText, piece);
            if (sent != 0) {
                setErrorText(m_errorText,
                             sent == waitAbandoned ? abandonedText : "sslSendData ERROR: " + securityStatusText(sent));
                return sent;
            }
        }
        return 0;
    }

    int receive(int waitMs)
    {
        m_reply.clear();
        const int received = tlsReceiveReply(m_session, m_errorText, m_reply, waitMs);
        if (received != 0)
            setErrorText(m_errorText,
                         received == waitAbandoned ? abandonedText
                                                   : "sslRecvData ERROR: " + securityStatusText(received));
        return received;
    }

    // 0 when the reply's code is accepted; otherwise the refusal, with the label and the server's words, and
    // a word that a 4xx refusal may pass when tried again.
    int judge(std::initializer_list<int> accepted, int refusal, const char* label)
    {
        const int code = codeValue(codeText(m_reply));
        for (int value : accepted)
            if (code == value)
                return 0;
        const std::string temporary = code >= 400 && code <= 499 ? " (temporary: try again later)" : "";
        std::string text = std::string(label) + replyWords(m_reply);
        text.resize(std::min(text.size(), errorTextCapacity - temporary.size()));
        setErrorText(m_errorText, text + temporary);
        return refusal;
    }

    const std::string& reply() const { return m_reply; }
    std::string& errorText() { return m_errorText; }

private:
    int m_session;
    std::string& m_errorText;
    std::string m_reply;
};

// AUTH LOGIN where the server offers it (or names no mechanism at all, when its own refusal says best what is
// wrong), otherwise AUTH PLAIN (RFC 4616) in one line; neither offered ends the send before any secret goes out.
int logIn(Dialogue& dialogue, const std::string& userName, const std::string& password)
{
    const std::vector<std::string> mechanisms = authMechanisms(dialogue.reply());
    if (mechanisms.empty() || offers(mechanisms, "LOGIN")) {
        int result = dialogue.step("AUTH LOGIN\r\n", {334}, authLoginRefused, "AUTH LOGIN Failed: ");
        if (result == 0)
            result = dialogue.step(base64Encode(userName) + "\r\n", {334}, userNameRefused, "Username Failed: ");
        if (result == 0)
            result = dialogue.step(base64Encode(password) + "\r\n", {235, 250}, passwordRefused, "Password Failed: ");
        return result;
    }
    if (offers(mechanisms, "PLAIN")) {
        const std::string credentials = std::string(1, '\0') + userName + '\0' + password;
        return dialogue.step("AUTH PLAIN " + base64Encode(credentials) + "\r\n", {235, 250}, passwordRefused,
                             "Password Failed: ");
    }
    std::string offered;
    for (const std::string& mechanism : mechanisms)
        offered += (offered.empty() ? "" : " ") + mechanism;
    // The names are the server's words too: a control byte among them must not break the box's line.
    for (char& c : offered)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = ' ';
    setErrorText(dialogue.errorText(), "AUTH LOGIN Failed: the server offers only " + offered);
    return authLoginRefused;
}

} // namespace

std::string dataPhaseText(const std::string& message, bool endOfData)
{
    std::string text;
    text.reserve(message.size() + message.size() / 64 + 8);
    bool atLineStart = true;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
                ++i;
            text += "\r\n";
            atLineStart = true;
            continue;
        }
        if (atLineStart && c == '.')
            text += '.';
        text += c;
        atLineStart = false;
    }
    if (endOfData)
        text += "\r\n.\r\n";
    return text;
}

// Port 587 is submission with STARTTLS (RFC 6409); 465 and any other port speak TLS from the first byte.
static int startTlsPort = 587;

void setStartTlsPort(int port)
{
    startTlsPort = port;
}

Security securityForPort(int port)
{
    return port == startTlsPort ? Security::startTls : Security::implicitTls;
}

std::string ehloName(const std::string& canonicalName, const std::string& localAddress)
{
    if (isDomainName(canonicalName))
        return canonicalName;
    in_addr v4{};
    if (::inet_pton(AF_INET, localAddress.c_str(), &v4) == 1)
        return "[" + localAddress + "]";
    in6_addr v6{};
    if (::inet_pton(AF_INET6, localAddress.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            char text[INET_ADDRSTRLEN + 2] = "[";
            ::inet_ntop(AF_INET, &v6.s6_addr[12], text + 1, INET_ADDRSTRLEN);
            return std::string(text) + "]";
        }
        return "[IPv6:" + localAddress + "]";
    }
    return "[127.0.0.1]";
}

std::string canonicalHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return {};
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (lookUpWithin(name, "", hints, hostLookupMs, &found) != 0 || !found)
        return {};
    std::string canonical = found->ai_canonname ? found->ai_canonname : "";
    ::freeaddrinfo(found);
    return canonical;
}

int sendMail(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
             const std::string& bodyText, const std::string& smtpServer, int smtpPort, const std::string& userName,
             const std::string& password, std::string& errorText)
{
    return sendMailWith(securityForPort(smtpPort), senderEmail, recipients, subject, bodyText, smtpServer, smtpPort,
                        userName, password, errorText);
}

int sendMailWith(Security security, const std::string& senderEmail, const std::string& recipients,
                 const std::string& subject, const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                 const std::string& userName, const std::string& password, std::string& errorText)
{
    return sendMailWithAttachments(security, senderEmail, recipients, subject, bodyText, smtpServer, smtpPort, userName,
                                   password, shell::attachmentList, errorText);
}

int sendMailWithAttachments(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                            const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                            const std::string& userName, const std::string& password,
                            const std::vector<std::string>& attachments, std::string& errorText)
{
    return sendMailWithAttachments(securityForPort(smtpPort), senderEmail, recipients, subject, bodyText, smtpServer,
                                   smtpPort, userName, password, attachments, errorText);
}

int sendMailWithAttachments(Security security, const std::string& senderEmail, const std::string& recipients,
                            const std::string& subject, const std::string& bodyText, const std::string& smtpServer,
                            int smtpPort, const std::string& userName, const std::string& password,
                            const std::vector<std::string>& attachments, std::string& errorText)
{
    const std::vector<std::string> addresses = splitRecipients(recipients);
    if (refuseUnsafeAddress(senderEmail, errorText))
        return invalidAddress;
    for (const std::string& address : addresses)
        if (refuseUnsafeAddress(address, errorText))
            return invalidAddress;

    // The content, attachments and all, is read and built before connecting; only the header lines wait for the
    // connection, whose local address may be the EHLO name they carry.
    std::string content;
    try {
        content = dataPhaseText(composeContent(bodyText, attachments));
    } catch (const std::bad_alloc&) {
        setErrorText(errorText, "Message not composed: out of memory");
        return messageNotComposed;
    }

    if (sendCancelled()) {
        setErrorText(errorText, abandonedText);
        return sendAbandoned;
    }
    // Looked up before connecting, so the server's wait for our greeting doesn't run meanwhile.
    const std::string canonicalName = canonicalHostName();
    const bool startTls = security == Security::startTls;
    int session = 0;
    const int opened = tlsOpen(smtpServer, smtpPort, session, startTls);
    if (opened != 0) {
        setErrorText(errorText,
                     securityLibrary().complete() ? openFailureText(opened)
                                                  : "The security library could not be loaded.");
        return opened;
    }
    const std::string hostName = ehloName(canonicalName, tlsLocalAddress(session));
    const std::string ehlo = "EHLO " + hostName + "\r\n";

    Dialogue dialogue(session, errorText);
    const ReplyWaits& waits = replyWaits();
    int result = dialogue.step("", {220}, greetingRefused, "Invalid handshake received: ", waits.greetingMs);
    if (result == 0)
        result = dialogue.step(ehlo, {250}, ehloRefused, "EHLO Failed: ");
    if (result == 0 && startTls) {
        // Nothing secret goes out before the handshake, and there is no way on without it.
        if (!offersExtension(dialogue.reply(), "STARTTLS")) {
            setErrorText(errorText, "STARTTLS not offered by the server");
            return startTlsNotOffered;
        }
        result = dialogue.step("STARTTLS\r\n", {220}, startTlsRefused, "STARTTLS Failed: ");
        // Anything after the go-ahead came in clear and would pass for a reply over TLS (RFC 3207's injection).
        if (result == 0 && firstReplyLength(dialogue.reply()) != dialogue.reply().size()) {
            result = CRYPT_ERROR_BADDATA;
            setErrorText(errorText, securityStatusText(result));
        }
        if (result == 0) {
            result = tlsStartTls(session);
            if (result != 0)
                setErrorText(errorText, openFailureText(result));
        }
        // What the server said in clear counts for nothing now (RFC 3207): greet it again.
        if (result == 0)
            result = dialogue.step(ehlo, {250}, ehloRefused, "EHLO Failed: ");
    }
    if (result == 0)
        result = logIn(dialogue, userName, password);
    if (result == 0)
        result = dialogue.step("MAIL FROM: <" + senderEmail + ">\r\n", {250}, mailFromRefused, "MAIL FROM Failed: ");
    for (size_t i = 0; result == 0 && i < addresses.size(); ++i)
        result = dialogue.step("RCPT TO: <" + addresses[i] + ">\r\n", {250, 251}, rcptToRefused, "RCPT TO Failed: ");
    if (result == 0)
        result = dialogue.step("DATA\r\n", {354}, dataRefused, "DATA Failed: ");
    if (result == 0) {
        std::string headers;
        try {
            headers = dataPhaseText(composeHeaders(senderEmail, recipients, subject, hostName), false);
        } catch (const std::bad_alloc&) {
            setErrorText(errorText, "Message not composed: out of memory");
            return messageNotComposed;
        }
        result = dialogue.send({headers, content});
        const int received = result == 0 ? dialogue.receive(waits.dataEndMs) : result;
        if (received == sendAbandoned)
            result = sendAbandoned;
        // No answer, or a connection gone, after the whole message is no refusal: the server may have it.
        if (result == 0 && (received != 0 || dialogue.reply().empty())) {
            setErrorText(errorText,
                         "Not confirmed: the server did not answer after the message, so it may or may "
                         "not have been sent");
            return messageNotConfirmed;
        }
        if (result == 0)
            result = dialogue.judge({250}, messageRefused, "Message refused: ");
    }
    if (result == sendAbandoned) {
        // A server that has stopped taking anything gets no second chance to hold the send up: one try at QUIT.
        dialogue.send({"QUIT\r\n"});
        tlsClose(session);
        setErrorText(errorText, abandonedText);
        return sendAbandoned;
    }
    if (result != 0)
        return result; // the session is left to the library's shutdown, which the mail window does right after
    // The server answered 250: the mail is its own now (RFC 5321 6.1), whatever QUIT and the connection's end do.
    // Its answer to QUIT changes nothing, so it gets a short wait only.
    const std::string untouched = errorText;
    if (dialogue.send({"QUIT\r\n"}) == 0)
        dialogue.receive(std::min(waits.commandMs, quitWaitMs));
    errorText = untouched;
    tlsClose(session);
    return 0;
}

std::string sendErrorText(int result, const std::string& errorText)
{
    const std::string first = "An SMTP Error Has Occured " + std::to_string(result);
    return errorText.find_first_not_of(' ') == std::string::npos ? first : first + "\n" + errorText;
}

} // namespace mail
