// The provider table shipped beside the program, what it fills in, the sentence after a refused log-in, and the
// pin file beside a profile.

#include "mail/mailproviders.h"
#include "mail/senderprofile.h"
#include "mail/smtpsession.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#ifndef QB_MAIL_PROVIDERS
#error "QB_MAIL_PROVIDERS must name data/mailproviders.tsv"
#endif

namespace {

// Failure messages name the case instead of dumping its bytes.
template <typename Case>
requires requires(const Case& c)
{
    c.name;
}
void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

const std::vector<mail::MailProvider>& shipped()
{
    static const std::vector<mail::MailProvider> providers = mail::readMailProviders(QB_MAIL_PROVIDERS);
    return providers;
}

TEST(MailProviders, TheShippedTableCoversTheseDomainsAndNoOthers)
{
    std::set<std::string> domains;
    for (const mail::MailProvider& p : shipped()) {
        EXPECT_TRUE(domains.insert(p.domain).second) << "twice: " << p.domain;
        EXPECT_FALSE(p.hint.empty()) << p.domain;
        EXPECT_FALSE(p.passwordSentence.empty()) << p.domain;
        if (!p.smtpServer.empty()) {
            EXPECT_TRUE(p.smtpPort == "465" || p.smtpPort == "587") << p.domain;
        }
    }
    EXPECT_EQ(domains,
              (std::set<std::string>{"gmail.com", "googlemail.com", "yahoo.com", "aol.com", "icloud.com", "me.com",
                                     "mac.com", "fastmail.com", "gmx.net", "gmx.de", "gmx.com", "web.de", "zoho.com",
                                     "mailbox.org", "posteo.de", "outlook.com", "hotmail.com", "live.com", "msn.com"}));
}

struct FillCase {
    const char* name;
    std::string address;
    mail::SetupFields before;
    mail::SetupFields after; // equal to before: nothing filled
    std::string hintStart; // empty: no row for the address
};

class ProviderFill : public ::testing::TestWithParam<FillCase> { };

TEST_P(ProviderFill, FillsOnlyEmptyFields)
{
    const FillCase& c = GetParam();
    const mail::MailProvider* provider = mail::providerForAddress(shipped(), c.address);
    if (c.hintStart.empty()) {
        EXPECT_EQ(provider, nullptr);
        return;
    }
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->hint.rfind(c.hintStart, 0), 0u) << provider->hint;
    EXPECT_EQ(mail::fillFromProvider(*provider, c.address, c.before), c.after);
}

const std::string outlookLine = "Outlook.com accepts only OAuth2 sign-in, which Quillobrand does not offer; use "
                                "another provider's account to send.";

