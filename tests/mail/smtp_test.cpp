// sendMail against a scripted TLS peer (every reply, delay and split set by the test) and against a real SMTP
// server (aiosmtpd), through the real security library.

#include "mail/cryptlib/cryptlib.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/smtpsession.h"
#include "mail/tlstransport.h"
#include "shell/programstate.h"

#include "peerprocess.h"
#include "tlspeer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

using namespace tlsscript;

// What the client calls itself over a loopback connection from this machine.
std::string hostName()
{
    return mail::ehloName(mail::canonicalHostName(), "127.0.0.1");
}

struct DialogueCase {
    const char* name;
    std::string recipients;
    std::string userName;
    std::function<void(std::vector<std::string>& actions)> change; // the script's actions, in order
    int result;
    std::string errorText;
    std::vector<std::string> linesReceived; // the client's command lines the peer saw, in order ("*" skips one)
};

// The action that sends reply number `step` (0 the greeting).
size_t replyAction(size_t step)
{
    return step * 2;
}

class Smtp : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        certificates = new TestCertificates;
        ::setenv("SSL_CERT_FILE", certificates->caFile().c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        delete certificates;
        certificates = nullptr;
    }
    void SetUp() override
    {
        mail::loadSecurityLibrary(QB_CRYPTLIB);
        ASSERT_TRUE(mail::securityLibrary().complete());
        ASSERT_EQ(mail::securityLibrary().init(), 0);
        mail::setMailClock([] { return std::time_t(1796833120); });
        shell::attachmentList.clear();
        mail::setReplyWaits(shortWaits);
    }
    void TearDown() override
    {
        mail::securityLibrary().end();
        mail::releaseSecurityLibrary();
        mail::setMailClock({});
        shell::attachmentList.clear();
        mail::setReplyWaits(mail::rfcReplyWaits);
    }
    // The waits of the RFC shortened, the message's end still waited for longest.
    static constexpr mail::ReplyWaits shortWaits{4000, 4000, 8000};
    static std::vector<std::string> receivedLines(const ScriptedTlsPeer& peer)
    {
        std::vector<std::string> lines;
        for (const std::string& entry : peer.logLines()) {
            const std::string key = "{\"line\": \"";
            if (entry.rfind(key, 0) == 0)
                lines.push_back(entry.substr(key.size(), entry.rfind('"') - key.size()));
            else if (entry.find("data_length") != std::string::npos)
                lines.push_back("<data>");
        }
        return lines;
    }
    static TestCertificates* certificates;
};

TestCertificates* Smtp::certificates = nullptr;

class SmtpDialogue : public Smtp, public ::testing::WithParamInterface<DialogueCase> { };

TEST_P(SmtpDialogue, EndsWithItsResultAndText)
{
    const DialogueCase& c = GetParam();
    const int recipients = int(std::count(c.recipients.begin(), c.recipients.end(), ',')) + 1;
    std::vector<std::string> actions = acceptingSmtpScript(recipients);
    if (c.change)
        c.change(actions);
    ScriptedTlsPeer peer(scriptOf(actions), certificates->serverCert(), certificates->serverKey());
    ASSERT_TRUE(peer.started());
    std::string errorText;
    const int result = mail::sendMail("ann@example.com", c.recipients, "Hello", "Body", "localhost", peer.port(),
                                      c.userName, "secret", errorText);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(errorText, c.errorText);
    mail::securityLibrary().end(); // lets the peer see the end of a failed dialogue
    const std::vector<std::string> lines = receivedLines(peer);
    ASSERT_EQ(lines.size(), c.linesReceived.size()) << ::testing::PrintToString(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (c.linesReceived[i] != "*") {
            EXPECT_EQ(lines[i], c.linesReceived[i]) << i;
        }
    }
}

// Cuts the script after the reply of this step and replaces that reply.
std::function<void(std::vector<std::string>&)> refuseAt(size_t step, std::string reply)
{
    return [step, reply](std::vector<std::string>& actions) {
        actions.resize(replyAction(step) + 1);
        actions.back() = sendAction(reply);
    };
}

std::function<void(std::vector<std::string>&)> replaceReply(size_t step, std::string action)
{
    return [step, action](std::vector<std::string>& actions) { actions[replyAction(step)] = action; };
}

