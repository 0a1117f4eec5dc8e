#pragma once
// The mail engine's transport: a TLS client session of the security library, opened to a host and port, with
// send and a polling receive. Failures are result codes; the failure texts go into the caller's errorText.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mail {

inline constexpr int receiveFailed = -999; // the pop call failed
inline constexpr int pushFailed = -998; // the push call failed or took another number of bytes
inline constexpr int flushFailed = -997; // the flush call failed

inline constexpr int receiveStepMs = 100;
inline constexpr int receiveWaitMs = 5000; // tlsReceive's wait

// How long the dialogue waits for each reply (RFC 5321 4.5.3.2), counted from when the server has taken the
// last byte of the command: 5 minutes for the greeting, for each command and for DATA's 354, and 10 for the
// reply to the end of the message, where giving up early makes users send the mail twice.
struct ReplyWaits {
    int greetingMs;
    int commandMs;
    int dataEndMs;
};
inline constexpr ReplyWaits rfcReplyWaits{300'000, 300'000, 600'000};

// Tests shorten the waits; the program never does.
void setReplyWaits(ReplyWaits waits);
const ReplyWaits& replyWaits();

// Called between the steps of every wait of a send (each 100 ms of a reply's wait, each step of a long flush)
// with how long to wait, 0 for none: the windows set one that keeps them painted while taking no input. Without
// one the transport just sleeps. The hook is the calling thread's own.
using WaitHook = void (*)(int milliseconds);
void setWaitHook(WaitHook hook);

// Asked at every step of every wait of a send (each 100 ms of a reply's wait, each step of a long flush): true
// abandons the send, and the wait ends with waitAbandoned. For a send that the program must be able to stop at
// once, whatever the server does (a watch's digest, at the program's exit). The hook is the calling thread's own.
inline constexpr int waitAbandoned = -982;
using CancelHook = std::function<bool()>;
void setCancelHook(CancelHook hook);
bool sendCancelled();
// The server's certificate as a refused handshake saw it.
struct ServerCertificate {
    std::string fingerprint; // 32 bytes, SHA-256 over its DER encoding
    std::string subject, issuer, validFrom, validTo; // one line each; the times as "2026-12-10 14:05:00 UTC"
    // Refused for its issuer, or for not being the pinned one: pinning it would let it through. Otherwise it names
    // another server.
    bool pinnable = false;
};

// The fingerprint of the one certificate that this thread's sessions accept from now on, whoever issued it, or
// empty for the system's trusted issuers: the mail windows set a profile's pin around its send. Per thread, like
// the wait hook.
void setPinnedFingerprint(std::string fingerprint);

// setPinnedFingerprint for the life of the object; none again after it.
class PinnedFingerprint {
public:
    explicit PinnedFingerprint(std::string fingerprint) { setPinnedFingerprint(std::move(fingerprint)); }
    ~PinnedFingerprint() { setPinnedFingerprint({}); }
    PinnedFingerprint(const PinnedFingerprint&) = delete;
    PinnedFingerprint& operator=(const PinnedFingerprint&) = delete;
};

// The certificate that the last tlsOpen or tlsStartTls of this thread refused (CRYPT_ERROR_INVALID); nothing
// after one that refused none.
const std::optional<ServerCertificate>& refusedCertificate();

// The words for a failed tlsOpen or tlsStartTls: what is wrong with a refused certificate, otherwise the security
// library's text of the status.
std::string openFailureText(int status);

// errorText holds at most this many characters, like the windows' fixed text buffer.
inline constexpr size_t errorTextCapacity = 255;
void setErrorText(std::string& errorText, std::string text);

// Creates the session, sets the server name and port and activates it (connect and handshake). Returns 0 and
// the session handle, or the first failing status of the library. CRYPT_ERROR_NOTAVAIL when the library or one
// of its entry points is missing. With plainFirst the activation only connects: the data goes in clear until
// tlsStartTls, for servers that take mail only after STARTTLS.
int tlsOpen(const std::string& serverName, int port, int& session, bool plainFirst = false);

// The TLS handshake on a session opened with plainFirst, verified as tlsOpen verifies: 0 or the library's status.
int tlsStartTls(int session);

// The connection's local address as text ("192.0.2.10", "2001:db8::1"), or empty when it can't be had.
std::string tlsLocalAddress(int session);

// Pushes the bytes and flushes them: 0, pushFailed, flushFailed (with the text in errorText) or waitAbandoned.
// Returns once the server has taken the last byte, calling the wait hook while a long flush goes on.
int tlsSend(int session, std::string& errorText, std::string_view data);

// Polls every 100 ms for up to 5 s and takes whatever has arrived at the first poll that finds something, at
// most capacity bytes: 0 (received set, buffer filled), receiveFailed or waitAbandoned. A silent peer gives 0 with the
// buffer and received left as they were.
int tlsReceive(int session, std::string& errorText, char* buffer, int& received, int capacity);

// The same polling, but it goes on until the SMTP reply is complete (its last line "ddd " or "ddd" ended by
// CR LF or a bare LF), however many pieces it comes in, within waitMs. reply holds what arrived.
int tlsReceiveReply(int session, std::string& errorText, std::string& reply, int waitMs = receiveWaitMs);

// True when reply ends with a complete last line of an SMTP reply.
bool isCompleteReply(std::string_view reply);

void tlsClose(int session);

} // namespace mail
