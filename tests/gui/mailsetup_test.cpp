// The Email Setup tab's help with a profile: settings filled in from the address, Send Test, the sentence after a
// refused log-in and a pinned certificate; and a failed send that keeps the window and its text.

#include "mailwindowfixture.h"
#include "peerprocess.h"

#include "mail/securitylibrary.h"
#include "mail/smtpsession.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class MailSetup : public MailWindowTest {
protected:
    void SetUp() override
    {
        MailWindowTest::SetUp();
        fs::copy_file(std::string(QB_STAGE_DIR) + "mailproviders.tsv", folder + "mailproviders.tsv");
    }
    void TearDown() override
    {
        MailWindowTest::TearDown();
        mail::setStartTlsPort(587);
    }
    // The setup tab's fields, as a user types a profile without saving it.
    static void typeProfile(QWidget* w, const std::string& profile, const std::string& email, int port,
                            const std::string& password = "secret", const std::string& server = "localhost")
    {
        child<QComboBox>(w, "profileBox")->setEditText(QString::fromStdString(profile));
        child<QLineEdit>(w, "nameField")->setText("Ann");
        child<QLineEdit>(w, "emailField")->setText(QString::fromStdString(email));
        child<QLineEdit>(w, "serverField")->setText(QString::fromStdString(server));
        child<QLineEdit>(w, "userField")->setText("ann");
        child<QLineEdit>(w, "passwordField")->setText(QString::fromStdString(password));
        child<QLineEdit>(w, "portField")->setText(QString::number(port));
    }
    // The data of aiosmtpd's message file number n.
    std::string receivedData(const std::string& maildir, int n)
    {
        const QString record = QString::fromStdString(readFile(maildir + "message-" + std::to_string(n) + ".json"));
        return QByteArray::fromBase64(
                   QRegularExpression("\"data_base64\": \"([^\"]*)\"").match(record).captured(1).toLatin1())
            .toStdString();
    }
};

struct FillCase {
    const char* name;
    std::string address;
    std::string server, port, user; // typed before the address
    std::string filledServer, filledPort, filledUser;
    std::string hint;
};

class MailSetupFill : public MailSetup, public ::testing::WithParamInterface<FillCase> { };

TEST_P(MailSetupFill, LeavingTheAddressFillsWhatIsEmpty)
{
    const FillCase& c = GetParam();
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        auto* hint = child<QLabel>(w, "providerHint");
        EXPECT_EQ(hint->geometry(), QRect(10, 210, 340, 45));
        EXPECT_EQ(child(w, "sendTestButton")->geometry(), QRect(225, 185, 85, 20));
        child<QAbstractButton>(w, "newProfileButton")->click();
        child<QLineEdit>(w, "serverField")->setText(QString::fromStdString(c.server));
        child<QLineEdit>(w, "portField")->setText(QString::fromStdString(c.port));
        child<QLineEdit>(w, "userField")->setText(QString::fromStdString(c.user));
        auto* email = child<QLineEdit>(w, "emailField");
        QTest::keyClicks(email, QString::fromStdString(c.address));
        emit email->editingFinished(); // the field is left
        EXPECT_EQ(child<QLineEdit>(w, "serverField")->text().toStdString(), c.filledServer);
        EXPECT_EQ(child<QLineEdit>(w, "portField")->text().toStdString(), c.filledPort);
        EXPECT_EQ(child<QLineEdit>(w, "userField")->text().toStdString(), c.filledUser);
        EXPECT_EQ(hint->text().toStdString(), c.hint);
        child<QAbstractButton>(w, "newProfileButton")->click();
        EXPECT_TRUE(hint->text().isEmpty()) << "a new profile starts without a line";
    }));
    EXPECT_TRUE(boxes.empty());
}

const std::string gmailLine = "Gmail: use an app password (Google Account \u2192 Security \u2192 App passwords)";
const std::string outlookLine = "Outlook.com accepts only OAuth2 sign-in, which Quillobrand does not offer; use "
                                "another provider's account to send.";

