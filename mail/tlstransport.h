#pragma once
// The mail engine's transport: a TLS client session of the security library, opened to a host and port, with
// send and a polling receive. Failures are result codes; the failure texts go into the caller's errorText.

#include <string>
#include <string_view>

namespace mail {

inline constexpr int receiveFailed = -999; // the pop call failed
inline constexpr int pushFailed = -998; // the push call failed or took another number of bytes
inline constexpr int flushFailed = -997; // the flush call failed

inline constexpr int receiveStepMs = 100;
inline constexpr int receiveWaitMs = 5000;

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

// Pushes the bytes and flushes them: 0, pushFailed or flushFailed (with the text in errorText).
int tlsSend(int session, std::string& errorText, std::string_view data);

// Polls every 100 ms for up to 5 s and takes whatever has arrived at the first poll that finds something, at
// most capacity bytes: 0 (received set, buffer filled) or receiveFailed. A silent peer gives 0 with the buffer
// and received left as they were.
int tlsReceive(int session, std::string& errorText, char* buffer, int& received, int capacity);

// The same polling, but it goes on until the SMTP reply is complete (its last line "ddd " or "ddd" ended by
// CR LF or a bare LF), however many pieces it comes in, within the same 5 s. reply holds what arrived.
int tlsReceiveReply(int session, std::string& errorText, std::string& reply);

// True when reply ends with a complete last line of an SMTP reply.
bool isCompleteReply(std::string_view reply);

void tlsClose(int session);

} // namespace mail
