// cryptlib32.so against a scripted TLS server on loopback, loaded and called the way the program does it.

#include "mail/cryptlib/connect.h"
#include "mail/cryptlib/cryptlib.h"
#include "mail/securitylibrary.h"

#include "allocationlimit.h"
#include "tlspeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Failure messages name the case instead of dumping its bytes.
template <typename Case>
concept NamedCase = requires(const Case& c)
{
    c.name;
};

template <NamedCase Case> void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

const mail::SecurityLibrary& lib()
{
    return mail::securityLibrary();
}

const TestCertificates& certs()
{
    return TestCertificates::shared();
}

// A JSON string literal for the script: the texts here are ASCII with CR LF.
using tlsscript::quoted;

std::string sha256(const std::string& bytes)
{
    unsigned char digest[32];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::string patterned(size_t size)
{
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i)
        text[i] = char('a' + i % 26);
    return text;
}

// A loopback socket of the test's own: bound only (connections are refused), or listening and never accepting
// (connections complete in the kernel, but nothing answers).
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0
            || (listening && ::listen(fd_, 4) != 0)
            || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackSocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    int fd() const { return fd_; }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Answers the first connection with plain text, as a server that speaks no TLS would; gone within 5 s.
class PlainTextPeer {
public:
    PlainTextPeer()
        : socket_(true)
    {
        thread_ = std::thread([fd = socket_.fd()] {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1)
                return;
            const int client = ::accept(fd, nullptr, nullptr);
            if (client < 0)
                return;
            const char text[] = "220 plain text here, no TLS\r\n";
            (void)!::send(client, text, sizeof text - 1, MSG_NOSIGNAL);
            pollfd c{client, POLLIN, 0};
            char buffer[4096];
            for (int i = 0; i < 50 && ::poll(&c, 1, 100) >= 0; ++i) // until the client gives up
                if ((c.revents & POLLIN) && ::recv(client, buffer, sizeof buffer, 0) <= 0)
                    break;
            ::close(client);
        });
    }
    ~PlainTextPeer() { thread_.join(); }
    int port() const { return socket_.port(); }

private:
    LoopbackSocket socket_;
    std::thread thread_;
};

class CryptFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(certs().made());
        // OpenSSL's default verify paths read these; the suite trusts only its own CA.
        ::setenv("SSL_CERT_FILE", certs().caFile().c_str(), 1);
        mail::loadSecurityLibrary(QB_CRYPTLIB);
        ASSERT_TRUE(lib().complete());
        ASSERT_EQ(lib().init(), CRYPT_OK);
    }
    void TearDown() override
    {
        if (lib().complete())
            lib().end();
    }

    static std::string scriptFor(const std::string& greeting, const std::string& more = "")
    {
        return "[{\"send\": " + quoted(greeting) + "}" + more + "]";
    }

    // Create, time-out, name, port, activate: the last status; session is set once created. The time-out is
    // short enough that a fault fails a test instead of hanging it, long enough for a loaded machine.
    static int open(const std::string& host, int port, int& session, int timeoutMs = 5000, bool plainFirst = false)
    {
        int status = lib().createSession(&session, CRYPT_UNUSED, CRYPT_SESSION_SSL);
        if (status == CRYPT_OK)
            status = lib().setAttribute(session, CRYPT_SESSINFO_TIMEOUT_MS, timeoutMs);
        if (status == CRYPT_OK && plainFirst)
            status = lib().setAttribute(session, CRYPT_SESSINFO_PLAINTEXT_FIRST, 1);
        if (status == CRYPT_OK)
            status = lib().setAttributeString(session, CRYPT_SESSINFO_SERVER_NAME, host.data(), int(host.size()));
        if (status == CRYPT_OK)
            status = lib().setAttribute(session, CRYPT_SESSINFO_SERVER_PORT, port);
        if (status == CRYPT_OK)
            status = lib().setAttribute(session, CRYPT_SESSINFO_ACTIVE, 1);
        return status;
    }

    // Pops every 10 ms until `wanted` bytes have come, a pop fails or the time is up; the last status.
    static int popUntil(int session, size_t wanted, std::string& received, std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = Clock::now() + timeout;
        char buffer[4096];
        while (received.size() < wanted && Clock::now() < deadline) {
            int count = -1;
            const int status = lib().popData(session, buffer, sizeof buffer, &count);
            if (status != CRYPT_OK)
                return status;
            received.append(buffer, size_t(count));
            if (count == 0)
                std::this_thread::sleep_for(10ms);
        }
        return CRYPT_OK;
    }

    static int send(int session, const std::string& text)
    {
        int copied = -1;
        const int status = lib().pushData(session, text.data(), int(text.size()), &copied);
        if (status != CRYPT_OK)
            return status;
        EXPECT_EQ(copied, int(text.size()));
        return lib().flushData(session);
    }
};