INSTANTIATE_TEST_SUITE_P(
    MailSetup, MailSetupFill,
    ::testing::Values(
        FillCase{"gmail", "ann@gmail.com", "", "", "", "smtp.gmail.com", "465", "ann@gmail.com", gmailLine},
        FillCase{"userKept", "ann@fastmail.com", "", "", "ann", "smtp.fastmail.com", "465", "ann",
                 "Fastmail: use an app password (Settings \u2192 Privacy & Security \u2192 App passwords)"},
        FillCase{"portKept", "ann@icloud.com", "", "2525", "", "smtp.mail.me.com", "2525", "ann@icloud.com",
                 "iCloud: use an app-specific password (account.apple.com \u2192 Sign-In and Security \u2192 "
                 "App-Specific Passwords)"},
        FillCase{"serverTypedFirstChangesNothing", "ann@gmail.com", "mail.example.com", "", "", "mail.example.com", "",
                 "", ""},
        FillCase{"outlookFillsNothing", "ann@outlook.com", "", "", "", "", "", "", outlookLine},
        FillCase{"liveFillsNothing", "ann@live.com", "", "587", "", "", "587", "", outlookLine},
        FillCase{"unknownDomain", "ann@example.com", "", "", "", "", "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct SendTestCase {
    const char* name;
    const char* security; // aiosmtpd's
    std::string email;
    std::string password;
    std::string box; // the result's box; an error box is matched by its start and its last line
    std::string lastLine;
};

class MailSetupSendTest : public MailSetup, public ::testing::WithParamInterface<SendTestCase> { };

// Send Test mails the profile as the fields show it, unsaved, to its own address, and reports as Send does.
TEST_P(MailSetupSendTest, MailsTheProfileToItself)
{
    const SendTestCase& c = GetParam();
    const std::string maildir = folder + "maildir/";
    fs::create_directories(maildir);
    std::vector<std::string> args = smtpPeerArguments(maildir);
    args.insert(args.end(), {"--security", c.security});
    PeerProcess server(QB_SMTP_PEER, args);
    ASSERT_TRUE(server.started());
    const bool startTls = std::string(c.security) == "starttls";
    if (startTls)
        mail::setStartTlsPort(server.port());
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        typeProfile(w, "Home", c.email, server.port(), c.password);
        child<QAbstractButton>(w, "sendTestButton")->click();
        EXPECT_EQ(QApplication::activeModalWidget(), w) << "the window stays open";
        // The library is still started for the window's own Send.
        child<QAbstractButton>(w, "sendTestButton")->click();
    }));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, boxes[1].text);
    EXPECT_TRUE(boxes[0].extraButton.empty());
    EXPECT_EQ(boxes[0].text.rfind(c.box, 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.rfind('\n') + 1), c.lastLine);
    EXPECT_FALSE(fs::exists(folder + "smtp/Home.smtp")) << "nothing is saved";
    EXPECT_TRUE(fs::is_empty(folder + "sent")) << "no page goes along";
    if (!c.password.starts_with("secret"))
        return;
    const std::string received = readFile(maildir + "message-1.json");
    EXPECT_NE(received.find("\"rcpt_tos\": [\"" + c.email + "\"]"), std::string::npos) << received;
    const std::string data = receivedData(maildir, 1);
    EXPECT_NE(data.find("Subject: Quillobrand test mail\r\n"), std::string::npos) << data;
    EXPECT_NE(data.find("This test mail was sent by Quillobrand through localhost, port "
                        + std::to_string(server.port()) + ", over " + (startTls ? "STARTTLS." : "implicit TLS.")),
              std::string::npos)
        << data;
    EXPECT_EQ(data.find("Content-Disposition"), std::string::npos) << "no attachment";
}

const std::string generalAdvice
    = "Check the username and password; many providers need an app password for mail programs.";

INSTANTIATE_TEST_SUITE_P(
    MailSetup, MailSetupSendTest,
    ::testing::Values(
        SendTestCase{"implicitTls", "implicit", "ann@example.com", "secret", "Mail Sent OK", "Mail Sent OK"},
        SendTestCase{"startTls", "starttls", "ann@example.com", "secret", "Mail Sent OK", "Mail Sent OK"},
        SendTestCase{"refusedForGmail", "implicit", "ann@gmail.com", "wrong",
                     "An SMTP Error Has Occured -992\nPassword Failed: 535 ",
                     "Gmail takes only an app password, which needs 2-step verification (Google Account \u2192 "
                     "Security \u2192 App passwords)."},
        SendTestCase{"refusedElsewhere", "starttls", "ann@example.com", "wrong",
                     "An SMTP Error Has Occured -992\nPassword Failed: 535 ", generalAdvice}),
    [](const auto& info) { return std::string(info.param.name); });

