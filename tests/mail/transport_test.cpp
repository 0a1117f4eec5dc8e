// The TLS transport and the SMTP dialogue's failure paths, over a security library that fails on purpose.

#include "mail/cryptlib/cryptlib.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/smtpsession.h"
#include "mail/tlstransport.h"
#include "platform/dynamiclibrary.h"
#include "shell/programstate.h"

#include "allocationlimit.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

using FaultSetMode = void (*)(int);
using FaultSetReply = void (*)(const char*, int);
using FaultPushed = int (*)(char*, int);
using FaultPlainFirst = int (*)();

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        mail::loadSecurityLibrary(QB_FAULTCRYPT);
        ASSERT_TRUE(mail::securityLibrary().complete());
        void* handle = mail::securityLibrary().handle;
        setMode = reinterpret_cast<FaultSetMode>(platform::lookUpEntryPoint(handle, "faultSetMode"));
        setReply = reinterpret_cast<FaultSetReply>(platform::lookUpEntryPoint(handle, "faultSetReply"));
        pushed = reinterpret_cast<FaultPushed>(platform::lookUpEntryPoint(handle, "faultPushed"));
        plainFirst = reinterpret_cast<FaultPlainFirst>(platform::lookUpEntryPoint(handle, "faultPlainFirst"));
        ASSERT_TRUE(setMode && setReply && pushed && plainFirst);
        setMode(0);
        setReply("", 0);
        shell::attachmentList.clear();
    }
    void TearDown() override { mail::releaseSecurityLibrary(); }
    std::string pushedBytes()
    {
        std::string bytes(1 << 16, '\0');
        bytes.resize(size_t(pushed(bytes.data(), int(bytes.size()))));
        return bytes;
    }
    int send(std::string& errorText)
    {
        return mail::sendMail("a@x.org", "b@y.org", "Hi", "Body", "smtp.localhost", 465, "ann", "pw", errorText);
    }
    FaultSetMode setMode = nullptr;
    FaultSetReply setReply = nullptr;
    FaultPushed pushed = nullptr;
    FaultPlainFirst plainFirst = nullptr;
};

struct PortCase {
    int port;
    bool startTls;
};

class TransportPort : public Transport, public ::testing::WithParamInterface<PortCase> { };

