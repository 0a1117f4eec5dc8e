#include "mail/cryptlib/cryptlib.h"

#include "mail/cryptlib/connect.h"
#include "mail/lookup.h"

// One TLS client session per handle, over a non-blocking socket. Only the calls Quillobrand makes are here, and
// the library is used from one thread only, so the state is plain globals.

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <new>
#include <string>

namespace {

using cryptlib::Clock;

constexpr int fixedTimeoutMs = 30000;
constexpr int defaultPort = 443;
constexpr size_t readChunk = 16384; // one TLS record's worth of plaintext
constexpr int fingerprintLength = 32; // SHA-256

// The server's certificate as a handshake saw it.
struct ServerCertificate {
    bool seen = false;
    std::string fingerprint, subject, issuer, validFrom, validTo;
    int problem = CRYPT_CERTPROBLEM_NONE;
};

struct Session {
    std::string serverName;
    int port = defaultPort;
    int fd = -1;
    SSL* ssl = nullptr;
    bool active = false;
    bool plainFirst = false; // connect only; the data goes in clear until STARTTLS
    bool tls = false; // the handshake is done: the data goes through ssl
    int timeoutMs = fixedTimeoutMs;
    int flushStepMs = 0; // 0: a flush waits until it is done or stalls
    bool flushing = false; // a flush ended its step unfinished: the next one goes on, stall clock and all
    Clock::time_point lastSent; // when a byte last went out or was taken by the peer, for the stall time-out
    int queuedBefore = -1; // the send queue at the last look while draining
    bool peerClosed = false; // close_notify or EOF seen: nothing more will arrive
    bool broken = false; // a read or write failed: no more TLS calls on it
    std::string outgoing; // pushed, not yet flushed
    std::string incoming; // decrypted, not yet popped
    std::string pinned; // the fingerprint of the one certificate accepted; empty: the system's trusted issuers decide
    ServerCertificate certificate; // at the last handshake
};

std::atomic<bool> initialised{false};
// cryptInit calls not yet ended: two users of the library (a window's send and a watch's digest on another
// thread) each start and end it, and the first to end must not close the other's session.
int initCount = 0;
std::map<int, Session> sessions; // a node never moves, so the socket BIO can keep its session's address
int lastHandle = 0;
// Guards initialised, initCount, sessions and lastHandle. A session itself is used by one thread at a time and
// outside the lock, so a slow connect or flush of one send never holds up another.
std::mutex registryMutex;
BIO_METHOD* socketMethod = nullptr;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

// OpenSSL's own socket BIO writes with plain send(), so a peer that has gone away would raise SIGPIPE and kill
// the program. This BIO sends with MSG_NOSIGNAL instead, which leaves the process's signal handling alone.
int socketWrite(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    Session* s = static_cast<Session*>(BIO_get_data(bio));
    ssize_t sent;
    do
        sent = ::send(s->fd, data, size_t(length), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent > 0)
        s->lastSent = Clock::now();
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int socketRead(BIO* bio, char* data, int length)
{
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<Session*>(BIO_get_data(bio))->fd;
    ssize_t got;
    do
        got = ::recv(fd, data, size_t(length), 0);
    while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    else if (got == 0)
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF); // lets OpenSSL tell a plain EOF from a broken read
    return static_cast<int>(got);
}

long socketControl(BIO* bio, int command, long, void*)
{
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1; // nothing is held back here
    case BIO_CTRL_EOF:
        return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) ? 1 : 0;
    default:
        return 0;
    }
}

bool makeSocketMethod()
{
    if (socketMethod)
        return true;
    socketMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qb-socket");
    if (!socketMethod)
        return false;
    BIO_meth_set_write(socketMethod, socketWrite);
    BIO_meth_set_read(socketMethod, socketRead);
    BIO_meth_set_ctrl(socketMethod, socketControl);
    BIO_meth_set_create(socketMethod, [](BIO* bio) {
        BIO_set_init(bio, 1);
        return 1;
    });
    return true;
}

// Waits until fd is ready for what OpenSSL asked for; false on time-out.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

