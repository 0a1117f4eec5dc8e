// The SMTP dialogue against a server that answers anything, in pieces of any size, through a stand-in for the
// security library. Whatever it answers: the result is one of the documented ones, the error text is one line
// that fits its buffer, no secret goes out before the server has taken the step that asks for it, and a mail
// reported sent went out whole. Input: a byte of choices, a byte for the pieces' sizes, then the server's turns
// separated by zero bytes: the greeting, then what it sends after each of the client's pushes.

#include "fuzzcheck.h"

#include "mail/cryptlib/cryptlib.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/smtpsession.h"
#include "mail/tlstransport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string_view serverTurns; // the turns not yet begun
std::string_view serverBytes; // what is left of the current turn
size_t largestPiece = 1;
std::uint32_t pieceState = 1;
std::string pushed;
std::string pending;

int fakeOk()
{
    return CRYPT_OK;
}
int fakeSetAttribute(int, int, int)
{
    return CRYPT_OK;
}
int fakeGetAttribute(int, int, int* value)
{
    *value = 0;
    return CRYPT_OK;
}
int fakeSetAttributeString(int, int, const void*, int)
{
    return CRYPT_OK;
}
int fakeGetAttributeString(int, int, void*, int*)
{
    return CRYPT_ERROR_NOTAVAIL; // no local address: the EHLO name comes from the host name
}
int fakeCreateSession(int* session, int, int)
{
    *session = 7;
    return CRYPT_OK;
}
int fakeDestroy(int)
{
    return CRYPT_OK;
}
int fakeCreateEnvelope(int* envelope, int, int)
{
    *envelope = 8;
    return CRYPT_OK;
}
int fakePush(int, const void* buffer, int length, int* bytesCopied)
{
    pushed.append(static_cast<const char*>(buffer), size_t(length));
    // The server's next turn answers this push; what it had not sent of the last one is sent with it.
    const size_t end = serverTurns.find('\0');
    std::string next(serverBytes);
    next.append(serverTurns.substr(0, end));
    pending.swap(next);
    serverBytes = pending;
    serverTurns.remove_prefix(end == std::string_view::npos ? serverTurns.size() : end + 1);
    *bytesCopied = length;
    return CRYPT_OK;
}
int fakeFlush(int)
{
    return CRYPT_OK;
}
int fakePop(int, void* buffer, int length, int* bytesCopied)
{
    pieceState = pieceState * 1103515245u + 12345u;
    const size_t count = std::min({serverBytes.size(), size_t(length), 1 + (pieceState >> 16) % largestPiece});
    std::memcpy(buffer, serverBytes.data(), count);
    serverBytes.remove_prefix(count);
    *bytesCopied = int(count);
    return CRYPT_OK;
}

void noWait(int) { }

void setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    mail::SecurityLibrary& library = mail::securityLibrary();
    static int handle = 0;
    library.handle = &handle;
    library.init = fakeOk;
    library.end = fakeOk;
    library.setAttribute = fakeSetAttribute;
    library.setAttributeString = fakeSetAttributeString;
    library.getAttribute = fakeGetAttribute;
    library.getAttributeString = fakeGetAttributeString;
    library.createSession = fakeCreateSession;
    library.destroySession = fakeDestroy;
    library.createEnvelope = fakeCreateEnvelope;
    library.destroyEnvelope = fakeDestroy;
    library.pushData = fakePush;
    library.flushData = fakeFlush;
    library.popData = fakePop;
    mail::setWaitHook(noWait);
    mail::setReplyWaits({60000, 60000, 60000}); // 600 polls: a reply in one-byte pieces comes whole
}

bool contains(std::string_view text, std::string_view piece)
{
    return text.find(piece) != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    setUp();
    fuzz::Choices choices(data, size);
    const size_t flags = choices.below(256);
    largestPiece = 1 + choices.below(256);
    pieceState = 1;
    serverTurns = choices.rest();
    const size_t greetingEnd = serverTurns.find('\0');
    serverBytes = serverTurns.substr(0, greetingEnd);
    serverTurns.remove_prefix(greetingEnd == std::string_view::npos ? serverTurns.size() : greetingEnd + 1);
    pushed.clear();

    const bool startTls = flags & 1;
    const int recipientCount = 1 + int((flags >> 1) % 3);
    const std::string recipients
        = std::string("a@x.example,b@y.example,c@z.example").substr(0, size_t(recipientCount) * 12 - 1);
    const std::string user = "user-name-secret";
    const std::string password = "pass-word-secret";
    std::string errorText;
    const int result = mail::sendMailWithAttachments(startTls ? mail::Security::startTls : mail::Security::implicitTls,
                                                     "me@w.example", recipients, "subject", "hello\r\n.\r\nbody",
                                                     "smtp.example", 465, user, password, {}, errorText);

    if (std::getenv("QB_FUZZ_VERBOSE"))
        std::fprintf(stderr, "result %d: %s\n", result, errorText.c_str());
    FUZZ_CHECK(result == 0 || result == CRYPT_ERROR_BADDATA
                   || (result >= mail::greetingRefused && result <= mail::messageNotConfirmed
                       && result != mail::invalidAddress && result != mail::messageNotComposed),
               "a result the dialogue does not document");
    FUZZ_CHECK(errorText.size() <= mail::errorTextCapacity, "an error text longer than its buffer");
    FUZZ_CHECK(errorText.find_first_of("\r\n") == std::string::npos, "an error text of more than one line");
    FUZZ_CHECK(result != 0 || errorText.empty(), "an error text for a mail sent");

    const bool secretsAsked = result != mail::greetingRefused && result != mail::ehloRefused
        && result != mail::startTlsNotOffered && result != mail::startTlsRefused && result != CRYPT_ERROR_BADDATA;
    const std::string credentials = mail::base64Encode(std::string(1, '\0') + user + '\0' + password);
    if (!secretsAsked) {
        FUZZ_CHECK(!contains(pushed, "AUTH"), "authentication began before the server was ready for it");
        FUZZ_CHECK(!contains(pushed, mail::base64Encode(password)) && !contains(pushed, credentials),
                   "the password went out before the server asked for it");
    }
    if (result == mail::authLoginRefused || result == mail::userNameRefused)
        FUZZ_CHECK(!contains(pushed, mail::base64Encode(password)), "the password went out after a refusal");
    if (startTls && contains(pushed, "AUTH"))
        FUZZ_CHECK(pushed.find("STARTTLS\r\n") < pushed.find("AUTH"), "authentication before STARTTLS");
    if (result == 0) {
        FUZZ_CHECK(contains(pushed, "\r\n..\r\nbody"), "a line holding one dot went out unstuffed");
        FUZZ_CHECK(pushed.find("\r\n.\r\n") != std::string::npos && pushed.find("\r\n.\r\n") > pushed.find("DATA\r\n"),
                   "a mail reported sent without its end of data");
        size_t rcpts = 0;
        for (size_t at = pushed.find("RCPT TO:"); at != std::string::npos; at = pushed.find("RCPT TO:", at + 1))
            ++rcpts;
        FUZZ_CHECK(rcpts == size_t(recipientCount), "a mail reported sent without all its recipients");
    }
    return 0;
}