// Cuts the script after the message has been read and goes on with these actions.
std::function<void(std::vector<std::string>&)> afterMessage(std::vector<std::string> tail)
{
    return [tail](std::vector<std::string>& actions) {
        actions.resize(replyAction(8));
        actions.insert(actions.end(), tail.begin(), tail.end());
    };
}

// An EHLO answer naming these mechanisms; with only PLAIN, the three AUTH LOGIN replies become one.
std::function<void(std::vector<std::string>&)> offering(std::string mechanisms, std::string authReply = "235 ok\r\n")
{
    return [mechanisms, authReply](std::vector<std::string>& actions) {
        actions[replyAction(1)] = sendAction("250-smtp.localhost\r\n250 " + mechanisms + "\r\n");
        if (mechanisms.find("LOGIN") == std::string::npos) {
            actions.erase(actions.begin() + long(replyAction(2)), actions.begin() + long(replyAction(4)));
            actions[replyAction(2)] = sendAction(authReply);
            if (authReply[0] != '2')
                actions.resize(replyAction(2) + 1);
        }
    };
}

const std::vector<std::string> wholeDialogue
    = {"EHLO " + hostName(),         "AUTH LOGIN", "YW5u",   "c2VjcmV0", "MAIL FROM: <ann@example.com>",
       "RCPT TO: <bob@example.com>", "DATA",       "<data>", "QUIT"};

std::vector<std::string> firstLines(size_t n)
{
    return {wholeDialogue.begin(), wholeDialogue.begin() + long(n)};
}

std::vector<std::string> plainDialogue()
{
    std::vector<std::string> lines = wholeDialogue;
    lines.erase(lines.begin() + 1, lines.begin() + 4);
    lines.insert(lines.begin() + 1, "AUTH PLAIN AGFubgBzZWNyZXQ=");
    return lines;
}

const std::string notConfirmed
    = "Not confirmed: the server did not answer after the message, so it may or may not have been sent";