void closeSession(Session& s)
{
    if (s.ssl) {
        // Best effort close_notify: the socket is non-blocking, so this never waits for the peer.
        if (s.active && s.tls && !s.broken) {
            ERR_clear_error();
            SSL_shutdown(s.ssl);
        }
        SSL_free(s.ssl); // frees the BIO too
        s.ssl = nullptr;
    }
    if (s.fd >= 0)
        ::close(s.fd);
    s.fd = -1;
    s.active = false;
    s.tls = false;
    ERR_clear_error();
}

Session* findSession(int handle)
{
    const auto it = sessions.find(handle);
    return it == sessions.end() ? nullptr : &it->second;
}

// Looks the name up and connects within the one deadline: the connected socket, or -1 with the status.
int connectTo(const Session& s, Clock::time_point deadline, int& status)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookedUp = mail::lookUpWithin(s.serverName, std::to_string(s.port), hints, remainingMs(deadline), &found);
    if (lookedUp != 0 || !found) {
        status = lookedUp == EAI_AGAIN && remainingMs(deadline) == 0 ? CRYPT_ERROR_TIMEOUT : CRYPT_ERROR_OPEN;
        return -1;
    }
    const int fd = cryptlib::connectFirst(found, deadline, status);
    ::freeaddrinfo(found);
    if (fd >= 0) {
        // SMTP commands are small and each waits for its reply; don't let Nagle hold them back.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

// A peer that answers with something other than TLS records.
bool spokeNoTls()
{
    while (const unsigned long e = ERR_get_error()) {
        if (ERR_GET_LIB(e) != ERR_LIB_SSL)
            continue;
        const int reason = ERR_GET_REASON(e);
        if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG
            || reason == SSL_R_RECORD_LENGTH_MISMATCH)
            return true;
    }
    return false;
}

bool isAddress(const std::string& name)
{
    in6_addr ignored;
    return ::inet_pton(AF_INET, name.c_str(), &ignored) == 1 || ::inet_pton(AF_INET6, name.c_str(), &ignored) == 1;
}

// This computer, as a local bridge is named; its certificate often names no host at all.
bool isThisComputer(const std::string& name)
{
    return name == "127.0.0.1" || name == "::1" || ::strcasecmp(name.c_str(), "localhost") == 0;
}

bool namesServer(X509* certificate, const std::string& name)
{
    if (isAddress(name))
        return X509_check_ip_asc(certificate, name.c_str(), 0) == 1;
    return X509_check_host(certificate, name.data(), name.size(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr) == 1;
}

std::string nameText(const X509_NAME* name)
{
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE); // bytes above 127 come escaped: the text stays ASCII
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text = length > 0 ? std::string(data, size_t(length)) : std::string();
    BIO_free(bio);
    return text;
}

std::string timeText(const ASN1_TIME* time)
{
    std::tm when{};
    if (!time || ASN1_TIME_to_tm(time, &when) != 1)
        return {};
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &when) ? text : std::string();
}

ServerCertificate describe(X509* certificate)
{
    ServerCertificate c;
    c.seen = true;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1 && length == fingerprintLength)
        c.fingerprint.assign(reinterpret_cast<const char*>(digest), length);
    c.subject = nameText(X509_get_subject_name(certificate));
    c.issuer = nameText(X509_get_issuer_name(certificate));
    c.validFrom = timeText(X509_get0_notBefore(certificate));
    c.validTo = timeText(X509_get0_notAfter(certificate));
    return c;
}

// Takes the place of OpenSSL's chain check: notes the server's certificate, then accepts it when it is the pinned
// one or (without a pin) when the system's trusted issuers vouch for it, and when it names the server (with a pin,
// this computer need not be named).
int verifyServer(X509_STORE_CTX* store, void* argument)
{
    Session& s = *static_cast<Session*>(argument);
    X509* certificate = X509_STORE_CTX_get0_cert(store);
    if (!certificate)
        return 0;
    s.certificate = describe(certificate);
    const bool pinned = !s.pinned.empty();
    const bool trusted = pinned ? s.certificate.fingerprint == s.pinned : X509_verify_cert(store) == 1;
    const bool named = namesServer(certificate, s.serverName);
    const bool local = isThisComputer(s.serverName);
    if (trusted && (named || (pinned && local)))
        return 1;
    s.certificate.problem = named || local ? CRYPT_CERTPROBLEM_UNTRUSTED : CRYPT_CERTPROBLEM_NAME;
    if (X509_STORE_CTX_get_error(store) == X509_V_OK)
        X509_STORE_CTX_set_error(store, named ? X509_V_ERR_CERT_UNTRUSTED : X509_V_ERR_HOSTNAME_MISMATCH);
    return 0;
}