struct EchoCase {
    const char* name;
    const char* host;
};

class CryptEcho : public CryptFixture, public ::testing::WithParamInterface<EchoCase> { };

TEST_P(CryptEcho, GreetingLineAndReplyGoThrough)
{
    const std::string greeting = "220 scripted.test ESMTP\r\n";
    const std::string reply = "250 nice to meet you\r\n";
    ScriptedTlsPeer peer(scriptFor(greeting, ", {\"recv\": \"line\"}, {\"send\": " + quoted(reply) + "}"),
                         certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open(GetParam().host, peer.port(), session), CRYPT_OK);
    EXPECT_EQ(lib().setAttribute(session, CRYPT_SESSINFO_ACTIVE, 1), CRYPT_ERROR_INITED);

    std::string received;
    ASSERT_EQ(popUntil(session, greeting.size(), received), CRYPT_OK);
    EXPECT_EQ(received, greeting);

    ASSERT_EQ(send(session, "EHLO quillobrand.test\r\n"), CRYPT_OK);
    received.clear();
    ASSERT_EQ(popUntil(session, reply.size(), received), CRYPT_OK);
    EXPECT_EQ(received, reply);

    const std::vector<std::string> log = peer.logLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "{\"event\": \"connected\"}");
    EXPECT_EQ(log[1], "{\"line\": \"EHLO quillobrand.test\"}");
    EXPECT_EQ(lib().destroySession(session), CRYPT_OK);
}

INSTANTIATE_TEST_SUITE_P(Crypt, CryptEcho,
                         ::testing::Values(EchoCase{"byName", "localhost"}, EchoCase{"byAddress", "127.0.0.1"}),
                         [](const auto& info) { return std::string(info.param.name); });

using CryptSession = CryptFixture;

