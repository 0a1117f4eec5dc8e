// A certificate pinned for a session: accepted on its fingerprint whoever issued it, the server's name still
// checked except for this computer, and what a refused certificate reports; through the real security library
// against the scripted TLS peer.

#include "mail/cryptlib/cryptlib.h"
#include "mail/securitylibrary.h"
#include "mail/smtpsession.h"
#include "mail/tlstransport.h"
#include "shell/programstate.h"

#include "tlspeer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <ostream>
#include <regex>

namespace {

using namespace tlsscript;

enum class Cert { caSigned, otherHost, selfSigned, renewed, none };

const TestCertificates& certs()
{
    return TestCertificates::shared();
}

std::pair<std::string, std::string> files(Cert cert)
{
    switch (cert) {
    case Cert::caSigned:
        return {certs().serverCert(), certs().serverKey()};
    case Cert::otherHost:
        return {certs().otherHostCert(), certs().otherHostKey()};
    case Cert::selfSigned:
        return {certs().selfSignedCert(), certs().selfSignedKey()};
    default:
        return {certs().renewedCert(), certs().renewedKey()};
    }
}

// SHA-256 over the certificate's DER encoding, worked out here from its PEM file.
std::string fingerprintOf(Cert cert)
{
    if (cert == Cert::none)
        return {};
    std::string digest;
    if (FILE* in = std::fopen(files(cert).first.c_str(), "r")) {
        if (X509* x = PEM_read_X509(in, nullptr, nullptr, nullptr)) {
            unsigned char md[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            if (X509_digest(x, EVP_sha256(), md, &length) == 1)
                digest.assign(reinterpret_cast<const char*>(md), length);
            X509_free(x);
        }
        std::fclose(in);
    }
    return digest;
}

class Pinning : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(certs().made());
        ::setenv("SSL_CERT_FILE", certs().caFile().c_str(), 1); // the suite's CA is the only trusted issuer
        mail::loadSecurityLibrary(QB_CRYPTLIB);
        ASSERT_TRUE(mail::securityLibrary().complete());
        ASSERT_EQ(mail::securityLibrary().init(), 0);
        shell::attachmentList.clear();
        mail::setReplyWaits({5000, 5000, 5000});
    }
    void TearDown() override
    {
        mail::setPinnedFingerprint({});
        mail::securityLibrary().end();
        mail::releaseSecurityLibrary();
        mail::setReplyWaits(mail::rfcReplyWaits);
    }
};

struct PinCase {
    const char* name;
    std::string server;
    Cert shown;
    Cert pinned;
    bool accepted;
    bool pinnable; // of a refused certificate
    std::string text; // openFailureText of a refusal
};

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

class PinnedSession : public Pinning, public ::testing::WithParamInterface<PinCase> { };

TEST_P(PinnedSession, OpensOrReportsTheCertificate)
{
    const PinCase& c = GetParam();
    const auto [certFile, keyFile] = files(c.shown);
    ScriptedTlsPeer peer(scriptOf({sendAction("220 hi\r\n")}), certFile, keyFile);
    ASSERT_TRUE(peer.started());
    mail::setPinnedFingerprint(fingerprintOf(c.pinned));
    int session = 0;
    const int status = mail::tlsOpen(c.server, peer.port(), session);
    if (status == CRYPT_ERROR_OPEN && c.server.find(':') != std::string::npos)
        GTEST_SKIP() << "no IPv6 on this machine";
    mail::securityLibrary().destroySession(session);
    if (c.accepted) {
        EXPECT_EQ(status, 0);
        EXPECT_FALSE(mail::refusedCertificate());
        return;
    }
    EXPECT_EQ(status, CRYPT_ERROR_INVALID);
    const std::optional<mail::ServerCertificate>& refused = mail::refusedCertificate();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->pinnable, c.pinnable);
    EXPECT_EQ(refused->fingerprint, fingerprintOf(c.shown));
    EXPECT_EQ(refused->subject, c.shown == Cert::otherHost ? "CN = other.example" : "CN = localhost");
    EXPECT_EQ(refused->issuer,
              c.shown == Cert::caSigned || c.shown == Cert::otherHost ? "CN = Quillobrand Test CA" : "CN = localhost");
    const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC)");
    EXPECT_TRUE(std::regex_match(refused->validFrom, time)) << refused->validFrom;
    EXPECT_TRUE(std::regex_match(refused->validTo, time)) << refused->validTo;
    EXPECT_LT(refused->validFrom, refused->validTo);
    EXPECT_EQ(mail::openFailureText(status), c.text);
}

const std::string untrusted = "the server's certificate is not trusted by this computer";
const std::string otherName = "the server's certificate names another server";