// Trust is set per connection, so SSL_CERT_FILE is honoured as it is when connecting.
SSL* newClient(Session& s)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // The session outlives the connection's SSL, which is the only user of the context.
    SSL_CTX_set_cert_verify_callback(ctx, verifyServer, &s);
    SSL* ssl = SSL_new(ctx);
    SSL_CTX_free(ctx); // the SSL keeps its own reference
    if (!ssl)
        return nullptr;

    // No SNI for an address.
    const bool ok = isAddress(s.serverName) || SSL_set_tlsext_host_name(ssl, s.serverName.c_str()) == 1;
    BIO* bio = ok ? BIO_new(socketMethod) : nullptr;
    if (!bio) {
        SSL_free(ssl);
        return nullptr;
    }
    BIO_set_data(bio, &s);
    SSL_set_bio(ssl, bio, bio);
    return ssl;
}

int handshake(Session& s, Clock::time_point deadline)
{
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_connect(s.ssl);
        if (rc == 1)
            return CRYPT_OK;
        const int error = SSL_get_error(s.ssl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(s.fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
                return CRYPT_ERROR_TIMEOUT;
            continue;
        }
        if (s.certificate.problem != CRYPT_CERTPROBLEM_NONE || SSL_get_verify_result(s.ssl) != X509_V_OK)
            return CRYPT_ERROR_INVALID;
        return error == SSL_ERROR_SSL && spokeNoTls() ? CRYPT_ERROR_BADDATA : CRYPT_ERROR_FAILED;
    }
}

// The handshake on the connected socket; the connection is closed when it fails.
int startTls(Session& s)
{
    s.certificate = ServerCertificate{};
    s.ssl = newClient(s);
    if (!s.ssl) {
        closeSession(s);
        return CRYPT_ERROR_MEMORY;
    }
    const int status = handshake(s, Clock::now() + std::chrono::milliseconds(s.timeoutMs));
    if (status != CRYPT_OK) {
        closeSession(s);
        return status;
    }
    s.tls = true;
    return CRYPT_OK;
}

int activate(Session& s)
{
    if (s.active)
        return CRYPT_ERROR_INITED;
    if (s.serverName.empty())
        return CRYPT_ERROR_NOTINITED;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(s.timeoutMs);
    int status = CRYPT_OK;
    s.fd = connectTo(s, deadline, status);
    if (s.fd < 0)
        return status;
    s.peerClosed = s.broken = s.tls = false;
    s.outgoing.clear();
    s.incoming.clear();
    if (!s.plainFirst) {
        status = startTls(s);
        if (status != CRYPT_OK)
            return status;
    }
    s.active = true;
    return CRYPT_OK;
}

// STARTTLS on a session that has spoken in clear so far.
int switchToTls(Session& s)
{
    if (!s.active)
        return CRYPT_ERROR_NOTINITED;
    if (s.tls)
        return CRYPT_ERROR_INITED;
    if (!s.outgoing.empty())
        return CRYPT_ERROR_INCOMPLETE;
    // Clear text after the server's go-ahead was sent before any protection and must not pass for protected
    // (RFC 3207's injection attack): such a connection is given up.
    if (!s.incoming.empty()) {
        closeSession(s);
        return CRYPT_ERROR_BADDATA;
    }
    const int status = startTls(s);
    if (status != CRYPT_OK)
        return status;
    return CRYPT_OK;
}

// Reads what the socket has in clear, without waiting, until it has nothing more or want is reached.
void readAvailablePlain(Session& s, size_t want)
{
    char chunk[readChunk];
    while (!s.peerClosed && !s.broken && s.incoming.size() < want) {
        const ssize_t got = ::recv(s.fd, chunk, sizeof chunk, 0);
        if (got > 0)
            s.incoming.append(chunk, size_t(got));
        else if (got == 0)
            s.peerClosed = true;
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        else if (errno != EINTR)
            s.broken = true;
    }
}