TEST_F(CryptSession, PopWithNothingThereReturnsAtOnce)
{
    const std::string late = "220 late\r\n";
    ScriptedTlsPeer peer("[{\"send\": " + quoted(late) + ", \"delay\": 1.0}]", certs().serverCert(),
                         certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    char buffer[255];
    for (int i = 0; i < 10; ++i) {
        int count = -1;
        const auto start = Clock::now();
        EXPECT_EQ(lib().popData(session, buffer, sizeof buffer, &count), CRYPT_OK);
        EXPECT_LT(Clock::now() - start, 50ms);
        EXPECT_EQ(count, 0);
        std::this_thread::sleep_for(10ms);
    }
    // The same session does get the text once it is sent.
    std::string received;
    EXPECT_EQ(popUntil(session, late.size(), received), CRYPT_OK);
    EXPECT_EQ(received, late);
}

struct SplitCase {
    const char* name;
    const char* pieces;
    double gap;
};

class CryptSplitReply : public CryptFixture, public ::testing::WithParamInterface<SplitCase> { };

TEST_P(CryptSplitReply, ComesWholeFromOnePop)
{
    const std::string reply = "250-quillobrand.test\r\n250-SIZE 10240000\r\n250 AUTH PLAIN LOGIN\r\n";
    const std::string send = "{\"send\": " + quoted(reply) + ", \"pieces\": " + GetParam().pieces
        + ", \"gap\": " + std::to_string(GetParam().gap) + "}";
    ScriptedTlsPeer peer("[" + send + "]", certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    std::this_thread::sleep_for(1s); // all pieces are out well before this
    char buffer[255];
    int count = -1;
    ASSERT_EQ(lib().popData(session, buffer, sizeof buffer, &count), CRYPT_OK);
    EXPECT_EQ(std::string(buffer, size_t(std::max(count, 0))), reply);
}

INSTANTIATE_TEST_SUITE_P(Crypt, CryptSplitReply,
                         ::testing::Values(SplitCase{"threePieces", "[7, 13]", 0.05},
                                           SplitCase{"singleBytesFirst", "[1, 1, 1]", 0.03},
                                           SplitCase{"oneRecord", "[]", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CapacityCase {
    const char* name;
    size_t size;
    int capacity;
    std::vector<int> pops;
};

class CryptCapacity : public CryptFixture, public ::testing::WithParamInterface<CapacityCase> { };

TEST_P(CryptCapacity, LongReplyComesInPiecesOfTheCapacity)
{
    const CapacityCase& c = GetParam();
    const std::string reply = patterned(c.size);
    ScriptedTlsPeer peer(scriptFor(reply), certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    std::this_thread::sleep_for(1s);
    std::string received;
    std::vector<int> pops;
    std::vector<char> buffer(size_t(c.capacity));
    for (size_t i = 0; i <= c.pops.size(); ++i) { // one more than needed: it must find nothing
        int count = -1;
        ASSERT_EQ(lib().popData(session, buffer.data(), c.capacity, &count), CRYPT_OK);
        pops.push_back(count);
        received.append(buffer.data(), size_t(std::max(count, 0)));
    }
    std::vector<int> expected = c.pops;
    expected.push_back(0);
    EXPECT_EQ(pops, expected);
    EXPECT_EQ(received, reply);
}

INSTANTIATE_TEST_SUITE_P(Crypt, CryptCapacity,
                         ::testing::Values(CapacityCase{"smtpBuffer", 300, 255, {255, 45}},
                                           CapacityCase{"acrossRecords", 40000, 16384, {16384, 16384, 7232}},
                                           CapacityCase{"exactFit", 64, 64, {64}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CloseCase {
    const char* name;
    std::string before; // sent before the close
};

class CryptClosedByPeer : public CryptFixture, public ::testing::WithParamInterface<CloseCase> { };

TEST_P(CryptClosedByPeer, HandsOutWhatCameThenFails)
{
    const std::string& before = GetParam().before;
    const std::string script
        = before.empty() ? "[{\"close\": true}]" : "[{\"send\": " + quoted(before) + "}, {\"close\": true}]";
    ScriptedTlsPeer peer(script, certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    ASSERT_TRUE(peer.waitForLogLine("{\"event\": \"closed\"}", 5s));
    std::string received;
    const int status = popUntil(session, before.size() + 1, received);
    EXPECT_EQ(received, before);
    EXPECT_TRUE(status == CRYPT_ERROR_READ || status == CRYPT_ERROR_COMPLETE) << status;
    // And it stays failed rather than turning into an endless "nothing yet".
    char buffer[16];
    int count = -1;
    const int again = lib().popData(session, buffer, sizeof buffer, &count);
    EXPECT_TRUE(again == CRYPT_ERROR_READ || again == CRYPT_ERROR_COMPLETE) << again;
    EXPECT_EQ(count, 0);
}

INSTANTIATE_TEST_SUITE_P(Crypt, CryptClosedByPeer,
                         ::testing::Values(CloseCase{"afterAReply", "221 bye\r\n"}, CloseCase{"withoutAWord", ""},
                                           CloseCase{"afterALongReply", patterned(50000)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CryptSession, WritingToAClosedConnectionFailsWithoutSigpipe)
{
    // With the default action a SIGPIPE would end this test program, so make sure that is what it has.
    struct sigaction previous { };
    struct sigaction deflt { };
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    ASSERT_EQ(::sigaction(SIGPIPE, &deflt, &previous), 0);

    ScriptedTlsPeer peer("[{\"close\": true}]", certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    ASSERT_TRUE(peer.waitForLogLine("{\"event\": \"closed\"}", 5s));
    // The first write may still go into the kernel's buffer; the peer's reset makes a later one fail.
    int status = CRYPT_OK;
    for (int i = 0; i < 50 && status == CRYPT_OK; ++i) {
        status = send(session, "NOOP\r\n");
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(status, CRYPT_ERROR_WRITE);
    EXPECT_EQ(send(session, "NOOP\r\n"), CRYPT_ERROR_WRITE);
    ::sigaction(SIGPIPE, &previous, nullptr);
}

enum class Peer { refusing, otherHost, selfSigned, plainText, silent };

struct FailureCase {
    const char* name;
    Peer peer;
    int status;
    int timeoutMs;
};

class CryptActivation : public CryptFixture, public ::testing::WithParamInterface<FailureCase> { };

TEST_P(CryptActivation, FailsWithItsStatus)
{
    const FailureCase& c = GetParam();

    std::unique_ptr<ScriptedTlsPeer> tlsPeer;
    std::unique_ptr<LoopbackSocket> socket;
    std::unique_ptr<PlainTextPeer> plainPeer;
    int port = 0;
    if (c.peer == Peer::otherHost || c.peer == Peer::selfSigned) {
        const bool other = c.peer == Peer::otherHost;
        tlsPeer = std::make_unique<ScriptedTlsPeer>(scriptFor("220 never seen\r\n"),
                                                    other ? certs().otherHostCert() : certs().selfSignedCert(),
                                                    other ? certs().otherHostKey() : certs().selfSignedKey());
        ASSERT_TRUE(tlsPeer->started());
        port = tlsPeer->port();
    } else if (c.peer == Peer::plainText) {
        plainPeer = std::make_unique<PlainTextPeer>();
        port = plainPeer->port();
    } else {
        socket = std::make_unique<LoopbackSocket>(c.peer == Peer::silent);
        port = socket->port();
    }
    ASSERT_GT(port, 0);

    int session = 0;
    const auto start = Clock::now();
    EXPECT_EQ(open("localhost", port, session, c.timeoutMs), c.status);
    const auto took = Clock::now() - start;
    const auto timeout = std::chrono::milliseconds(c.timeoutMs);
    if (c.status == CRYPT_ERROR_TIMEOUT) {
        EXPECT_GE(took, timeout - 50ms);
        EXPECT_LT(took, timeout + 2s);
    } else {
        EXPECT_LT(took, timeout); // failed on its own account, not by waiting
    }
    if (tlsPeer) {
        // The server saw the handshake fail too, and never got as far as the script.
        const std::vector<std::string> log = tlsPeer->waitForLog(1, 5s);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind("{\"event\": \"handshake_failed\", \"error\": ", 0), 0u) << log[0];
    }
    // A failed session can be destroyed like any other.
    EXPECT_EQ(lib().destroySession(session), CRYPT_OK);
}

INSTANTIATE_TEST_SUITE_P(Crypt, CryptActivation,
                         ::testing::Values(FailureCase{"refusedPort", Peer::refusing, CRYPT_ERROR_OPEN, 5000},
                                           FailureCase{"otherHost", Peer::otherHost, CRYPT_ERROR_INVALID, 5000},
                                           FailureCase{"selfSigned", Peer::selfSigned, CRYPT_ERROR_INVALID, 5000},
                                           FailureCase{"noTls", Peer::plainText, CRYPT_ERROR_BADDATA, 5000},
                                           FailureCase{"noHandshake", Peer::silent, CRYPT_ERROR_TIMEOUT, 500}),
                         [](const auto& info) { return std::string(info.param.name); });

using CryptUpload = CryptFixture;

// A reader slower than the time-out as a whole, but never silent for that long, gets the whole message; one that
// stops reading makes the flush give up after the time-out without progress.
TEST_F(CryptUpload, FlushWaitsForAReaderThatKeepsReading)
{
    const std::string message = patterned(16'000'000) + "\r\n.\r\n";
    ScriptedTlsPeer peer("[{\"recv\": \"data\", \"rate\": 4000000}, {\"send\": \"250 ok\\r\\n\"}]",
                         certs().serverCert(), certs().serverKey(), 1, {"--rcvbuf", "65536"});
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session, 1000), CRYPT_OK);
    const auto start = Clock::now();
    EXPECT_EQ(send(session, message), CRYPT_OK);
    const auto took = Clock::now() - start;
    std::string reply;
    EXPECT_EQ(popUntil(session, 8, reply, 10s), CRYPT_OK);
    EXPECT_EQ(reply, "250 ok\r\n");
    EXPECT_TRUE(
        peer.waitForLogLine("{\"data_length\": 16000000, \"sha256\": \"" + sha256(patterned(16'000'000)) + "\"}", 5s));
    // Otherwise the reader was no slower than the time-out, and the case proves nothing.
    EXPECT_GT(took, 1000ms);
}

TEST_F(CryptUpload, FlushGivesUpOnAReaderThatStops)
{
    ScriptedTlsPeer peer("[{\"sleep\": 8}]", certs().serverCert(), certs().serverKey(), 1, {"--rcvbuf", "65536"});
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session, 1000), CRYPT_OK);
    const auto start = Clock::now();
    EXPECT_EQ(send(session, patterned(64'000'000)), CRYPT_ERROR_TIMEOUT);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 6s);
}

// In steps, a flush comes back while the peer is still taking the data and goes on at the next call; the time-out
// without progress still counts across the calls.
struct FlushStepCase {
    const char* name;
    const char* script;
    int expected; // the status that ends the calls
};

class CryptFlushSteps : public CryptFixture, public ::testing::WithParamInterface<FlushStepCase> { };

TEST_P(CryptFlushSteps, ComeBackUntilDoneOrStalled)
{
    ScriptedTlsPeer peer(GetParam().script, certs().serverCert(), certs().serverKey(), 1, {"--rcvbuf", "65536"});
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session, 1000), CRYPT_OK);
    ASSERT_EQ(lib().setAttribute(session, CRYPT_SESSINFO_FLUSH_STEP_MS, 50), CRYPT_OK);
    const std::string message = patterned(4'000'000) + "\r\n.\r\n";
    int copied = 0;
    ASSERT_EQ(lib().pushData(session, message.data(), int(message.size()), &copied), CRYPT_OK);
    int steps = 0;
    int status;
    const auto start = Clock::now();
    while ((status = lib().flushData(session)) == CRYPT_ERROR_INCOMPLETE && Clock::now() - start < 20s)
        ++steps;
    EXPECT_EQ(status, GetParam().expected);
    EXPECT_GE(steps, 10) << "a step is 50 ms, the whole at least a second";
    EXPECT_GE(Clock::now() - start, 1000ms);
    if (status == CRYPT_OK) {
        // Done means the peer has it all: what it still has to read fits its receive buffer.
        EXPECT_TRUE(peer.waitForLogLine(
            "{\"data_length\": 4000000, \"sha256\": \"" + sha256(patterned(4'000'000)) + "\"}", 2s));
    }
}

INSTANTIATE_TEST_SUITE_P(Crypt, CryptFlushSteps,
                         ::testing::Values(FlushStepCase{"slowReader", "[{\"recv\": \"data\", \"rate\": 2000000}]",
                                                         CRYPT_OK},
                                           FlushStepCase{"stoppedReader", "[{\"sleep\": 8}]", CRYPT_ERROR_TIMEOUT}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CryptSession, LocalAddressOfTheConnection)
{
    ScriptedTlsPeer peer(scriptFor("220 hi\r\n"), certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    char text[64] = {};
    int length = sizeof text;
    ASSERT_EQ(lib().createSession(&session, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    EXPECT_EQ(lib().getAttributeString(session, CRYPT_SESSINFO_CLIENT_NAME, text, &length), CRYPT_ERROR_NOTINITED);
    ASSERT_EQ(lib().destroySession(session), CRYPT_OK);
    ASSERT_EQ(open("127.0.0.1", peer.port(), session), CRYPT_OK);
    EXPECT_EQ(lib().getAttributeString(session, CRYPT_SESSINFO_CLIENT_NAME, nullptr, &length), CRYPT_OK);
    EXPECT_EQ(length, 9);
    length = 4;
    EXPECT_EQ(lib().getAttributeString(session, CRYPT_SESSINFO_CLIENT_NAME, text, &length), CRYPT_ERROR_OVERFLOW);
    length = sizeof text;
    ASSERT_EQ(lib().getAttributeString(session, CRYPT_SESSINFO_CLIENT_NAME, text, &length), CRYPT_OK);
    EXPECT_EQ(std::string(text, size_t(length)), "127.0.0.1");
}

// No C++ exception may leave the library: memory that can't be had is a status like any other.
TEST_F(CryptSession, PushWithoutMemoryFailsAndTheSessionGoesOn)
{
    const std::string greeting = "220 hi\r\n";
    ScriptedTlsPeer peer(scriptFor(greeting, ", {\"recv\": \"line\"}"), certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    const std::string big(2 << 20, 'x');
    int copied = -1;
    {
        AllocationLimit limit(1 << 20);
        EXPECT_EQ(lib().pushData(session, big.data(), int(big.size()), &copied), CRYPT_ERROR_MEMORY);
    }
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(send(session, "NOOP\r\n"), CRYPT_OK);
    EXPECT_TRUE(peer.waitForLogLine("{\"line\": \"NOOP\"}", 5s));
}

// A listening socket whose queue is full: the kernel answers no further SYN, as a dead route would.
class DeadAddress {
public:
    DeadAddress()
        : socket_(false)
    {
        if (socket_.fd() < 0 || ::listen(socket_.fd(), 0) != 0)
            return;
        sockaddr_in address = loopback(socket_.port());
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (filler_ >= 0)
            (void)!::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~DeadAddress()
    {
        if (filler_ >= 0)
            ::close(filler_);
    }
    DeadAddress(const DeadAddress&) = delete;
    DeadAddress& operator=(const DeadAddress&) = delete;
    int port() const { return socket_.port(); }

    static sockaddr_in loopback(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        return address;
    }

private:
    LoopbackSocket socket_;
    int filler_ = -1;
};

enum class Address { dead, refused, live };

struct ConnectCase {
    const char* name;
    std::vector<Address> addresses;
    int status;
};

class CryptConnect : public ::testing::TestWithParam<ConnectCase> { };

// The host's addresses in their order; the first one that answers is taken, whatever the earlier ones do.
TEST_P(CryptConnect, TakesTheFirstAddressThatAnswers)
{
    const ConnectCase& c = GetParam();
    DeadAddress dead;
    LoopbackSocket refused(false);
    LoopbackSocket live(true);
    ASSERT_GT(dead.port(), 0);
    std::vector<sockaddr_in> addresses;
    for (const Address a : c.addresses)
        addresses.push_back(DeadAddress::loopback(a == Address::dead          ? dead.port()
                                                      : a == Address::refused ? refused.port()
                                                                              : live.port()));
    std::vector<addrinfo> list(addresses.size());
    for (size_t i = 0; i < list.size(); ++i) {
        list[i].ai_family = AF_INET;
        list[i].ai_socktype = SOCK_STREAM;
        list[i].ai_addr = reinterpret_cast<sockaddr*>(&addresses[i]);
        list[i].ai_addrlen = sizeof addresses[i];
        list[i].ai_next = i + 1 < list.size() ? &list[i + 1] : nullptr;
    }
    const auto start = Clock::now();
    int status = 1;
    const int fd = cryptlib::connectFirst(list.data(), start + 2s, status);
    const auto took = Clock::now() - start;
    EXPECT_EQ(status, c.status);
    if (c.status == CRYPT_OK) {
        ASSERT_GE(fd, 0);
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        ASSERT_EQ(::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size), 0);
        EXPECT_EQ(ntohs(peer.sin_port), live.port());
        EXPECT_LT(took, 1s); // the dead address doesn't hold up the live one
        ::close(fd);
    } else {
        EXPECT_EQ(fd, -1);
        if (c.status == CRYPT_ERROR_TIMEOUT) {
            EXPECT_GE(took, 2s - 10ms);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Crypt, CryptConnect,
    ::testing::Values(ConnectCase{"deadFirst", {Address::dead, Address::live}, CRYPT_OK},
                      ConnectCase{"twoDeadFirst", {Address::dead, Address::dead, Address::live}, CRYPT_OK},
                      ConnectCase{"refusedFirst", {Address::refused, Address::live}, CRYPT_OK},
                      ConnectCase{"onlyDead", {Address::dead}, CRYPT_ERROR_TIMEOUT},
                      ConnectCase{"onlyRefused", {Address::refused, Address::refused}, CRYPT_ERROR_OPEN}),
    [](const auto& info) { return std::string(info.param.name); });

using CryptLifetime = CryptFixture;

// Two users each start and end the library (a window's send, a watch's digest): the first to end leaves the
// other's session open.
TEST_F(CryptLifetime, InitAgainKeepsTheSessionsUntilTheLastEnd)
{
    int session = 0;
    ASSERT_EQ(lib().createSession(&session, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    EXPECT_EQ(lib().init(), CRYPT_OK);
    EXPECT_EQ(lib().end(), CRYPT_OK);
    EXPECT_EQ(lib().setAttribute(session, CRYPT_SESSINFO_SERVER_PORT, 465), CRYPT_OK);
    EXPECT_EQ(lib().destroySession(session), CRYPT_OK);
}

TEST_F(CryptLifetime, HandlesAreSmallPositiveAndDistinct)
{
    int first = 0;
    int second = 0;
    ASSERT_EQ(lib().createSession(&first, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    ASSERT_EQ(lib().createSession(&second, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    EXPECT_GT(first, 0);
    EXPECT_GT(second, 0);
    EXPECT_LT(first, 1 << 20);
    EXPECT_NE(first, second);
}

TEST_F(CryptLifetime, EndClosesEverySession)
{
    const std::string greeting = "220 hello\r\n";
    ScriptedTlsPeer one(scriptFor(greeting), certs().serverCert(), certs().serverKey());
    ScriptedTlsPeer two(scriptFor(greeting), certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(one.started() && two.started());
    int first = 0;
    int second = 0;
    ASSERT_EQ(open("localhost", one.port(), first), CRYPT_OK);
    ASSERT_EQ(open("localhost", two.port(), second), CRYPT_OK);
    std::string received;
    ASSERT_EQ(popUntil(first, greeting.size(), received), CRYPT_OK);
    ASSERT_EQ(received, greeting);

    ASSERT_EQ(lib().end(), CRYPT_OK);
    // The peers wait 10 s for a close before giving up, so "closed" within 5 s is the session's doing.
    EXPECT_TRUE(one.waitForLogLine("{\"event\": \"closed\"}", 5s));
    EXPECT_TRUE(two.waitForLogLine("{\"event\": \"closed\"}", 5s));
    for (const auto& log : {one.logLines(), two.logLines()})
        for (const std::string& line : log)
            EXPECT_NE(line, "{\"event\": \"timeout\"}");

    ASSERT_EQ(lib().init(), CRYPT_OK);
    int copied = -1;
    EXPECT_EQ(lib().pushData(first, "QUIT\r\n", 6, &copied), CRYPT_ERROR_PARAM1);
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(lib().pushData(second, "QUIT\r\n", 6, &copied), CRYPT_ERROR_PARAM1);
    int fresh = 0;
    ASSERT_EQ(lib().createSession(&fresh, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    EXPECT_NE(fresh, first);
    EXPECT_NE(fresh, second);
}

TEST_F(CryptLifetime, DestroyClosesTheConnection)
{
    ScriptedTlsPeer peer(scriptFor("220 hello\r\n"), certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    int session = 0;
    ASSERT_EQ(open("localhost", peer.port(), session), CRYPT_OK);
    EXPECT_EQ(lib().destroySession(session), CRYPT_OK);
    EXPECT_TRUE(peer.waitForLogLine("{\"event\": \"closed\"}", 5s));
    EXPECT_EQ(lib().destroySession(session), CRYPT_ERROR_PARAM1);
}

TEST_F(CryptLifetime, EnvelopesAreNotAvailable)
{
    int envelope = 0;
    EXPECT_EQ(lib().createEnvelope(&envelope, CRYPT_UNUSED, 1), CRYPT_ERROR_NOTAVAIL);
    EXPECT_EQ(lib().destroyEnvelope(1), CRYPT_ERROR_NOTAVAIL);
}

// A call on a fresh, not yet active session (its handle passed in) and the status it must give.
struct CallCase {
    const char* name;
    std::function<int(int session)> call;
    int status;
};

class CryptArguments : public CryptFixture, public ::testing::WithParamInterface<CallCase> { };

TEST_P(CryptArguments, GiveTheirStatus)
{
    int session = 0;
    ASSERT_EQ(lib().createSession(&session, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    EXPECT_EQ(GetParam().call(session), GetParam().status);
}

int created(int user, int type)
{
    int session = 0;
    return lib().createSession(&session, user, type);
}

int named(int session, int length)
{
    const std::string name(size_t(std::max(length, 1)), 'a');
    return lib().setAttributeString(session, CRYPT_SESSINFO_SERVER_NAME, name.data(), length);
}

int pushed(int session, const void* buffer, int length)
{
    int copied = 0;
    return lib().pushData(session, buffer, length, &copied);
}

int popped(int session, void* buffer, int length)
{
    int copied = 0;
    return lib().popData(session, buffer, length, &copied);
}

char scratch[16];
constexpr int unknownAttribute = 6999;

INSTANTIATE_TEST_SUITE_P(
    Crypt, CryptArguments,
    ::testing::Values(
        CallCase{"nullSessionPointer", [](int) { return lib().createSession(nullptr, CRYPT_UNUSED, 3); },
                 CRYPT_ERROR_PARAM1},
        CallCase{"userNotUnused", [](int) { return created(0, CRYPT_SESSION_SSL); }, CRYPT_ERROR_PARAM2},
        CallCase{"unknownSessionType", [](int) { return created(CRYPT_UNUSED, 99); }, CRYPT_ERROR_PARAM3},
        CallCase{"unknownAttribute", [](int s) { return lib().setAttribute(s, unknownAttribute, 1); },
                 CRYPT_ERROR_PARAM2},
        CallCase{"nameAsNumber", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_SERVER_NAME, 1); },
                 CRYPT_ERROR_PARAM2},
        CallCase{"unknownStringAttribute", [](int s) { return lib().setAttributeString(s, unknownAttribute, "x", 1); },
                 CRYPT_ERROR_PARAM2},
        CallCase{"portAsString", [](int s) { return lib().setAttributeString(s, CRYPT_SESSINFO_SERVER_PORT, "25", 2); },
                 CRYPT_ERROR_PARAM2},
        CallCase{"portZero", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_SERVER_PORT, 0); },
                 CRYPT_ERROR_PARAM3},
        CallCase{"portTooHigh", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_SERVER_PORT, 65536); },
                 CRYPT_ERROR_PARAM3},
        CallCase{"portLowest", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_SERVER_PORT, 1); }, CRYPT_OK},
        CallCase{"portHighest", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_SERVER_PORT, 65535); },
                 CRYPT_OK},
        CallCase{"nameEmpty", [](int s) { return named(s, 0); }, CRYPT_ERROR_PARAM4},
        CallCase{"nameTooLong", [](int s) { return named(s, 256); }, CRYPT_ERROR_PARAM4},
        CallCase{"nameLongest", [](int s) { return named(s, 255); }, CRYPT_OK},
        CallCase{"nameNull", [](int s) { return lib().setAttributeString(s, CRYPT_SESSINFO_SERVER_NAME, nullptr, 4); },
                 CRYPT_ERROR_PARAM3},
        CallCase{"activeWithoutName", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_ACTIVE, 1); },
                 CRYPT_ERROR_NOTINITED},
        CallCase{"timeoutZero", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_TIMEOUT_MS, 0); },
                 CRYPT_ERROR_PARAM3},
        CallCase{"timeoutLongerThanFixed",
                 [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_TIMEOUT_MS, 30001); }, CRYPT_ERROR_PARAM3},
        CallCase{"timeoutFixed", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_TIMEOUT_MS, 30000); },
                 CRYPT_OK},
        CallCase{"flushStepNegative", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_FLUSH_STEP_MS, -1); },
                 CRYPT_ERROR_PARAM3},
        CallCase{"flushStepLongerThanFixed",
                 [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_FLUSH_STEP_MS, 30001); }, CRYPT_ERROR_PARAM3},
        CallCase{"startTlsBeforeActive", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_STARTTLS, 1); },
                 CRYPT_ERROR_NOTINITED},
        CallCase{"plainFirstOtherValue", [](int s) { return lib().setAttribute(s, CRYPT_SESSINFO_PLAINTEXT_FIRST, 2); },
                 CRYPT_ERROR_PARAM3},
        CallCase{"pushBeforeActive", [](int s) { return pushed(s, "x", 1); }, CRYPT_ERROR_NOTINITED},
        CallCase{"pushNullBuffer", [](int s) { return pushed(s, nullptr, 1); }, CRYPT_ERROR_PARAM2},
        CallCase{"pushNullCount", [](int s) { return lib().pushData(s, "x", 1, nullptr); }, CRYPT_ERROR_PARAM4},
        CallCase{"popNullBuffer", [](int s) { return popped(s, nullptr, 1); }, CRYPT_ERROR_PARAM2},
        CallCase{"popNoRoom", [](int s) { return popped(s, scratch, 0); }, CRYPT_ERROR_PARAM3},
        CallCase{"unknownHandleSet", [](int s) { return lib().setAttribute(s + 1000, CRYPT_SESSINFO_SERVER_PORT, 25); },
                 CRYPT_ERROR_PARAM1},
        CallCase{"unknownHandleName",
                 [](int s) { return lib().setAttributeString(s + 1000, CRYPT_SESSINFO_SERVER_NAME, "h", 1); },
                 CRYPT_ERROR_PARAM1},
        CallCase{"unknownHandlePush", [](int s) { return pushed(s + 1000, "x", 1); }, CRYPT_ERROR_PARAM1},
        CallCase{"unknownHandlePop", [](int s) { return popped(s + 1000, scratch, 1); }, CRYPT_ERROR_PARAM1},
        CallCase{"unknownHandleFlush", [](int s) { return lib().flushData(s + 1000); }, CRYPT_ERROR_PARAM1},
        CallCase{"unknownHandleDestroy", [](int s) { return lib().destroySession(s + 1000); }, CRYPT_ERROR_PARAM1},
        CallCase{"handleZero", [](int) { return lib().destroySession(0); }, CRYPT_ERROR_PARAM1}),
    [](const auto& info) { return std::string(info.param.name); });

// A call made after cryptEnd, before the next cryptInit.
struct UninitialisedCase {
    const char* name;
    std::function<int()> call;
};

class CryptBeforeInit : public CryptFixture, public ::testing::WithParamInterface<UninitialisedCase> { };

TEST_P(CryptBeforeInit, IsRefused)
{
    ASSERT_EQ(lib().end(), CRYPT_OK);
    EXPECT_EQ(GetParam().call(), CRYPT_ERROR_NOTINITED);
    ASSERT_EQ(lib().init(), CRYPT_OK); // TearDown's cryptEnd expects it
}

INSTANTIATE_TEST_SUITE_P(
    Crypt, CryptBeforeInit,
    ::testing::Values(UninitialisedCase{"createSession", [] { return created(CRYPT_UNUSED, CRYPT_SESSION_SSL); }},
                      UninitialisedCase{"setAttribute",
                                        [] { return lib().setAttribute(1, CRYPT_SESSINFO_SERVER_PORT, 25); }},
                      UninitialisedCase{"setAttributeString",
                                        [] { return lib().setAttributeString(1, CRYPT_SESSINFO_SERVER_NAME, "h", 1); }},
                      UninitialisedCase{"push", [] { return pushed(1, "x", 1); }},
                      UninitialisedCase{"flush", [] { return lib().flushData(1); }},
                      UninitialisedCase{"pop", [] { return popped(1, scratch, 1); }},
                      UninitialisedCase{"destroySession", [] { return lib().destroySession(1); }},
                      UninitialisedCase{"end", [] { return lib().end(); }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
