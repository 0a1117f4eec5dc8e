#include "mail/smtpsession.h"

#include "mail/cryptlib/cryptlib.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/statustext.h"
#include "mail/tlstransport.h"
#include "shell/programstate.h"

#include <unistd.h>

#include <initializer_list>
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

bool isUnsafeAddressByte(char c)
{
    return c == '\r' || c == '\n' || c == '\0' || c == '<' || c == '>';
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

std::string localHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

// The three code characters as received, blanks where the reply is shorter (a silent server gives three).
std::string codeText(const std::string& reply)
{
    std::string code = reply.substr(0, 3);
    code.resize(3, ' ');
    return code;
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

    // Sends a command (when not empty) and reads its reply; 0 when the reply code is one of accepted,
    // otherwise the result of the step with its text.
    int step(const std::string& command, std::initializer_list<int> accepted, int refusal, const char* label)
    {
        if (!command.empty()) {
            const int sent = tlsSend(m_session, m_errorText, command);
            if (sent != 0) {
                setErrorText(m_errorText, "sslSendData ERROR: " + securityStatusText(sent));
                return sent;
            }
        }
        std::string reply;
        const int received = tlsReceiveReply(m_session, m_errorText, reply);
        if (received != 0) {
            setErrorText(m_errorText, "sslRecvData ERROR: " + securityStatusText(received));
            return received;
        }
        const std::string code = codeText(reply);
        if (accepted.size() == 0)
            return 0;
        for (int value : accepted)
            if (codeValue(code) == value)
                return 0;
        setErrorText(m_errorText, std::string(label) + code);
        return refusal;
    }

private:
    int m_session;
    std::string& m_errorText;
};

} // namespace

std::string dataPhaseText(const std::string& message)
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
    text += "\r\n.\r\n";
    return text;
}

int sendMail(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
             const std::string& bodyText, const std::string& smtpServer, int smtpPort, const std::string& userName,
             const std::string& password, std::string& errorText)
{
    const std::vector<std::string> addresses = splitRecipients(recipients);
    if (refuseUnsafeAddress(senderEmail, errorText))
        return invalidAddress;
    for (const std::string& address : addresses)
        if (refuseUnsafeAddress(address, errorText))
            return invalidAddress;

    const std::string message = composeMessage(senderEmail, recipients, subject, bodyText, shell::attachmentList);

    int session = 0;
    const int opened = tlsOpen(smtpServer, smtpPort, session);
    if (opened != 0) {
        setErrorText(errorText,
                     securityLibrary().complete() ? securityStatusText(opened)
                                                  : "The security library could not be loaded.");
        return opened;
    }

    Dialogue dialogue(session, errorText);
    int result = dialogue.step("", {220}, greetingRefused, "Invalid handshake received: ");
    if (result == 0)
        result = dialogue.step("EHLO " + localHostName() + "\r\n", {250}, ehloRefused, "EHLO Failed: ");
    if (result == 0)
        result = dialogue.step("AUTH LOGIN\r\n", {334}, authLoginRefused, "AUTH LOGIN Failed: ");
    if (result == 0)
        result = dialogue.step(base64Encode(userName) + "\r\n", {334}, userNameRefused, "Username Failed: ");
    if (result == 0)
        result = dialogue.step(base64Encode(password) + "\r\n", {235, 250}, passwordRefused, "Password Failed: ");
    if (result == 0)
        result = dialogue.step("MAIL FROM: <" + senderEmail + ">\r\n", {250}, mailFromRefused, "MAIL FROM Failed: ");
    for (size_t i = 0; result == 0 && i < addresses.size(); ++i)
        result = dialogue.step("RCPT TO: <" + addresses[i] + ">\r\n", {250, 251}, rcptToRefused, "RCPT TO Failed: ");
    if (result == 0)
        result = dialogue.step("DATA\r\n", {354}, dataRefused, "DATA Failed: ");
    if (result == 0)
        result = dialogue.step(dataPhaseText(message), {250}, messageRefused, "Message refused: ");
    if (result == 0)
        result = dialogue.step("QUIT\r\n", {}, 0, "");
    // After a failure the session is left to the library's shutdown, which the mail window does right after.
    if (result == 0)
        tlsClose(session);
    return result;
}

} // namespace mail
