#include "mail/tlstransport.h"

#include "mail/cryptlib/cryptlib.h"
#include "mail/securitylibrary.h"
#include "mail/statustext.h"

#include <chrono>
#include <thread>

namespace mail {

namespace {

ReplyWaits currentWaits = rfcReplyWaits;
// Per thread: a window's hook paints that window, and a send on another thread (a watch's digest) must not.
thread_local WaitHook waitHook = nullptr;
thread_local CancelHook cancelHook;
thread_local std::string pinnedFingerprint;
thread_local std::optional<ServerCertificate> lastRefused;

// False when the send is to be abandoned, before the step or after it.
bool waitStep(int milliseconds)
{
    if (sendCancelled())
        return false;
    if (waitHook)
        waitHook(milliseconds);
    else if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return !sendCancelled();
}

std::string certificateText(const SecurityLibrary& lib, int session, int attribute)
{
    int length = 0;
    if (lib.getAttributeString(session, attribute, nullptr, &length) != CRYPT_OK || length <= 0)
        return {};
    std::string text(size_t(length), '\0');
    if (lib.getAttributeString(session, attribute, text.data(), &length) != CRYPT_OK || length < 0
        || size_t(length) > text.size())
        return {};
    text.resize(size_t(length));
    return text;
}

// After a handshake that failed: keeps what the library saw of a certificate it refused.
void noteRefusal(const SecurityLibrary& lib, int session, int status)
{
    int problem = CRYPT_CERTPROBLEM_NONE;
    if (status != CRYPT_ERROR_INVALID || lib.getAttribute(session, CRYPT_SESSINFO_SERVER_CERT_PROBLEM, &problem) != 0
        || problem == CRYPT_CERTPROBLEM_NONE)
        return;
    ServerCertificate c;
    c.fingerprint = certificateText(lib, session, CRYPT_SESSINFO_SERVER_CERT_FINGERPRINT);
    c.subject = certificateText(lib, session, CRYPT_SESSINFO_SERVER_CERT_SUBJECT);
    c.issuer = certificateText(lib, session, CRYPT_SESSINFO_SERVER_CERT_ISSUER);
    c.validFrom = certificateText(lib, session, CRYPT_SESSINFO_SERVER_CERT_VALIDFROM);
    c.validTo = certificateText(lib, session, CRYPT_SESSINFO_SERVER_CERT_VALIDTO);
    c.pinnable = problem == CRYPT_CERTPROBLEM_UNTRUSTED && c.fingerprint.size() == 32;
    lastRefused = std::move(c);
}

} // namespace

void setPinnedFingerprint(std::string fingerprint)
{
    pinnedFingerprint = std::move(fingerprint);
}

const std::optional<ServerCertificate>& refusedCertificate()
{
    return lastRefused;
}

std::string openFailureText(int status)
{
    if (status == CRYPT_ERROR_INVALID && lastRefused)
        return lastRefused->pinnable ? "the server's certificate is not trusted by this computer"
                                     : "the server's certificate names another server";
    return securityStatusText(status);
}

void setReplyWaits(ReplyWaits waits)
{
    currentWaits = waits;
}

const ReplyWaits& replyWaits()
{
    return currentWaits;
}

void setWaitHook(WaitHook hook)
{
    waitHook = hook;
}

void setCancelHook(CancelHook hook)
{
    cancelHook = std::move(hook);
}

bool sendCancelled()
{
    return cancelHook && cancelHook();
}

void setErrorText(std::string& errorText, std::string text)
{
    if (text.size() > errorTextCapacity)
        text.resize(errorTextCapacity);
    errorText = std::move(text);
}

int tlsOpen(const std::string& serverName, int port, int& session, bool plainFirst)
{
    lastRefused.reset();
    const SecurityLibrary& lib = securityLibrary();
    if (!lib.complete())
        return CRYPT_ERROR_NOTAVAIL;
    int status = lib.createSession(&session, CRYPT_UNUSED, CRYPT_SESSION_SSL);
    if (status == CRYPT_OK)
        status = lib.setAttributeString(session, CRYPT_SESSINFO_SERVER_NAME, serverName.data(),
                                        static_cast<int>(serverName.size()));
    if (status == CRYPT_OK)
        status = lib.setAttribute(session, CRYPT_SESSINFO_SERVER_PORT, port);
    // A long upload comes back to the transport at each step, so the windows can repaint meanwhile.
    if (status == CRYPT_OK)
        status = lib.setAttribute(session, CRYPT_SESSINFO_FLUSH_STEP_MS, receiveStepMs);
    if (status == CRYPT_OK && plainFirst)
        status = lib.setAttribute(session, CRYPT_SESSINFO_PLAINTEXT_FIRST, 1);
    if (status == CRYPT_OK && !pinnedFingerprint.empty())
        status = lib.setAttributeString(session, CRYPT_SESSINFO_PINNED_FINGERPRINT, pinnedFingerprint.data(),
                                        static_cast<int>(pinnedFingerprint.size()));
    if (status == CRYPT_OK) {
        status = lib.setAttribute(session, CRYPT_SESSINFO_ACTIVE, 1);
        noteRefusal(lib, session, status);
    }
    return status;
}

int tlsStartTls(int session)
{
    lastRefused.reset();
    const SecurityLibrary& lib = securityLibrary();
    if (!lib.complete())
        return CRYPT_ERROR_NOTAVAIL;
    const int status = lib.setAttribute(session, CRYPT_SESSINFO_STARTTLS, 1);
    noteRefusal(lib, session, status);
    return status;
}

std::string tlsLocalAddress(int session)
{
    const SecurityLibrary& lib = securityLibrary();
    if (!lib.complete())
        return {};
    char text[64] = {};
    int length = sizeof text;
    if (lib.getAttributeString(session, CRYPT_SESSINFO_CLIENT_NAME, text, &length) != CRYPT_OK || length < 0
        || length > int(sizeof text))
        return {};
    return std::string(text, size_t(length));
}

int tlsSend(int session, std::string& errorText, std::string_view data)
{
    const SecurityLibrary& lib = securityLibrary();
    if (!lib.complete()) {
        setErrorText(errorText, "CryptPushData ERROR " + securityStatusText(CRYPT_ERROR_NOTAVAIL));
        return pushFailed;
    }
    const int length = static_cast<int>(data.size());
    int bytesSent = 0;
    const int pushStatus = lib.pushData(session, data.data(), length, &bytesSent);
    if (pushStatus != CRYPT_OK || bytesSent != length) {
        setErrorText(errorText,
                     "CryptPushData ERROR " + securityStatusText(pushStatus) + ", lenSend = " + std::to_string(length)
                         + ", bytesSent = " + std::to_string(bytesSent));
        return pushFailed;
    }
    int flushStatus;
    while ((flushStatus = lib.flushData(session)) == CRYPT_ERROR_INCOMPLETE)
        if (!waitStep(0))
            return waitAbandoned;
    if (flushStatus != CRYPT_OK) {
        setErrorText(errorText, "CryptFlushData ERROR " + securityStatusText(flushStatus));
        return flushFailed;
    }
    return 0;
}

// The polling loop both receives share: wait a step, pop, and let take() decide whether to stop.
template <typename Take>
static int pollReceive(int session, std::string& errorText, char* buffer, int capacity, int waitMs, Take take)
{
    const SecurityLibrary& lib = securityLibrary();
    if (!lib.complete()) {
        setErrorText(errorText, "CryptPopData ERROR: " + securityStatusText(CRYPT_ERROR_NOTAVAIL));
        return receiveFailed;
    }
    for (int waited = 0;;) {
        if (!waitStep(receiveStepMs))
            return waitAbandoned;
        waited += receiveStepMs;
        if (waited > waitMs)
            return 0;
        int count = 0;
        const int status = lib.popData(session, buffer, capacity, &count);
        if (status != CRYPT_OK) {
            setErrorText(errorText, "CryptPopData ERROR: " + securityStatusText(status));
            return receiveFailed;
        }
        if (count >= 1 && take(count))
            return 0;
    }
}

int tlsReceive(int session, std::string& errorText, char* buffer, int& received, int capacity)
{
    return pollReceive(session, errorText, buffer, capacity, receiveWaitMs, [&](int count) {
        received = count;
        return true;
    });
}

bool isCompleteReply(std::string_view reply)
{
    // Some servers end their lines with a bare LF; waiting for a CR there would cost every step its full wait.
    if (reply.empty() || reply.back() != '\n')
        return false;
    // The last line: from after the line end before it to its own line end.
    std::string_view body = reply.substr(0, reply.size() - 1);
    if (!body.empty() && body.back() == '\r')
        body.remove_suffix(1);
    const size_t start = body.rfind('\n');
    const std::string_view last = start == std::string_view::npos ? body : body.substr(start + 1);
    // "ddd-..." is a continuation line; "ddd", "ddd ..." and anything that is no reply line end the reply.
    return !(last.size() >= 4 && last[3] == '-');
}

int tlsReceiveReply(int session, std::string& errorText, std::string& reply, int waitMs)
{
    char buffer[255];
    return pollReceive(session, errorText, buffer, sizeof buffer, waitMs, [&](int count) {
        reply.append(buffer, size_t(count));
        return isCompleteReply(reply);
    });
}

void tlsClose(int session)
{
    const SecurityLibrary& lib = securityLibrary();
    if (lib.complete())
        lib.destroySession(session);
}

} // namespace mail