INSTANTIATE_TEST_SUITE_P(
    MailProviders, ProviderFill,
    ::testing::Values(
        FillCase{"gmail",
                 "ann@gmail.com",
                 {},
                 {"smtp.gmail.com", "465", "ann@gmail.com"},
                 "Gmail: use an app password (Google Account \u2192 Security \u2192 App passwords)"},
        FillCase{
            "domainInCapitals", "Ann@GoogleMail.COM", {}, {"smtp.gmail.com", "465", "Ann@GoogleMail.COM"}, "Gmail:"},
        FillCase{"icloudTakesStartTls", "ann@me.com", {}, {"smtp.mail.me.com", "587", "ann@me.com"}, "iCloud:"},
        FillCase{"gmxDe", "ann@gmx.de", {}, {"mail.gmx.net", "465", "ann@gmx.de"}, "GMX:"},
        FillCase{"posteo", "ann@posteo.de", {}, {"posteo.de", "465", "ann@posteo.de"}, "Posteo:"},
        FillCase{"portAndUserKept",
                 "ann@yahoo.com",
                 {"", "2465", "ann.lee"},
                 {"smtp.mail.yahoo.com", "2465", "ann.lee"},
                 "Yahoo:"},
        FillCase{"userKept", "ann@web.de", {"", "", "ann"}, {"smtp.web.de", "587", "ann"}, "WEB.DE:"},
        FillCase{"outlookFillsNothing", "ann@outlook.com", {}, {}, outlookLine},
        FillCase{"hotmailFillsNothing", "ann@hotmail.com", {"", "", "ann"}, {"", "", "ann"}, outlookLine},
        FillCase{"msn", "ann@msn.com", {}, {}, outlookLine}, FillCase{"unknownDomain", "ann@example.com", {}, {}, ""},
        FillCase{"subdomainIsAnother", "ann@mail.gmail.com", {}, {}, ""}, FillCase{"noAt", "gmail.com", {}, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    int result;
    std::string errorText;
    bool refusal;
};

class LogInRefusal : public ::testing::TestWithParam<RefusalCase> { };

TEST_P(LogInRefusal, Is535Or534AtALogInStep)
{
    EXPECT_EQ(mail::isLogInRefusal(GetParam().result, GetParam().errorText), GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(
    MailProviders, LogInRefusal,
    ::testing::Values(
        RefusalCase{"password535", mail::passwordRefused,
                    "Password Failed: 535 5.7.8 Username and Password not accepted", true},
        RefusalCase{"password534", mail::passwordRefused,
                    "Password Failed: 534-5.7.9 Application-specific password required", true},
        RefusalCase{"authLogin534", mail::authLoginRefused, "AUTH LOGIN Failed: 534 5.7.14 Please log in", true},
        RefusalCase{"userName535", mail::userNameRefused, "Username Failed: 535 no", true},
        RefusalCase{"password454", mail::passwordRefused,
                    "Password Failed: 454 4.7.0 Temporary failure (temporary: try again later)", false},
        RefusalCase{"rcpt535", mail::rcptToRefused, "RCPT TO Failed: 535 odd", false},
        RefusalCase{"labelOfAnotherStep", mail::passwordRefused, "Username Failed: 535 no", false},
        RefusalCase{"noMechanism", mail::authLoginRefused, "AUTH LOGIN Failed: the server offers only XOAUTH2", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct AdviceCase {
    const char* name;
    std::string senderEmail;
    std::string smtpServer;
    std::string adviceStart;
};

class LogInAdvice : public ::testing::TestWithParam<AdviceCase> { };

TEST_P(LogInAdvice, NamesWhatThePasswordMustBe)
{
    const std::string advice = mail::logInAdvice(shipped(), GetParam().senderEmail, GetParam().smtpServer);
    EXPECT_EQ(advice.rfind(GetParam().adviceStart, 0), 0u) << advice;
}

const std::string generalAdvice
    = "Check the username and password; many providers need an app password for mail programs.";

INSTANTIATE_TEST_SUITE_P(
    MailProviders, LogInAdvice,
    ::testing::Values(AdviceCase{"byAddress", "ann@gmail.com", "localhost", "Gmail takes only an app password"},
                      AdviceCase{"byServer", "ann@ann-lee.example", "SMTP.FASTMAIL.COM", "Fastmail takes only"},
                      AdviceCase{"serverBeforeAddress", "ann@gmail.com", "smtp.mail.yahoo.com", "Yahoo takes only"},
                      AdviceCase{"outlook", "ann@live.com", "smtp-mail.outlook.com", outlookLine},
                      AdviceCase{"neither", "ann@example.com", "smtp.example.com", generalAdvice},
                      AdviceCase{"emptyServer", "ann", "", generalAdvice}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MailProviders, UnreadableTableAndOddRows)
{
    EXPECT_TRUE(mail::readMailProviders("/nonexistent/mailproviders.tsv").empty());
    const std::string folder = makeTestFolder("qb-providers");
    std::ofstream(folder + "t.tsv", std::ios::binary)
        << "# comment\tx\ty\tz\tw\r\n\r\nshort.example\thost\t465\thint\r\n"
           "Odd.Example\thost\t465\thint\tsentence\textra\r\n\thost\t465\thint\tsentence\n";
    const std::vector<mail::MailProvider> rows = mail::readMailProviders(folder + "t.tsv");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].domain, "odd.example");
    EXPECT_EQ(rows[0].passwordSentence, "sentence");
    std::filesystem::remove_all(folder);
}

const std::string fingerprint = [] {
    std::string bytes;
    for (int i = 0; i < 32; ++i)
        bytes += static_cast<char>(0xF0 + i % 16 - 16 * (i % 2));
    return bytes;
}();

struct PinCase {
    const char* name;
    std::string file; // empty: no file
    std::string server;
    bool pinned; // reads as the fingerprint
};

class PinFile : public ::testing::TestWithParam<PinCase> { };

TEST_P(PinFile, IsReadForItsServerOnly)
{
    const std::string folder = makeTestFolder("qb-pin");
    const std::string path = folder + "Bridge.pin";
    if (!GetParam().file.empty())
        std::ofstream(path, std::ios::binary) << GetParam().file;
    EXPECT_EQ(mail::readPin(path, GetParam().server), GetParam().pinned ? fingerprint : std::string());
    std::filesystem::remove_all(folder);
}

const std::string written = "127.0.0.1\r\n" + mail::fingerprintText(fingerprint) + "\r\n";

INSTANTIATE_TEST_SUITE_P(
    MailProviders, PinFile,
    ::testing::Values(
        PinCase{"asWritten", written, "127.0.0.1", true}, PinCase{"anotherServer", written, "127.0.0.2", false},
        PinCase{"serverInOtherCase", "LocalHost\n" + mail::fingerprintText(fingerprint), "localhost", true},
        PinCase{"lowerCaseWithoutColons",
                "127.0.0.1\n" +
                    [] {
                        std::string t = mail::fingerprintText(fingerprint);
                        std::erase(t, ':');
                        for (char& c : t)
                            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                        return t;
                    }(),
                "127.0.0.1", true},
        PinCase{"cutShort", written.substr(0, written.size() - 5), "127.0.0.1", false},
        PinCase{"notHex", "127.0.0.1\r\n" + std::string(64, 'G') + "\r\n", "127.0.0.1", false},
        PinCase{"noFingerprint", "127.0.0.1\r\n", "127.0.0.1", false}, PinCase{"noFile", "", "127.0.0.1", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MailProviders, PinIsWrittenPrivatelyAsTwoLines)
{
    const std::string folder = makeTestFolder("qb-pin");
    ASSERT_TRUE(mail::writePin(folder + "Bridge.pin", "127.0.0.1", fingerprint));
    std::ifstream in(folder + "Bridge.pin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, written);
    EXPECT_EQ(written.substr(11, 9), "F0:E1:F2:") << "upper-case pairs joined by colons";
    EXPECT_EQ(modeOf(folder + "Bridge.pin"), 0600);
    EXPECT_EQ(mail::pinFile("Bridge"), "smtp/Bridge.pin");
    std::filesystem::remove_all(folder);
}

} // namespace