INSTANTIATE_TEST_SUITE_P(Cases, SmtpDialogue,
                         ::testing::
                             Values(
                                 DialogueCase{"accepted", "bob@example.com", "ann", nullptr, 0, "", wholeDialogue},
                                 DialogueCase{"greeting554",
                                              "bob@example.com",
                                              "ann",
                                              refuseAt(0, "554 go away\r\n"),
                                              mail::greetingRefused,
                                              "Invalid handshake received: 554 go away",
                                              {}},
                                 DialogueCase{"ehloRefused", "bob@example.com", "ann", refuseAt(1, "501 Syntax\r\n"),
                                              mail::ehloRefused, "EHLO Failed: 501 Syntax", firstLines(1)},
                                 DialogueCase{"authRefused", "bob@example.com", "ann", refuseAt(2, "504 no\r\n"),
                                              mail::authLoginRefused, "AUTH LOGIN Failed: 504 no", firstLines(2)},
                                 DialogueCase{"userRefused", "bob@example.com", "ann", refuseAt(3, "535 no\r\n"),
                                              mail::userNameRefused, "Username Failed: 535 no", firstLines(3)},
                                 // A reply of several lines reads as one, each line's code left out after the
                                 // first.
                                 DialogueCase{"passwordRefusedInTwoLines", "bob@example.com", "ann",
                                              refuseAt(4,
                                                       "535-5.7.8 Username and Password not accepted.\r\n535 5.7.8 "
                                                       "Learn more\r\n"),
                                              mail::passwordRefused,
                                              "Password Failed: 535-5.7.8 Username and Password not accepted. "
                                              "5.7.8 Learn more",
                                              firstLines(4)},
                                 DialogueCase{"password250", "bob@example.com", "ann",
                                              replaceReply(4, sendAction("250 fine\r\n")), 0, "", wholeDialogue},
                                 DialogueCase{"mailFromRefused", "bob@example.com", "ann", refuseAt(5, "550 no\r\n"),
                                              mail::mailFromRefused, "MAIL FROM Failed: 550 no", firstLines(5)},
                                 DialogueCase{"rcpt251", "bob@example.com", "ann",
                                              replaceReply(6, sendAction("251 forwarded\r\n")), 0, "", wholeDialogue},
                                 DialogueCase{"secondOfThreeRecipientsRefused",
                                              "a@x.org,b@x.org,c@x.org",
                                              "ann",
                                              refuseAt(7, "550 no b\r\n"),
                                              mail::rcptToRefused,
                                              "RCPT TO Failed: 550 no b",
                                              {"*", "*", "*", "*", "*", "RCPT TO: <a@x.org>", "RCPT TO: <b@x.org>"}},
                                 DialogueCase{
                                     "recipientRefusedForNow", "bob@example.com", "ann",
                                     refuseAt(6, "452 4.5.3 Too many recipients\r\n"), mail::rcptToRefused,
                                     "RCPT TO Failed: 452 4.5.3 Too many recipients (temporary: try again later)",
                                     firstLines(6)},
                                 // Bytes that could break the box's line are blanks there.
                                 DialogueCase{"controlBytesInTheReply", "bob@example.com", "ann",
                                              refuseAt(7, "554 no\rdata\x7f!\r\n"), mail::dataRefused,
                                              "DATA Failed: 554 no data !", firstLines(7)},
                                 // A reply of nothing but a line end: its code text is blanks too.
                                 DialogueCase{"emptyReplyLine", "bob@example.com", "ann", refuseAt(7, "\r\n"),
                                              mail::dataRefused, "DATA Failed:    ", firstLines(7)},
                                 DialogueCase{"messageRefused", "bob@example.com", "ann",
                                              refuseAt(8, "552 too big\r\n"), mail::messageRefused,
                                              "Message refused: 552 too big", firstLines(8)},
                                 DialogueCase{"messageRefusedForNow", "bob@example.com", "ann",
                                              refuseAt(8, "451 4.3.0 Try later\r\n"), mail::messageRefused,
                                              "Message refused: 451 4.3.0 Try later (temporary: try again later)",
                                              firstLines(8)},
                                 DialogueCase{"emptyUserName",
                                              "bob@example.com",
                                              "",
                                              nullptr,
                                              0,
                                              "",
                                              {"*", "AUTH LOGIN", "", "c2VjcmV0", "*", "*", "*", "*", "*"}},
                                 DialogueCase{"multiLineEhloInPiecesAndLong", "bob@example.com", "ann",
                                              replaceReply(1,
                                                           sendAction(
                                                               "250-smtp.localhost\r\n250-" + std::string(260, 'X')
                                                                   + "\r\n250-PIPELINING\r\n"
                                                                     "250 AUTH LOGIN\r\n",
                                                               ", \"pieces\": [7, 20, 300], \"gap\": 0.15")),
                                              0, "", wholeDialogue},
                                 // The mechanisms the server names decide the log-in: LOGIN where offered, else
                                 // PLAIN in one line.
                                 DialogueCase{"loginOnly", "bob@example.com", "ann", offering("AUTH LOGIN"),
                                              0, "", wholeDialogue},
                                 DialogueCase{"loginBesidePlain", "bob@example.com", "ann",
                                              offering("AUTH PLAIN LOGIN"), 0, "", wholeDialogue},
                                 DialogueCase{"plainOnly", "bob@example.com", "ann", offering("AUTH PLAIN"),
                                              0, "", plainDialogue()},
                                 DialogueCase{"plainOnlyInTheOldForm", "bob@example.com", "ann", offering("AUTH=PLAIN"),
                                              0, "", plainDialogue()},
                                 DialogueCase{"plainRefused",
                                              "bob@example.com",
                                              "ann",
                                              offering("AUTH PLAIN", "535 5.7.8 bad\r\n"),
                                              mail::passwordRefused,
                                              "Password Failed: 535 5.7.8 bad",
                                              {"*", "AUTH PLAIN AGFubgBzZWNyZXQ="}},
                                 DialogueCase{"neitherOffered", "bob@example.com", "ann",
                                              [](std::vector<std::string>& a) {
                                                  a.resize(replyAction(1) + 1);
                                                  a.back() = sendAction(
                                                      "250-smtp.localhost\r\n250 AUTH cram-md5 XOAUTH2\r\n");
                                              },
                                              mail::authLoginRefused,
                                              "AUTH LOGIN Failed: the server offers only CRAM-MD5 XOAUTH2",
                                              firstLines(1)},
                                 DialogueCase{"controlByteAmongTheMechanisms", "bob@example.com", "ann",
                                              [](std::vector<std::string>& a) {
                                                  a.resize(replyAction(1) + 1);
                                                  a.back() = sendAction("250-x\r\n250 AUTH NTLM\rGSSAPI\r\n");
                                              },
                                              mail::authLoginRefused,
                                              "AUTH LOGIN Failed: the server offers only NTLM GSSAPI", firstLines(1)},
                                 DialogueCase{"replyAfterThreeSecondsIsTaken", "bob@example.com", "ann",
                                              replaceReply(1, sendAction("250 late\r\n", ", \"delay\": 3")), 0, "",
                                              wholeDialogue},
                                 DialogueCase{"replyAfterTheCommandWaitIsNot", "bob@example.com", "ann",
                                              replaceReply(1, sendAction("250 too late\r\n", ", \"delay\": 5.4")),
                                              mail::ehloRefused, "EHLO Failed:    ", firstLines(1)},
                                 // The end of the message has the longest wait of all.
                                 DialogueCase{"messageAnsweredAfterTheCommandWait", "bob@example.com", "ann",
                                              replaceReply(8, sendAction("250 queued\r\n", ", \"delay\": 6")), 0, "",
                                              wholeDialogue},
                                 DialogueCase{"messageNeverAnswered", "bob@example.com", "ann",
                                              afterMessage({"{\"sleep\": 10}"}), mail::messageNotConfirmed,
                                              notConfirmed, firstLines(8)},
                                 DialogueCase{"closedAfterTheMessage", "bob@example.com", "ann",
                                              afterMessage({"{\"close\": true}"}), mail::messageNotConfirmed,
                                              notConfirmed, firstLines(8)},
                                 // Once the server has said 250 to the message, the mail is sent whatever the end
                                 // of the connection does.
                                 DialogueCase{"closedInsteadOfQuit", "bob@example.com", "ann",
                                              afterMessage({sendAction("250 queued\r\n"), "{\"close\": true}"}), 0, "",
                                              firstLines(8)},
                                 DialogueCase{
                                     "resetAtQuit", "bob@example.com", "ann",
                                     afterMessage({sendAction("250 queued\r\n"), recvLine, "{\"reset\": true}"}), 0, "",
                                     wholeDialogue},
                                 DialogueCase{"quitNeverAnswered", "bob@example.com", "ann",
                                              afterMessage({sendAction("250 queued\r\n"), recvLine, "{\"sleep\": 9}"}),
                                              0, "", wholeDialogue},
                                 DialogueCase{"silentServer",
                                              "bob@example.com",
                                              "ann",
                                              [](std::vector<std::string>& a) { a = {"{\"sleep\": 6}"}; },
                                              mail::greetingRefused,
                                              "Invalid handshake received:    ",
                                              {}},
                                 DialogueCase{"serverClosesInsteadOfAnswering", "bob@example.com", "ann",
                                              [](std::vector<std::string>& a) {
                                                  a = {sendAction("220 hi\r\n"), recvLine, "{\"close\": true}"};
                                              },
                                              -999, "sslRecvData ERROR: Unknown error code: -999", firstLines(1)}),
                         [](const auto& info) { return std::string(info.param.name); });