// The certificate's SHA-256 fingerprint as openssl prints it ("AB:CD:..."), for the test's own check.
std::string opensslFingerprint(const std::string& certFile)
{
    std::string out;
    if (FILE* pipe = ::popen(("openssl x509 -noout -fingerprint -sha256 -in '" + certFile + "'").c_str(), "r")) {
        char buffer[256];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    const size_t equals = out.find('=');
    out = equals == std::string::npos ? "" : out.substr(equals + 1);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

const std::string untrusted = "An SMTP Error Has Occured -26\nthe server's certificate is not trusted by this computer";

// A bridge on this computer with its own self-signed certificate: refused until the user trusts it for the
// profile; then accepted for that profile only, and refused again once the bridge shows another certificate.
TEST_F(MailSetup, ATrustedCertificateIsPinnedForItsProfile)
{
    const TestCertificates& certificates = TestCertificates::shared();
    const std::string script = tlsscript::scriptOf(tlsscript::acceptingSmtpScript(1));
    ScriptedTlsPeer bridge(script, certificates.selfSignedCert(), certificates.selfSignedKey(), 3);
    ScriptedTlsPeer renewed(script, certificates.renewedCert(), certificates.renewedKey(), 1);
    ASSERT_TRUE(bridge.started());
    ASSERT_TRUE(renewed.started());
    const std::string fingerprint = opensslFingerprint(certificates.selfSignedCert());
    ASSERT_EQ(fingerprint.size(), 95u);
    answers = {true, true}; // "Trust This Certificate…", then Yes
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        auto* sendTest = child<QAbstractButton>(w, "sendTestButton");
        typeProfile(w, "Bridge", "ann@example.com", bridge.port(), "secret", "127.0.0.1");
        sendTest->click(); // refused, trusted
        sendTest->click(); // accepted
        child<QComboBox>(w, "profileBox")->setEditText("Other");
        sendTest->click(); // refused: the pin is Bridge's
        child<QComboBox>(w, "profileBox")->setEditText("Bridge");
        child<QLineEdit>(w, "portField")->setText(QString::number(renewed.port()));
        sendTest->click(); // refused: another certificate
        EXPECT_EQ(QApplication::activeModalWidget(), w);
    }));
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].text, untrusted);
    EXPECT_EQ(boxes[0].extraButton, "Trust This Certificate\u2026");
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_TRUE(boxes[1].yesNo);
    for (const std::string& line : std::vector<std::string>{
             "Trust this certificate for the profile \"Bridge\"?", "Server: 127.0.0.1", "Subject: CN = localhost",
             "Issuer: CN = localhost", "SHA-256 fingerprint: " + fingerprint}) {
        EXPECT_NE(boxes[1].text.find(line + "\n"), std::string::npos) << line << " in " << boxes[1].text;
    }
    EXPECT_TRUE(QString::fromStdString(boxes[1].text)
                    .contains(QRegularExpression("\nValid from \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC to "
                                                 "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC\n")))
        << boxes[1].text;
    EXPECT_EQ(boxes[2].text, "Mail Sent OK");
    for (const size_t refused : {3u, 4u}) {
        EXPECT_EQ(boxes[refused].text, untrusted) << refused;
        EXPECT_EQ(boxes[refused].extraButton, "Trust This Certificate\u2026") << refused;
    }
    EXPECT_EQ(readFile(folder + "smtp/Bridge.pin"), "127.0.0.1\r\n" + fingerprint + "\r\n");
    EXPECT_FALSE(fs::exists(folder + "smtp/Other.pin"));
    EXPECT_TRUE(bridge.waitForLogLine("{\"line\": \"QUIT\"}", std::chrono::seconds(5)));
}

struct KeptCase {
    const char* name;
    std::string olderCopy; // empty: none
};