INSTANTIATE_TEST_SUITE_P(
    Pinning, PinnedSession,
    ::testing::Values(
        PinCase{"selfSignedRefused", "localhost", Cert::selfSigned, Cert::none, false, true, untrusted},
        PinCase{"pinnedAccepted", "localhost", Cert::selfSigned, Cert::selfSigned, true, false, ""},
        PinCase{"pinnedAtTheAddress", "127.0.0.1", Cert::selfSigned, Cert::selfSigned, true, false, ""},
        PinCase{"renewedRefused", "localhost", Cert::renewed, Cert::selfSigned, false, true, untrusted},
        PinCase{"trustedIssuerIsNotThePin", "localhost", Cert::caSigned, Cert::selfSigned, false, true, untrusted},
        PinCase{"trustedIssuerWithoutPin", "localhost", Cert::caSigned, Cert::none, true, false, ""},
        PinCase{"thisComputerNeedNotBeNamed", "localhost", Cert::otherHost, Cert::otherHost, true, false, ""},
        PinCase{"unnamedWithoutPin", "localhost", Cert::otherHost, Cert::none, false, true, untrusted},
        // The same loopback address written another way is no longer "this computer": its name is checked.
        PinCase{"nameStillChecked", "::ffff:127.0.0.1", Cert::selfSigned, Cert::selfSigned, false, false, otherName},
        PinCase{"nameCheckedWithoutPin", "::ffff:127.0.0.1", Cert::selfSigned, Cert::none, false, false, otherName}),
    [](const auto& info) { return std::string(info.param.name); });

// After STARTTLS the pin decides as it does from the first byte, and the refusal's words reach errorText.
TEST_F(Pinning, StartTlsHandshakeTakesThePin)
{
    for (const bool pinned : {false, true}) {
        std::vector<std::string> actions = {sendAction("220 hi\r\n"),
                                            recvLine,
                                            sendAction("250-smtp.localhost\r\n250 STARTTLS\r\n"),
                                            recvLine,
                                            sendAction("220 go ahead\r\n"),
                                            "{\"starttls\": true}"};
        const std::vector<std::string> dialogue = acceptingSmtpScript(1);
        actions.insert(actions.end(), dialogue.begin() + 1, dialogue.end());
        ScriptedTlsPeer peer(scriptOf(actions), certs().selfSignedCert(), certs().selfSignedKey(), 1, {"--plain"});
        ASSERT_TRUE(peer.started());
        mail::setPinnedFingerprint(pinned ? fingerprintOf(Cert::selfSigned) : std::string());
        std::string errorText;
        const int result = mail::sendMailWith(mail::Security::startTls, "a@x.org", "b@y.org", "s", "b", "localhost",
                                              peer.port(), "u", "p", errorText);
        if (pinned) {
            EXPECT_EQ(result, 0) << errorText;
            EXPECT_TRUE(peer.waitForLogLine("{\"line\": \"QUIT\"}", std::chrono::seconds(5)));
        } else {
            EXPECT_EQ(result, CRYPT_ERROR_INVALID);
            EXPECT_EQ(errorText, untrusted);
            ASSERT_TRUE(mail::refusedCertificate());
            EXPECT_TRUE(mail::refusedCertificate()->pinnable);
        }
    }
}

TEST_F(Pinning, LibraryChecksThePinAndTheCertificateAttributes)
{
    mail::SecurityLibrary& lib = mail::securityLibrary();
    int session = 0;
    ASSERT_EQ(lib.createSession(&session, CRYPT_UNUSED, CRYPT_SESSION_SSL), CRYPT_OK);
    const std::string shortPin(31, 'x');
    EXPECT_EQ(lib.setAttributeString(session, CRYPT_SESSINFO_PINNED_FINGERPRINT, shortPin.data(), 31),
              CRYPT_ERROR_PARAM4);
    EXPECT_EQ(lib.setAttributeString(session, CRYPT_SESSINFO_PINNED_FINGERPRINT, nullptr, 32), CRYPT_ERROR_PARAM3);
    char text[64];
    int length = sizeof text;
    EXPECT_EQ(lib.getAttributeString(session, CRYPT_SESSINFO_SERVER_CERT_SUBJECT, text, &length), CRYPT_ERROR_NOTFOUND)
        << "no handshake yet";
    int problem = -1;
    EXPECT_EQ(lib.getAttribute(session, CRYPT_SESSINFO_SERVER_CERT_PROBLEM, &problem), CRYPT_ERROR_NOTFOUND);
    EXPECT_EQ(lib.getAttribute(session, CRYPT_SESSINFO_SERVER_PORT, &problem), CRYPT_ERROR_PARAM2);
    lib.destroySession(session);

    // A certificate that was accepted is there to be read too; a buffer too small for it says so.
    ScriptedTlsPeer peer(scriptOf({sendAction("220 hi\r\n")}), certs().serverCert(), certs().serverKey());
    ASSERT_TRUE(peer.started());
    ASSERT_EQ(mail::tlsOpen("localhost", peer.port(), session), 0);
    ASSERT_EQ(lib.getAttribute(session, CRYPT_SESSINFO_SERVER_CERT_PROBLEM, &problem), CRYPT_OK);
    EXPECT_EQ(problem, CRYPT_CERTPROBLEM_NONE);
    length = 4;
    EXPECT_EQ(lib.getAttributeString(session, CRYPT_SESSINFO_SERVER_CERT_ISSUER, text, &length), CRYPT_ERROR_OVERFLOW);
    std::string fingerprint(40, '\0');
    length = int(fingerprint.size());
    ASSERT_EQ(lib.getAttributeString(session, CRYPT_SESSINFO_SERVER_CERT_FINGERPRINT, fingerprint.data(), &length),
              CRYPT_OK);
    fingerprint.resize(size_t(length));
    EXPECT_EQ(fingerprint, fingerprintOf(Cert::caSigned));
    const std::string pin = fingerprintOf(Cert::selfSigned);
    EXPECT_EQ(lib.setAttributeString(session, CRYPT_SESSINFO_PINNED_FINGERPRINT, pin.data(), 32), CRYPT_ERROR_INITED);
    lib.destroySession(session);
}

} // namespace