// Replies whose lines end in a bare LF are taken at once, not after each step's full wait.
TEST_F(Smtp, BareLineFeedRepliesAreTakenAtOnce)
{
    std::vector<std::string> actions = acceptingSmtpScript(1);
    for (std::string& action : actions) {
        for (size_t at; (at = action.find("\\r\\n")) != std::string::npos;)
            action.replace(at, 4, "\\n");
    }
    ScriptedTlsPeer peer(scriptOf(actions), certificates->serverCert(), certificates->serverKey());
    ASSERT_TRUE(peer.started());
    std::string errorText;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mail::sendMail("ann@example.com", "bob@example.com", "Hello", "Body", "localhost", peer.port(), "ann",
                             "secret", errorText),
              0)
        << errorText;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)); // one full wait would be 5 s
    EXPECT_EQ(receivedLines(peer), wholeDialogue);
}

// A send the program stops (a watch's digest at the exit) ends at once wherever it waits, with the RFC's waits of
// five and ten minutes in force, and says QUIT on the way out.
struct AbandonCase {
    const char* name;
    std::function<void(std::vector<std::string>& actions)> change;
    int cancelAfterMs; // 0: before the send starts
    std::vector<std::string> linesReceived;
};

class SmtpAbandon : public Smtp, public ::testing::WithParamInterface<AbandonCase> { };