// Submission on 587 starts in clear for STARTTLS; every other port is TLS from the first byte.
TEST_P(TransportPort, ChoosesHowTheConnectionIsSecured)
{
    setMode(5);
    std::string errorText;
    EXPECT_EQ(
        mail::sendMail("a@x.org", "b@y.org", "Hi", "Body", "smtp.localhost", GetParam().port, "ann", "pw", errorText),
        CRYPT_ERROR_OPEN);
    EXPECT_EQ(plainFirst(), GetParam().startTls ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Ports, TransportPort,
                         ::testing::Values(PortCase{465, false}, PortCase{587, true}, PortCase{25, false},
                                           PortCase{2587, false}),
                         [](const auto& info) { return std::to_string(info.param.port); });

TEST_F(Transport, PushTakingFewerBytesIsRefusedWithItsCounts)
{
    setMode(1);
    std::string errorText = "old";
    EXPECT_EQ(mail::tlsSend(7, errorText, "0123456789"), mail::pushFailed);
    EXPECT_EQ(errorText, "CryptPushData ERROR , lenSend = 10, bytesSent = 4");
}

struct FailureCase {
    const char* name;
    int mode;
    int transportResult;
    const char* transportText;
    int mailResult;
    const char* mailText;
};

class TransportFailures : public Transport, public ::testing::WithParamInterface<FailureCase> { };

TEST_P(TransportFailures, ReachTheDialogueWithTheirTexts)
{
    const FailureCase& c = GetParam();
    setMode(c.mode);
    std::string errorText;
    if (c.mode == 4) {
        char buffer[255];
        int received = -1;
        EXPECT_EQ(mail::tlsReceive(7, errorText, buffer, received, 255), c.transportResult);
        EXPECT_EQ(received, -1);
    } else if (c.mode != 5) {
        EXPECT_EQ(mail::tlsSend(7, errorText, "QUIT\r\n"), c.transportResult);
    }
    if (c.transportText) {
        EXPECT_EQ(errorText, c.transportText);
    }
    setReply("220 ready\r\n", 11);
    errorText.clear();
    EXPECT_EQ(send(errorText), c.mailResult);
    EXPECT_EQ(errorText, c.mailText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportFailures,
    ::testing::Values(FailureCase{"pushRefused", 2, -998,
                                  "CryptPushData ERROR Cannot write item to object, lenSend = 6, bytesSent = 0", -998,
                                  "sslSendData ERROR: Unknown error code: -998"},
                      FailureCase{"flushRefused", 3, -997, "CryptFlushData ERROR Cannot write item to object", -997,
                                  "sslSendData ERROR: Unknown error code: -997"},
                      FailureCase{"popRefused", 4, -999, "CryptPopData ERROR: Cannot read item from object", -999,
                                  "sslRecvData ERROR: Unknown error code: -999"},
                      FailureCase{"activationRefused", 5, 0, nullptr, CRYPT_ERROR_OPEN, "Cannot open object"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transport, LongReplyComesInPiecesOfTheCapacity)
{
    const std::string reply(300, 'x');
    setReply(reply.data(), int(reply.size()));
    std::string errorText;
    char buffer[255];
    int received = 0;
    ASSERT_EQ(mail::tlsReceive(7, errorText, buffer, received, 255), 0);
    EXPECT_EQ(received, 255);
    ASSERT_EQ(mail::tlsReceive(7, errorText, buffer, received, 255), 0);
    EXPECT_EQ(received, 45);
}

TEST_F(Transport, SilentPeerLeavesTheBufferAfterTheWait)
{
    std::string errorText;
    char buffer[4] = {'a', 'b', 'c', 'd'};
    int received = 9;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(mail::tlsReceive(7, errorText, buffer, received, 4), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(received, 9);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_GE(waited, std::chrono::milliseconds(5000));
    EXPECT_LT(waited, std::chrono::milliseconds(8000)); // a safety bound, not a timing test
}

TEST_F(Transport, SilentGreetingFailsWithThreeBlanks)
{
    // The greeting's five minutes, shortened.
    mail::setReplyWaits({2000, 2000, 4000});
    std::string errorText;
    EXPECT_EQ(send(errorText), mail::greetingRefused);
    mail::setReplyWaits(mail::rfcReplyWaits);
    EXPECT_EQ(errorText, "Invalid handshake received:    ");
    EXPECT_EQ(pushedBytes(), "");
}

TEST_F(Transport, UnsafeAddressesAreRefusedBeforeAnyConnection)
{
    setReply("220 ready\r\n", 11);
    std::string errorText;
    EXPECT_EQ(mail::sendMail("a@x.org>\r\nRCPT TO:<z@z", "b@y.org", "s", "b", "h", 1, "u", "p", errorText),
              mail::invalidAddress);
    EXPECT_EQ(errorText, "Invalid address: a@x.org   RCPT TO: z@z");
    EXPECT_EQ(mail::sendMail("a@x.org", "b@y.org,c@d\n", "s", "b", "h", 1, "u", "p", errorText), mail::invalidAddress);
    EXPECT_EQ(errorText, "Invalid address: c@d ");
    EXPECT_EQ(mail::sendMail("a@x.org", std::string("b@y\0org", 7), "s", "b", "h", 1, "u", "p", errorText),
              mail::invalidAddress);
    // Without SMTPUTF8 an address outside ASCII can't be sent, nor stand in a header.
    EXPECT_EQ(mail::sendMail("j\xC3\xB6rg@x.org", "b@y.org", "s", "b", "h", 1, "u", "p", errorText),
              mail::invalidAddress);
    EXPECT_EQ(pushedBytes(), "");
}

// Memory that can't be had: an attachment is left out, a message that can't be built ends the send with its own
// result, and neither ends the program.
TEST_F(Transport, MemoryRunningOutLeavesAttachmentsOutAndEndsTheSend)
{
    constexpr size_t megabyte = 1 << 20;
    const std::string folder = makeTestFolder("qb-memory");
    std::ofstream(folder + "page.html", std::ios::binary) << std::string(2 * megabyte, 'p');
    {
        AllocationLimit limit(megabyte);
        const std::string content = mail::composeContent("Body", {folder + "page.html"});
        EXPECT_EQ(content.find("base64"), std::string::npos);
        EXPECT_EQ(content.substr(content.size() - 20), "Body\r\n--MyBoundary--");
    }
    const std::string body(2 * megabyte, 'b');
    setReply("220 ready\r\n", 11);
    std::string errorText;
    {
        AllocationLimit limit(megabyte);
        EXPECT_EQ(mail::sendMail("a@x.org", "b@y.org", "Hi", body, "smtp.localhost", 465, "ann", "pw", errorText),
                  mail::messageNotComposed);
    }
    EXPECT_EQ(errorText, "Message not composed: out of memory");
    EXPECT_EQ(pushedBytes(), "");
    std::filesystem::remove_all(folder);
}

TEST(TransportWithoutLibrary, FailsClearlyWithoutCallingAnything)
{
    mail::releaseSecurityLibrary();
    mail::loadSecurityLibrary("/nonexistent/cryptlib32.so");
    std::string errorText;
    int session = 0;
    EXPECT_EQ(mail::tlsOpen("h", 1, session), CRYPT_ERROR_NOTAVAIL);
    EXPECT_EQ(mail::sendMail("a@x", "b@y", "s", "b", "h", 1, "u", "p", errorText), CRYPT_ERROR_NOTAVAIL);
    EXPECT_EQ(errorText, "The security library could not be loaded.");
    EXPECT_NE(mail::tlsSend(0, errorText, "x"), 0);
    mail::releaseSecurityLibrary();
}

struct ReplyCase {
    const char* reply;
    bool complete;
};

class SmtpReply : public ::testing::TestWithParam<ReplyCase> { };

TEST_P(SmtpReply, IsCompleteAtItsLastLine)
{
    EXPECT_EQ(mail::isCompleteReply(GetParam().reply), GetParam().complete);
}

INSTANTIATE_TEST_SUITE_P(Cases, SmtpReply,
                         ::testing::Values(ReplyCase{"220 ready\r\n", true}, ReplyCase{"250\r\n", true},
                                           ReplyCase{"250-a\r\n", false}, ReplyCase{"250-a\r\n250-b\r\n", false},
                                           ReplyCase{"250-a\r\n250 b\r\n", true}, ReplyCase{"250-a\r\n250 b", false},
                                           ReplyCase{"250 b\r", false}, ReplyCase{"", false},
                                           ReplyCase{"garbage\r\n", true}, ReplyCase{"220 ready\n", true},
                                           ReplyCase{"250-a\n", false}, ReplyCase{"250-a\n250 b\n", true},
                                           ReplyCase{"250-a\r\n250 b\n", true}));

struct DataCase {
    const char* name;
    const char* message;
    const char* sent;
};

class DataPhase : public ::testing::TestWithParam<DataCase> { };

TEST_P(DataPhase, StuffsDotsAndMakesLineEndsCrLf)
{
    EXPECT_EQ(mail::dataPhaseText(GetParam().message), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataPhase,
                         ::testing::Values(DataCase{"plain", "a\r\nb", "a\r\nb\r\n.\r\n"},
                                           DataCase{"singleDotLine", "a\r\n.\r\nb", "a\r\n..\r\nb\r\n.\r\n"},
                                           DataCase{"leadingDots", ".a\r\n..b\r\nc.d", "..a\r\n...b\r\nc.d\r\n.\r\n"},
                                           DataCase{"bareLineEnds", "a\nb\rc\r\r\nd", "a\r\nb\r\nc\r\n\r\nd\r\n.\r\n"},
                                           DataCase{"dotAfterBareLf", "a\n.", "a\r\n..\r\n.\r\n"},
                                           DataCase{"empty", "", "\r\n.\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