// Takes whatever has been decrypted without waiting, until the socket has nothing more or want is reached.
void readAvailable(Session& s, size_t want)
{
    if (!s.tls) {
        readAvailablePlain(s, want);
        return;
    }
    char chunk[readChunk];
    while (!s.peerClosed && !s.broken && s.incoming.size() < want) {
        ERR_clear_error();
        errno = 0; // SSL_ERROR_SYSCALL with errno 0 means EOF
        size_t got = 0;
        const int rc = SSL_read_ex(s.ssl, chunk, sizeof chunk, &got);
        if (rc == 1) {
            s.incoming.append(chunk, got);
            continue;
        }
        const int error = SSL_get_error(s.ssl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            break; // nothing more has arrived yet
        if (error == SSL_ERROR_ZERO_RETURN) {
            s.peerClosed = true;
        } else if (error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            s.peerClosed = true; // closed without close_notify: SMTP replies carry their own ends
        } else if (error == SSL_ERROR_SYSCALL && errno == 0) {
            s.peerClosed = true;
        } else {
            s.broken = true;
        }
        ERR_clear_error();
    }
}

// The checks push and pop share, in the order of their arguments; s is the session when they pass.
int checkDataCall(int envelope, const void* buffer, int length, int* bytesCopied, Session*& s)
{
    if (bytesCopied)
        *bytesCopied = 0;
    {
        const std::lock_guard<std::mutex> lock(registryMutex);
        if (!initialised)
            return CRYPT_ERROR_NOTINITED;
        s = findSession(envelope);
    }
    if (!s)
        return CRYPT_ERROR_PARAM1;
    if (!buffer)
        return CRYPT_ERROR_PARAM2;
    if (length < 1)
        return CRYPT_ERROR_PARAM3;
    if (!bytesCopied)
        return CRYPT_ERROR_PARAM4;
    if (!s->active)
        return CRYPT_ERROR_NOTINITED;
    return CRYPT_OK;
}

// Bytes the system still holds for the peer: not sent, or sent and not yet acknowledged; -1 when it can't say.
int sendQueueLength(int fd)
{
    int queued = 0;
    return ::ioctl(fd, SIOCOUTQ, &queued) == 0 ? queued : -1;
}

// Waits until the peer has acknowledged every byte: the socket's send queue is empty. Each byte it takes counts as
// progress; CRYPT_ERROR_TIMEOUT once none has for the session's time-out, CRYPT_ERROR_INCOMPLETE at the step's end.
int drainSendQueue(Session& s, Clock::time_point stepEnd)
{
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const int queued = sendQueueLength(s.fd);
        if (queued <= 0)
            return CRYPT_OK; // empty, or a system that can't tell: the bytes are as far as can be seen
        const Clock::time_point now = Clock::now();
        if (s.queuedBefore >= 0 && queued < s.queuedBefore)
            s.lastSent = now;
        s.queuedBefore = queued;
        if (now >= s.lastSent + std::chrono::milliseconds(s.timeoutMs))
            return CRYPT_ERROR_TIMEOUT;
        if (now >= stepEnd)
            return CRYPT_ERROR_INCOMPLETE;
        // A reset connection drops its queue; an error on the socket ends the wait.
        pollfd p{s.fd, 0, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & POLLERR)) {
            s.broken = true;
            return CRYPT_ERROR_WRITE;
        }
        // Short pauses first, so that a quick peer costs almost nothing; longer ones for a slow link.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(stepEnd - now);
        ::poll(nullptr, 0, int(std::max<long long>(1, std::min(pause.count(), left.count()))));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

// Sends the pushed bytes, waiting while the socket is full, then waits for the peer to take them; gives up only
// when no byte could be sent or taken for the session's time-out, however long the whole takes.
int sendOutgoing(Session& s, Clock::time_point stepEnd)
{
    const auto stallDeadline = [&s] { return s.lastSent + std::chrono::milliseconds(s.timeoutMs); };
    const auto waitDeadline = [&] { return std::min(stallDeadline(), stepEnd); };
    if (!s.tls) {
        while (!s.outgoing.empty()) {
            const ssize_t n = ::send(s.fd, s.outgoing.data(), s.outgoing.size(), MSG_NOSIGNAL);
            if (n > 0) {
                s.outgoing.erase(0, size_t(n));
                s.lastSent = Clock::now();
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitFor(s.fd, POLLOUT, waitDeadline()))
                    return Clock::now() >= stallDeadline() ? CRYPT_ERROR_TIMEOUT : CRYPT_ERROR_INCOMPLETE;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                s.broken = true;
                return CRYPT_ERROR_WRITE;
            }
        }
        return CRYPT_OK;
    }
    while (!s.outgoing.empty()) {
        ERR_clear_error();
        size_t written = 0;
        const int rc = SSL_write_ex(s.ssl, s.outgoing.data(), s.outgoing.size(), &written);
        if (rc == 1) {
            s.outgoing.erase(0, written);
            continue;
        }
        const int error = SSL_get_error(s.ssl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            // The socket BIO moves lastSent on with every byte that goes out. The rest stays buffered, and the
            // record OpenSSL began is retried with the same bytes by the next call.
            if (!waitFor(s.fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, waitDeadline()))
                return Clock::now() >= stallDeadline() ? CRYPT_ERROR_TIMEOUT : CRYPT_ERROR_INCOMPLETE;
            continue;
        }
        s.broken = true;
        ERR_clear_error();
        return CRYPT_ERROR_WRITE;
    }
    return CRYPT_OK;
}