class MailSetupFailedSend : public MailSetup, public ::testing::WithParamInterface<KeptCase> { };

// A refused send leaves the window open with everything typed, and the sent folder as it was; the same window then
// sends once the password is put right.
TEST_P(MailSetupFailedSend, KeepsTheWindowAndTheSentFolder)
{
    const std::string maildir = folder + "maildir/";
    fs::create_directories(maildir);
    PeerProcess server(QB_SMTP_PEER, smtpPeerArguments(maildir));
    ASSERT_TRUE(server.started());
    writeFile(folder + "smtp/Home.smtp",
              "Ann\r\nann@example.com\r\nlocalhost\r\nann\r\nwrong\r\n" + std::to_string(server.port()) + "\r\n");
    if (!GetParam().olderCopy.empty())
        writeFile(folder + "sent/Bikes.html", GetParam().olderCopy);
    startShell();
    shell::mainBrowser->replaceDocument("<html><body><h2>Bikes</h2></body></html>");
    ASSERT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
    const std::string page = shell::mainBrowser->documentSource();
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        auto* recipients = child<QLineEdit>(w, "recipientField");
        auto* message = child<QPlainTextEdit>(w, "messageField");
        recipients->setText("bob@example.com");
        message->setPlainText("Look.");
        child<QLineEdit>(w, "subjectField")->setText("Bikes");
        child<QAbstractButton>(w, "sendButton")->click();
        EXPECT_EQ(QApplication::activeModalWidget(), w) << "the window stays open";
        EXPECT_EQ(recipients->text(), "bob@example.com");
        EXPECT_EQ(message->toPlainText(), "Look.");
        EXPECT_EQ(child<QLineEdit>(w, "subjectField")->text(), "Bikes");
        if (GetParam().olderCopy.empty())
            EXPECT_FALSE(fs::exists(folder + "sent/Bikes.html"));
        else
            EXPECT_EQ(readFile(folder + "sent/Bikes.html"), GetParam().olderCopy);
        child<QLineEdit>(w, "passwordField")->setText("secret");
        child<QAbstractButton>(w, "sendButton")->click();
        EXPECT_NE(QApplication::activeModalWidget(), w) << "a mail that went out closes the window";
    }));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("An SMTP Error Has Occured -992\nPassword Failed: 535 ", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[1].text, "Mail Sent OK");
    EXPECT_EQ(readFile(folder + "sent/Bikes.html"), page);
    EXPECT_TRUE(fs::exists(maildir + "message-1.json"));
    EXPECT_FALSE(fs::exists(maildir + "message-2.json"));
}

INSTANTIATE_TEST_SUITE_P(MailSetup, MailSetupFailedSend,
                         ::testing::Values(KeptCase{"noOlderCopy", ""}, KeptCase{"olderCopyComesBack", "older page"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BoxAnswer {
    const char* name;
    std::function<void(QMessageBox*)> answer;
    bool secondButton;
};

class SecondButton : public ShellTest, public ::testing::WithParamInterface<BoxAnswer> { };

// The real error box with "Trust This Certificate…": only that button says yes; OK and Escape say no.
TEST_P(SecondButton, AnswersOnlyWhenPressed)
{
    platform::setMessageBoxResponder({});
    int buttons = 0;
    QString text;
    whenWindowOpens("messageBox", [&](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        buttons = int(box->buttons().size());
        text = box->text();
        GetParam().answer(box);
    });
    EXPECT_EQ(platform::showMessageBoxWithButton("Quillobrand", "<b>refused</b>", platform::BoxIcon::Error,
                                                 "Trust This Certificate\u2026"),
              GetParam().secondButton);
    EXPECT_EQ(buttons, 2);
    EXPECT_EQ(text, "<b>refused</b>");
}

INSTANTIATE_TEST_SUITE_P(
    MailSetup, SecondButton,
    ::testing::Values(BoxAnswer{"second",
                                [](QMessageBox* box) {
                                    for (QAbstractButton* button : box->buttons())
                                        if (button->text() == QString::fromUtf8("Trust This Certificate\u2026"))
                                            button->click();
                                },
                                true},
                      BoxAnswer{"ok", [](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }, false},
                      BoxAnswer{"escape", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