TEST_P(SmtpAbandon, EndsWithinTwoSecondsAndKeepsNothingHalfDone)
{
    const AbandonCase& c = GetParam();
    mail::setReplyWaits(mail::rfcReplyWaits);
    std::vector<std::string> actions = acceptingSmtpScript(1);
    c.change(actions);
    ScriptedTlsPeer peer(scriptOf(actions), certificates->serverCert(), certificates->serverKey());
    ASSERT_TRUE(peer.started());
    const auto start = std::chrono::steady_clock::now();
    mail::setCancelHook(
        [&] { return std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(c.cancelAfterMs); });
    std::string errorText;
    const int result = mail::sendMail("ann@example.com", "bob@example.com", "Hello", "Body", "localhost", peer.port(),
                                      "ann", "secret", errorText);
    const auto took = std::chrono::steady_clock::now() - start;
    mail::setCancelHook({});
    EXPECT_EQ(result, mail::sendAbandoned);
    EXPECT_EQ(errorText, "Abandoned: the send was stopped before the server confirmed the mail");
    EXPECT_LT(took, std::chrono::milliseconds(c.cancelAfterMs + 2000));
    mail::securityLibrary().end();
    // The peer logs the last line once it has it; the session's end follows the QUIT.
    std::vector<std::string> lines;
    for (int i = 0; i < 100 && (lines = receivedLines(peer)).size() < c.linesReceived.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(lines, c.linesReceived);
}

std::vector<std::string> withQuit(std::vector<std::string> lines)
{
    lines.push_back("QUIT");
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmtpAbandon,
    ::testing::Values(AbandonCase{"beforeConnecting", [](std::vector<std::string>& a) { a = {recvLine}; }, 0, {}},
                      AbandonCase{"neverGreets", [](std::vector<std::string>& a) { a = {recvLine}; }, 300, {"QUIT"}},
                      AbandonCase{"silentAfterEhlo",
                                  [](std::vector<std::string>& a) {
                                      a = {sendAction("220 hi\r\n"), recvLine, recvLine};
                                  },
                                  300, withQuit(firstLines(1))},
                      AbandonCase{"silentAfterTheMessage", afterMessage({recvLine}), 2500, withQuit(firstLines(8))}),
    [](const auto& info) { return std::string(info.param.name); });

struct EhloCase {
    const char* name;
    std::string canonicalName;
    std::string localAddress;
    std::string ehlo;
};

class EhloName : public ::testing::TestWithParam<EhloCase> { };

TEST_P(EhloName, HasADotOrIsAnAddressLiteral)
{
    EXPECT_EQ(mail::ehloName(GetParam().canonicalName, GetParam().localAddress), GetParam().ehlo);
}

INSTANTIATE_TEST_SUITE_P(Names, EhloName,
                         ::testing::Values(EhloCase{"fullyQualified", "host7.example.org", "192.0.2.10",
                                                    "host7.example.org"},
                                           EhloCase{"bareHostName", "vm", "192.0.2.10", "[192.0.2.10]"},
                                           EhloCase{"localhost", "localhost", "127.0.0.1", "[127.0.0.1]"},
                                           EhloCase{"trailingDot", "host7.", "192.0.2.10", "[192.0.2.10]"},
                                           EhloCase{"notADomain", "my_host.example.org", "192.0.2.10", "[192.0.2.10]"},
                                           EhloCase{"ipv6", "", "2001:db8::1", "[IPv6:2001:db8::1]"},
                                           EhloCase{"ipv4MappedInIpv6", "", "::ffff:192.0.2.10", "[192.0.2.10]"},
                                           EhloCase{"nothingKnown", "", "", "[127.0.0.1]"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ErrorBoxCase {
    const char* name;
    int result;
    std::string errorText;
    std::string boxText;
};

class ErrorBox : public ::testing::TestWithParam<ErrorBoxCase> { };

TEST_P(ErrorBox, ShowsTheResultThenTheWords)
{
    EXPECT_EQ(mail::sendErrorText(GetParam().result, GetParam().errorText), GetParam().boxText);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ErrorBox,
    ::testing::Values(ErrorBoxCase{"serverWords", -990, "RCPT TO Failed: 452 4.5.3 Too many recipients",
                                   "An SMTP Error Has Occured -990\nRCPT TO Failed: 452 4.5.3 Too many recipients"},
                      ErrorBoxCase{"libraryStatus", -40, "Cannot open object",
                                   "An SMTP Error Has Occured -40\nCannot open object"},
                      // The window's buffer of blanks, never filled, adds nothing.
                      ErrorBoxCase{"untouchedBuffer", -996, std::string(255, ' '), "An SMTP Error Has Occured -996"},
                      ErrorBoxCase{"empty", -999, "", "An SMTP Error Has Occured -999"}),
    [](const auto& info) { return std::string(info.param.name); });

struct StartTlsCase {
    const char* name;
    std::string ehloReply;
    std::string startTlsReply; // empty: the client must not get as far as STARTTLS
    std::string replyExtra; // members of the STARTTLS reply's send action, such as pieces
    bool proceed; // the server goes on to the handshake and the rest of an accepting dialogue
    int result;
    std::string errorText;
    std::vector<std::string> linesReceived;
};

void PrintTo(const StartTlsCase& c, std::ostream* os)
{
    *os << c.name;
}

class SmtpStartTls : public Smtp, public ::testing::WithParamInterface<StartTlsCase> { };

TEST_P(SmtpStartTls, UpgradesOrStopsBeforeAnythingSecret)
{
    const StartTlsCase& c = GetParam();
    std::vector<std::string> actions = {sendAction("220 smtp.localhost ready\r\n"), recvLine, sendAction(c.ehloReply)};
    if (!c.startTlsReply.empty()) {
        actions.push_back(recvLine);
        actions.push_back(sendAction(c.startTlsReply, c.replyExtra));
    }
    if (c.proceed) {
        actions.push_back("{\"starttls\": true}");
        const std::vector<std::string> rest = acceptingSmtpScript(1);
        actions.insert(actions.end(), rest.begin() + 1, rest.end());
    }
    ScriptedTlsPeer peer(scriptOf(actions), certificates->serverCert(), certificates->serverKey(), 1, {"--plain"});
    ASSERT_TRUE(peer.started());
    std::string errorText;
    EXPECT_EQ(mail::sendMailWith(mail::Security::startTls, "ann@example.com", "bob@example.com", "Hello", "Body",
                                 "localhost", peer.port(), "ann", "secret", errorText),
              c.result);
    EXPECT_EQ(errorText, c.errorText);
    mail::securityLibrary().end();
    EXPECT_EQ(receivedLines(peer), c.linesReceived);
}

const std::string ehloWithStartTls = "250-smtp.localhost\r\n250-starttls\r\n250 AUTH LOGIN\r\n";
const std::string ehloWithout = "250-smtp.localhost\r\n250 AUTH LOGIN\r\n";
const std::vector<std::string> upgradedDialogue = {"EHLO " + hostName(),
                                                   "STARTTLS",
                                                   "EHLO " + hostName(),
                                                   "AUTH LOGIN",
                                                   "YW5u",
                                                   "c2VjcmV0",
                                                   "MAIL FROM: <ann@example.com>",
                                                   "RCPT TO: <bob@example.com>",
                                                   "DATA",
                                                   "<data>",
                                                   "QUIT"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SmtpStartTls,
    ::testing::Values(
        StartTlsCase{"upgraded", ehloWithStartTls, "220 go ahead\r\n", "", true, 0, "", upgradedDialogue},
        StartTlsCase{"notOffered",
                     ehloWithout,
                     "",
                     "",
                     false,
                     mail::startTlsNotOffered,
                     "STARTTLS not offered by the server",
                     {"EHLO " + hostName()}},
        StartTlsCase{"refused",
                     ehloWithStartTls,
                     "454 4.7.0 TLS not available\r\n",
                     "",
                     false,
                     mail::startTlsRefused,
                     "STARTTLS Failed: 454 4.7.0 TLS not available (temporary: try again later)",
                     {"EHLO " + hostName(), "STARTTLS"}},
        // Clear text after the go-ahead, in the same piece or a moment later, must never pass for protected.
        StartTlsCase{"replyInjected",
                     ehloWithStartTls,
                     "220 go ahead\r\n250 injected\r\n",
                     "",
                     false,
                     CRYPT_ERROR_BADDATA,
                     "Bad/unrecognised data format",
                     {"EHLO " + hostName(), "STARTTLS"}},
        StartTlsCase{"replyInjectedLater",
                     ehloWithStartTls,
                     "220 go ahead\r\n250 injected\r\n",
                     ", \"pieces\": [14], \"gap\": 0.3",
                     true,
                     CRYPT_ERROR_BADDATA,
                     "Bad/unrecognised data format",
                     {"EHLO " + hostName(), "STARTTLS"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Smtp, UnreachableServerAndBadCertificatesFailAtActivation)
{
    std::string errorText;
    // A port nothing listens on.
    EXPECT_EQ(mail::sendMail("a@x.org", "b@y.org", "s", "b", "127.0.0.1", 9, "u", "p", errorText), CRYPT_ERROR_OPEN);
    EXPECT_EQ(errorText, "Cannot open object");
    for (const auto& [cert, key] : {std::pair(certificates->otherHostCert(), certificates->otherHostKey()),
                                    std::pair(certificates->selfSignedCert(), certificates->selfSignedKey())}) {
        ScriptedTlsPeer peer(scriptOf({sendAction("220 hi\r\n")}), cert, key);
        ASSERT_TRUE(peer.started());
        EXPECT_EQ(mail::sendMail("a@x.org", "b@y.org", "s", "b", "localhost", peer.port(), "u", "p", errorText),
                  CRYPT_ERROR_INVALID);
        EXPECT_EQ(errorText, "the server's certificate is not trusted by this computer");
    }
}

// A real server: aiosmtpd with TLS from the first byte and AUTH LOGIN required.
class SmtpServer : public Smtp {
protected:
    void SetUp() override
    {
        Smtp::SetUp();
        maildir = makeTestFolder("qb-maildir");
    }
    // aiosmtpd with the given --security: "implicit", "starttls" (required) or "none", offering these mechanisms.
    bool start(const char* security = "implicit", std::vector<std::string> mechanisms = {"LOGIN", "PLAIN"})
    {
        std::vector<std::string> args = {"--cert",      certificates->serverCert(),
                                         "--key",       certificates->serverKey(),
                                         "--maildir",   maildir,
                                         "--user",      "ann",
                                         "--password",  "secret",
                                         "--security",  security,
                                         "--mechanisms"};
        args.insert(args.end(), mechanisms.begin(), mechanisms.end());
        server = std::make_unique<PeerProcess>(QB_SMTP_PEER, args);
        return server->started();
    }
    void TearDown() override
    {
        server.reset();
        fs::remove_all(maildir);
        Smtp::TearDown();
    }
    // The messages as the server's parser sees them, checked in Python: one JSON line per message.
    std::string parsedMessages()
    {
        const std::string output = maildir + "parsed.json";
        const std::string command = "/usr/bin/python3 - '" + maildir + "' > '" + output
            + "' <<'EOF'\n"
              "import base64, email, email.policy, glob, hashlib, json, sys\n"
              "for path in sorted(glob.glob(sys.argv[1] + '/message-*.json')):\n"
              "    record = json.load(open(path))\n"
              "    raw = base64.b64decode(record['data_base64'])\n"
              "    message = email.message_from_bytes(raw, policy=email.policy.default)\n"
              "    parts = [p for p in message.walk() if p.get_filename()]\n"
              "    body = message.get_body(('plain',))\n"
              "    print(json.dumps({'from': record['mail_from'], 'to': record['rcpt_tos'], 'user': "
              "record['auth_user'],\n"
              "        'subject': message['subject'], 'date': message['date'], 'multipart': message.is_multipart(),\n"
              "        'message_id': message['message-id'], 'defects': [type(d).__name__ for p in message.walk()\n"
              "                                                          for d in p.defects],\n"
              "        'attachment': parts[0].get_filename() if parts else None,\n"
              "        'attachment_sha256': hashlib.sha256(parts[0].get_payload(decode=True)).hexdigest() if parts "
              "else None,\n"
              "        'body': body.get_content() if body else None}))\n"
              "EOF";
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::ifstream in(output);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string maildir;
    std::unique_ptr<PeerProcess> server;
};

std::string sha256Hex(const std::string& path)
{
    const std::string command = "sha256sum '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    char digest[65] = {};
    if (pipe) {
        if (std::fread(digest, 1, 64, pipe) != 64)
            digest[0] = '\0';
        ::pclose(pipe);
    }
    return digest;
}

TEST_F(SmtpServer, PageOfOneMegabyteReachesTwoRecipientsIntact)
{
    ASSERT_TRUE(start());
    const std::string page = maildir + "Cars for sale.html";
    {
        std::ofstream out(page, std::ios::binary);
        for (int i = 0; out.tellp() < 1024 * 1024; ++i)
            out << "<p data-pid=\"" << i << "\">ad " << i << " \xE9\r\n.\r\n..dots\n";
    }
    shell::attachmentList = {page};
    std::string errorText;
    const std::string body
        = "Look at these.\r\n.\r\n.hidden line\r\nEnd" + mail::buildMailFooter("Ann", "http://x/software.php");
    const int result = mail::sendMail("ann@example.com", "bob@example.com,cy@example.org", "Cars: 2 / 3", body,
                                      "localhost", server->port(), "ann", "secret", errorText);
    ASSERT_EQ(result, 0) << errorText;
    const std::string parsed = parsedMessages();
    EXPECT_NE(parsed.find("\"from\": \"ann@example.com\""), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("\"to\": [\"bob@example.com\", \"cy@example.org\"]"), std::string::npos);
    EXPECT_NE(parsed.find("\"user\": \"ann\""), std::string::npos) << parsed.substr(0, 600);
    EXPECT_NE(parsed.find("\"subject\": \"Cars: 2 / 3\""), std::string::npos);
    EXPECT_NE(parsed.find("\"multipart\": true"), std::string::npos);
    EXPECT_NE(parsed.find("\"attachment\": \"Cars for sale.html\""), std::string::npos);
    EXPECT_NE(parsed.find("\"attachment_sha256\": \"" + sha256Hex(page) + "\""), std::string::npos);
    // Lines that begin with "." arrive as they were written.
    EXPECT_NE(parsed.find("Look at these.\\r\\n.\\r\\n.hidden line\\r\\nEnd"), std::string::npos);
    EXPECT_NE(parsed.find("\"date\": \"Wed, 09 Dec 2026 16:18:40"), std::string::npos);
    EXPECT_NE(parsed.find("\"message_id\": \"<"), std::string::npos);
    EXPECT_NE(parsed.find("\"defects\": []"), std::string::npos);
}

// Port 587's way: aiosmtpd in clear that requires STARTTLS before anything else, with text outside ASCII and an
// attachment whose name holds a quote.
TEST_F(SmtpServer, StartTlsCarriesTextOutsideAscii)
{
    ASSERT_TRUE(start("starttls"));
    const std::string page = maildir + "17\" wheels.html";
    std::ofstream(page, std::ios::binary) << "<p>\xE2\x82\xAC 300</p>";
    shell::attachmentList = {page};
    std::string errorText;
    const int result = mail::sendMailWith(mail::Security::startTls, "ann@example.com", "bob@example.com",
                                          "H\xC3\xA9llo w\xC3\xB6rld", "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC",
                                          "localhost", server->port(), "ann", "secret", errorText);
    ASSERT_EQ(result, 0) << errorText;
    const std::string parsed = parsedMessages();
    EXPECT_NE(parsed.find("\"user\": \"ann\""), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("\"subject\": \"H\\u00e9llo w\\u00f6rld\""), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("\"body\": \"Gr\\u00fc\\u00dfe \\u20ac"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("\"attachment\": \"17\\\" wheels.html\""), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("\"defects\": []"), std::string::npos);
}

// A server in clear that offers no STARTTLS gets nothing: not the user name, not the password.
TEST_F(SmtpServer, NoStartTlsOfferedSendsNothingSecret)
{
    ASSERT_TRUE(start("none"));
    std::string errorText;
    EXPECT_EQ(mail::sendMailWith(mail::Security::startTls, "ann@example.com", "bob@example.com", "s", "b", "localhost",
                                 server->port(), "ann", "secret", errorText),
              mail::startTlsNotOffered);
    EXPECT_EQ(parsedMessages(), "");
}

// A stock Postfix with Dovecot offers PLAIN alone.
TEST_F(SmtpServer, PlainOnlyServerTakesTheLogIn)
{
    ASSERT_TRUE(start("implicit", {"PLAIN"}));
    std::string errorText;
    ASSERT_EQ(mail::sendMail("ann@example.com", "bob@example.com", "s", "b", "localhost", server->port(), "ann",
                             "secret", errorText),
              0)
        << errorText;
    EXPECT_NE(parsedMessages().find("\"user\": \"ann\""), std::string::npos);
}

TEST_F(SmtpServer, WrongPasswordIsRefused)
{
    ASSERT_TRUE(start());
    std::string errorText;
    EXPECT_EQ(mail::sendMail("ann@example.com", "bob@example.com", "s", "b", "localhost", server->port(), "ann",
                             "wrong", errorText),
              mail::passwordRefused);
    EXPECT_EQ(errorText, "Password Failed: 535 5.7.8 Authentication credentials invalid");
    EXPECT_EQ(parsedMessages(), "");
}

} // namespace