int flushOutgoing(Session& s)
{
    const Clock::time_point now = Clock::now();
    if (!s.flushing) {
        s.lastSent = now;
        s.queuedBefore = -1;
    }
    const Clock::time_point stepEnd
        = s.flushStepMs > 0 ? now + std::chrono::milliseconds(s.flushStepMs) : Clock::time_point::max();
    int status = sendOutgoing(s, stepEnd);
    if (status == CRYPT_OK)
        status = drainSendQueue(s, stepEnd);
    s.flushing = status == CRYPT_ERROR_INCOMPLETE;
    return status;
}

// Runs an entry point's body so that no C++ exception leaves the library: running out of memory gives
// CRYPT_ERROR_MEMORY, anything else CRYPT_ERROR_INTERNAL.
template <typename Body> int guarded(Body body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return CRYPT_ERROR_MEMORY;
    } catch (...) {
        return CRYPT_ERROR_INTERNAL;
    }
}

// guarded, for the entry points that act on one session: the library must be initialised and the handle known.
template <typename Body> int onSession(int handle, Body body) noexcept
{
    return guarded([&] {
        Session* s = nullptr;
        {
            const std::lock_guard<std::mutex> lock(registryMutex);
            if (!initialised)
                return CRYPT_ERROR_NOTINITED;
            s = findSession(handle);
        }
        if (!s)
            return CRYPT_ERROR_PARAM1;
        return body(s);
    });
}

// One of the server certificate's texts, or nothing for another attribute.
const std::string* certificateText(const ServerCertificate& c, int attributeType)
{
    switch (attributeType) {
    case CRYPT_SESSINFO_SERVER_CERT_FINGERPRINT:
        return &c.fingerprint;
    case CRYPT_SESSINFO_SERVER_CERT_SUBJECT:
        return &c.subject;
    case CRYPT_SESSINFO_SERVER_CERT_ISSUER:
        return &c.issuer;
    case CRYPT_SESSINFO_SERVER_CERT_VALIDFROM:
        return &c.validFrom;
    case CRYPT_SESSINFO_SERVER_CERT_VALIDTO:
        return &c.validTo;
    default:
        return nullptr;
    }
}

// Gives text back as cryptGetAttributeString does: the length only when value is null.
int copyOut(const std::string& text, void* value, int* valueLength)
{
    const int length = static_cast<int>(text.size());
    if (value) {
        if (*valueLength < length)
            return CRYPT_ERROR_OVERFLOW;
        std::memcpy(value, text.data(), text.size());
    }
    *valueLength = length;
    return CRYPT_OK;
}

} // namespace

extern "C" {

int cryptInit(void)
{
    return guarded([] {
        const std::lock_guard<std::mutex> lock(registryMutex);
        if (initialised) {
            ++initCount;
            return CRYPT_OK;
        }
        if (OPENSSL_init_ssl(0, nullptr) != 1 || !makeSocketMethod())
            return CRYPT_ERROR_FAILED;
        initialised = true;
        initCount = 1;
        return CRYPT_OK;
    });
}

int cryptEnd(void)
{
    return guarded([] {
        const std::lock_guard<std::mutex> lock(registryMutex);
        if (!initialised)
            return CRYPT_ERROR_NOTINITED;
        if (--initCount > 0)
            return CRYPT_OK; // another user's sessions stay open
        for (auto& [handle, s] : sessions)
            closeSession(s);
        sessions.clear();
        BIO_meth_free(socketMethod); // no BIO is left that uses it
        socketMethod = nullptr;
        initialised = false;
        return CRYPT_OK;
    });
}

int cryptCreateSession(int* cryptSession, int cryptUser, int sessionType)
{
    return guarded([&] {
        const std::lock_guard<std::mutex> lock(registryMutex);
        if (!initialised)
            return CRYPT_ERROR_NOTINITED;
        if (!cryptSession)
            return CRYPT_ERROR_PARAM1;
        if (cryptUser != CRYPT_UNUSED)
            return CRYPT_ERROR_PARAM2;
        if (sessionType != CRYPT_SESSION_SSL)
            return CRYPT_ERROR_PARAM3;
        // Handles are never reused, so a stale one (say, after cryptEnd) can't reach a newer session.
        do
            lastHandle = lastHandle == INT_MAX ? 1 : lastHandle + 1;
        while (sessions.count(lastHandle));
        sessions[lastHandle] = Session{};
        *cryptSession = lastHandle;
        return CRYPT_OK;
    });
}

int cryptDestroySession(int session)
{
    return onSession(session, [&](Session* s) {
        closeSession(*s);
        const std::lock_guard<std::mutex> lock(registryMutex);
        sessions.erase(session);
        return CRYPT_OK;
    });
}

int cryptSetAttribute(int cryptHandle, int attributeType, int value)
{
    return onSession(cryptHandle, [&](Session* s) {
        switch (attributeType) {
        case CRYPT_SESSINFO_SERVER_PORT:
            if (value < 1 || value > 65535)
                return CRYPT_ERROR_PARAM3;
            if (s->active)
                return CRYPT_ERROR_INITED;
            s->port = value;
            return CRYPT_OK;
        case CRYPT_SESSINFO_ACTIVE:
            if (value != 1)
                return CRYPT_ERROR_PARAM3; // a session is closed by destroying it
            return activate(*s);
        case CRYPT_SESSINFO_PLAINTEXT_FIRST:
            if (value != 0 && value != 1)
                return CRYPT_ERROR_PARAM3;
            if (s->active)
                return CRYPT_ERROR_INITED;
            s->plainFirst = value == 1;
            return CRYPT_OK;
        case CRYPT_SESSINFO_STARTTLS:
            if (value != 1)
                return CRYPT_ERROR_PARAM3;
            return switchToTls(*s);
        case CRYPT_SESSINFO_FLUSH_STEP_MS:
            if (value < 0 || value > fixedTimeoutMs)
                return CRYPT_ERROR_PARAM3;
            s->flushStepMs = value;
            return CRYPT_OK;
        case CRYPT_SESSINFO_TIMEOUT_MS:
            // Only ever shorter than the fixed time-out: nothing can stretch a send beyond it.
            if (value < 1 || value > fixedTimeoutMs)
                return CRYPT_ERROR_PARAM3;
            s->timeoutMs = value;
            return CRYPT_OK;
        default:
            return CRYPT_ERROR_PARAM2;
        }
    });
}

int cryptSetAttributeString(int cryptHandle, int attributeType, const void* value, int valueLength)
{
    return onSession(cryptHandle, [&](Session* s) {
        if (attributeType == CRYPT_SESSINFO_PINNED_FINGERPRINT) {
            if (!value)
                return CRYPT_ERROR_PARAM3;
            if (valueLength != fingerprintLength)
                return CRYPT_ERROR_PARAM4;
            if (s->active)
                return CRYPT_ERROR_INITED;
            s->pinned.assign(static_cast<const char*>(value), size_t(valueLength));
            return CRYPT_OK;
        }
        if (attributeType != CRYPT_SESSINFO_SERVER_NAME)
            return CRYPT_ERROR_PARAM2;
        if (!value)
            return CRYPT_ERROR_PARAM3;
        if (valueLength < 1 || valueLength > 255)
            return CRYPT_ERROR_PARAM4;
        const std::string name(static_cast<const char*>(value), size_t(valueLength));
        if (name.find('\0') != std::string::npos)
            return CRYPT_ERROR_PARAM3; // would be cut short by getaddrinfo and the host check
        if (s->active)
            return CRYPT_ERROR_INITED;
        s->serverName = name;
        return CRYPT_OK;
    });
}

int cryptGetAttribute(int cryptHandle, int attributeType, int* value)
{
    return onSession(cryptHandle, [&](Session* s) {
        if (attributeType != CRYPT_SESSINFO_SERVER_CERT_PROBLEM)
            return CRYPT_ERROR_PARAM2;
        if (!value)
            return CRYPT_ERROR_PARAM3;
        if (!s->certificate.seen)
            return CRYPT_ERROR_NOTFOUND;
        *value = s->certificate.problem;
        return CRYPT_OK;
    });
}

int cryptGetAttributeString(int cryptHandle, int attributeType, void* value, int* valueLength)
{
    return onSession(cryptHandle, [&](Session* s) {
        if (const std::string* text = certificateText(s->certificate, attributeType)) {
            if (!valueLength)
                return CRYPT_ERROR_PARAM4;
            return s->certificate.seen ? copyOut(*text, value, valueLength) : CRYPT_ERROR_NOTFOUND;
        }
        if (attributeType != CRYPT_SESSINFO_CLIENT_NAME)
            return CRYPT_ERROR_PARAM2;
        if (!valueLength)
            return CRYPT_ERROR_PARAM4;
        if (!s->active)
            return CRYPT_ERROR_NOTINITED;
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (::getsockname(s->fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return CRYPT_ERROR_READ;
        char text[INET6_ADDRSTRLEN] = {};
        const void* raw = address.ss_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr)
            : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
        if (!::inet_ntop(address.ss_family, raw, text, sizeof text))
            return CRYPT_ERROR_READ;
        return copyOut(text, value, valueLength);
    });
}

int cryptPushData(int envelope, const void* buffer, int length, int* bytesCopied)
{
    return guarded([&] {
        Session* s = nullptr;
        if (const int status = checkDataCall(envelope, buffer, length, bytesCopied, s); status != CRYPT_OK)
            return status;
        s->outgoing.append(static_cast<const char*>(buffer), size_t(length));
        *bytesCopied = length;
        return CRYPT_OK;
    });
}

int cryptFlushData(int envelope)
{
    return onSession(envelope, [&](Session* s) {
        if (!s->active)
            return CRYPT_ERROR_NOTINITED;
        if (s->broken)
            return CRYPT_ERROR_WRITE;
        return flushOutgoing(*s);
    });
}

int cryptPopData(int envelope, void* buffer, int length, int* bytesCopied)
{
    return guarded([&] {
        Session* s = nullptr;
        if (const int status = checkDataCall(envelope, buffer, length, bytesCopied, s); status != CRYPT_OK)
            return status;
        readAvailable(*s, size_t(length));
        const size_t count = std::min(s->incoming.size(), size_t(length));
        if (count == 0) {
            // What came before a close has all been handed out by now.
            if (s->broken)
                return CRYPT_ERROR_READ;
            return s->peerClosed ? CRYPT_ERROR_COMPLETE : CRYPT_OK;
        }
        std::memcpy(buffer, s->incoming.data(), count);
        s->incoming.erase(0, count);
        *bytesCopied = static_cast<int>(count);
        return CRYPT_OK;
    });
}

int cryptCreateEnvelope(int*, int, int)
{
    return initialised ? CRYPT_ERROR_NOTAVAIL : CRYPT_ERROR_NOTINITED;
}

int cryptDestroyEnvelope(int)
{
    return initialised ? CRYPT_ERROR_NOTAVAIL : CRYPT_ERROR_NOTINITED;
}

} // extern "C"
