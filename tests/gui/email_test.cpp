// The e-mail window, from the main window's Email Options and Email To Friend buttons, sending through the real
// security library to a real SMTP server (aiosmtpd).

#include "mailwindowfixture.h"
#include "peerprocess.h"

#include "mail/securitylibrary.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Email : public MailWindowTest {
protected:
    void writeProfile(const std::string& name, const std::string& port = "465")
    {
        writeFile(folder + "smtp/" + name + ".smtp",
                  "Ann\r\nann@example.com\r\nlocalhost\r\nann\r\nsecret\r\n" + port + "\r\n");
    }
};

TEST_F(Email, ProfileSavedInSetupThenPageSentToTwoFriends)
{
    const std::string maildir = folder + "maildir/";
    fs::create_directories(maildir);
    PeerProcess server(QB_SMTP_PEER, smtpPeerArguments(maildir));
    ASSERT_TRUE(server.started());
    startShell();

    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Quillobrand - Email To Friend");
        EXPECT_EQ(child<QTabWidget>(w, "emailTabs")->currentIndex(), 1);
        EXPECT_EQ(child<QLabel>(w, "profileLabel")->text(), "Profile Name");
        child<QComboBox>(w, "profileBox")->setEditText("Home");
        child<QLineEdit>(w, "nameField")->setText("Ann-Marie O'Neil, Jr.");
        child<QLineEdit>(w, "emailField")->setText("ann@example.com");
        child<QLineEdit>(w, "serverField")->setText("localhost");
        child<QLineEdit>(w, "userField")->setText("ann");
        child<QLineEdit>(w, "passwordField")->setText("secret");
        child<QLineEdit>(w, "portField")->setText(QString::number(server.port()) + " tls");
        child<QAbstractButton>(w, "saveButton")->click(); // opened on the setup tab: the save ends the window
    }));
    const std::string profile = readFile(folder + "smtp/Home.smtp");
    EXPECT_EQ(profile,
              "Ann-Marie O'Neil, Jr.\r\nann@example.com\r\nlocalhost\r\nann\r\nsecret\r\n"
                  + std::to_string(server.port()) + " tls\r\n");
    struct stat info { };
    ASSERT_EQ(::stat((folder + "smtp/Home.smtp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Mail Options Saved");
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::None);

    shell::mainBrowser->replaceDocument(
        "<html><head><title>t</title></head><body><h2>Bikes</h2><p>ad</p></body></html>");
    ASSERT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
    const std::string page = shell::mainBrowser->documentSource();
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        EXPECT_EQ(child<QLabel>(w, "profileLabel")->text(), "Select Profile");
        EXPECT_EQ(child<QComboBox>(w, "profileBox")->currentText(), "Home");
        EXPECT_EQ(child<QLineEdit>(w, "nameDisplay")->text(), "Ann-Marie O'Neil, Jr.");
        EXPECT_EQ(child<QLineEdit>(w, "subjectField")->text(), "Bikes");
        child<QLineEdit>(w, "recipientField")->setText(" bob@example.com cy@example.org ");
        child<QPlainTextEdit>(w, "messageField")->setPlainText("Look.");
        child<QAbstractButton>(w, "sendButton")->click();
    }));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Mail Sent OK");
    EXPECT_EQ(boxes[1].icon, platform::BoxIcon::None) << "icons are for errors";
    EXPECT_EQ(readFile(folder + "sent/Bikes.html"), page);
    EXPECT_EQ(readFile(folder + "smtp/email.list"), "bob@example.com\r\ncy@example.org\r\n");
    EXPECT_TRUE(shell::attachmentList.empty());
    const std::string received = readFile(maildir + "message-1.json");
    EXPECT_NE(received.find("\"rcpt_tos\": [\"bob@example.com\", \"cy@example.org\"]"), std::string::npos) << received;
    EXPECT_NE(received.find("\"auth_user\": \"ann\""), std::string::npos);

    // An empty subject names the copy ".html"; the separators of a subject become "-", so the copy stays in the
    // sent folder and goes along.
    writeFile(folder + "Last Search.html", "results");
    for (const char* subject : {"", "no/such/folder", "../Last Search"}) {
        ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
            child<QLineEdit>(w, "subjectField")->setText(subject);
            child<QLineEdit>(w, "recipientField")->setText("bob@example.com");
            child<QAbstractButton>(w, "sendButton")->click();
        }));
    }
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[2].text, "Mail Sent OK");
    EXPECT_EQ(boxes[3].text, "Mail Sent OK");
    EXPECT_EQ(boxes[4].text, "Mail Sent OK");
    EXPECT_EQ(readFile(folder + "sent/.html"), page);
    EXPECT_EQ(readFile(folder + "sent/no-such-folder.html"), page);
    EXPECT_EQ(readFile(folder + "sent/..-Last Search.html"), page);
    EXPECT_EQ(readFile(folder + "Last Search.html"), "results");
    const QString lastSent = QString::fromStdString(readFile(maildir + "message-4.json"));
    const QByteArray data = QByteArray::fromBase64(
        QRegularExpression("\"data_base64\": \"([^\"]*)\"").match(lastSent).captured(1).toLatin1());
    EXPECT_TRUE(data.contains("Subject: ../Last Search")) << data.toStdString();
    EXPECT_TRUE(data.contains("filename=\"..-Last Search.html\"")) << data.toStdString();
    EXPECT_EQ(readFile(folder + "smtp/email.list"),
              "bob@example.com\r\ncy@example.org\r\nbob@example.com\r\nbob@"
              "example.com\r\nbob@example.com\r\n");

    // A heading broken over lines is proposed on one line.
    shell::mainBrowser->replaceDocument("<html><body><h2>Bikes\r\nand\tparts</h2></body></html>");
    ASSERT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        EXPECT_EQ(child<QLineEdit>(w, "subjectField")->text(), "Bikes and parts");
    }));
}

// The page always goes along: when its copy can't be written nothing is sent, and the window keeps what was typed.
TEST_F(Email, ACopyThatCantBeWrittenStopsTheSend)
{
    writeProfile("Home", "9"); // nothing listens there: a send that went ahead would say so
    startShell();
    fs::remove_all(folder + "sent");
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        child<QLineEdit>(w, "recipientField")->setText("bob@example.com");
        child<QPlainTextEdit>(w, "messageField")->setPlainText("Look.");
        child<QAbstractButton>(w, "sendButton")->click();
        EXPECT_EQ(QApplication::activeModalWidget(), w) << "the window stays open";
        EXPECT_EQ(child<QLineEdit>(w, "recipientField")->text(), "bob@example.com");
        EXPECT_EQ(child<QPlainTextEdit>(w, "messageField")->toPlainText(), "Look.");
    }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The page could not be saved for sending: No such file or directory");
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_FALSE(fs::exists(folder + "smtp/email.list")) << "nothing was sent, so nothing is remembered";
}

struct SubjectCase {
    const char* name;
    std::string page;
    std::string proposed; // UTF-8
};

class EmailSubject : public Email, public ::testing::WithParamInterface<SubjectCase> { };

// The title is read in the page's own character set, on one line, without blanks around it.
TEST_P(EmailSubject, IsProposedFromThePage)
{
    startShell();
    shell::mainBrowser->replaceDocument(GetParam().page);
    ASSERT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        EXPECT_EQ(child<QLineEdit>(w, "subjectField")->text().toStdString(), GetParam().proposed);
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, EmailSubject,
    ::testing::Values(
        SubjectCase{"windows1252Declared",
                    "<html><head><meta charset=\"windows-1252\"></head><body><h2>Caf\xE9 cr\xE8me</h2></body></html>",
                    "Caf\xC3\xA9 cr\xC3\xA8me"},
        SubjectCase{"undeclaredNotUtf8", "<html><body><h2>Caf\xE9</h2></body></html>", "Caf\xC3\xA9"},
        SubjectCase{"utf8", "<html><body><h2>Caf\xC3\xA9 \xE2\x82\xAC 5</h2></body></html>",
                    "Caf\xC3\xA9 \xE2\x82\xAC 5"},
        SubjectCase{"headingOverLines", "<html><body><h2>\r\n    Bikes\r\n    and\tparts  \r\n</h2></body></html>",
                    "Bikes and parts"},
        SubjectCase{"cityLinkWithoutItsMarkup",
                    "<html><body><h2><a href=\"http://boston.localhost:46673\">BOSTON</a></h2></body></html>",
                    "BOSTON"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SentNameCase {
    const char* name;
    std::string subject;
    std::string fileName; // of the copy and of the attachment
};

class EmailSentName : public Email, public ::testing::WithParamInterface<SentNameCase> { };

TEST_P(EmailSentName, CopyAndAttachmentCarryIt)
{
    const TestCertificates& certificates = TestCertificates::shared();
    ScriptedTlsPeer peer(tlsscript::scriptOf(tlsscript::acceptingSmtpScript(1)), certificates.serverCert(),
                         certificates.serverKey());
    ASSERT_TRUE(peer.started());
    writeProfile("Home", std::to_string(peer.port()));
    startShell();
    shell::mainBrowser->replaceDocument("<html><body><h2>Cars</h2></body></html>");
    ASSERT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
    const std::string page = shell::mainBrowser->documentSource();
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        child<QLineEdit>(w, "subjectField")->setText(QString::fromStdString(GetParam().subject));
        child<QLineEdit>(w, "recipientField")->setText("bob@example.com");
        child<QAbstractButton>(w, "sendButton")->click();
    }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Mail Sent OK");
    EXPECT_EQ(readFile(folder + "sent/" + GetParam().fileName), page);
    // The attachment's name as a recipient's mail program reads it.
    const std::string command
        = "/usr/bin/python3 -c 'import email, email.policy, sys\n"
          "m = email.message_from_binary_file(open(sys.argv[1], \"rb\"), policy=email.policy.default)\n"
          "names = [p.get_filename() for p in m.walk() if p.get_filename()]\n"
          "sys.stdout.buffer.write(names[0].encode() if names else b\"(none)\")' '"
        + peer.dataFolder() + "message-1.eml'";
    std::string name;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            name.append(buffer, n);
        ::pclose(pipe);
    }
    EXPECT_EQ(name, GetParam().fileName);
}

INSTANTIATE_TEST_SUITE_P(Subjects, EmailSentName,
                         ::testing::Values(SentNameCase{"slashes", "w/ A/C, 4/5 doors", "w- A-C, 4-5 doors.html"},
                                           SentNameCase{"threeHundredBytes", std::string(300, 'x'),
                                                        std::string(238, 'x') + ".html"},
                                           SentNameCase{"readsLikeAnEncodedWord", "=?utf-8?q?Caf=C3=A9?= for sale",
                                                        "=?utf-8?q?Caf=C3=A9?= for sale.html"},
                                           SentNameCase{"backslash", "A\\C cold", "A\\C cold.html"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Email, AProfileNameTheFileSystemRefusesSavesNothing)
{
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        child<QComboBox>(w, "profileBox")->setEditText("../outside");
        child<QLineEdit>(w, "nameField")->setText("Ann");
        child<QAbstractButton>(w, "saveButton")->click();
    }));
    EXPECT_FALSE(fs::exists(folder + "outside.smtp"));
    EXPECT_TRUE(fs::is_empty(folder + "smtp"));
    EXPECT_TRUE(boxes.empty()) << "a failed save says nothing";
}

TEST_F(Email, MissingLibraryGivesAMessageAndNoWindow)
{
    mail::releaseSecurityLibrary();
    mail::loadSecurityLibrary(folder + "cryptlib32.so");
    startShell();
    EXPECT_FALSE(withWindow(shell::toolbar.emailToFriend, [](QWidget*) {}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand");
    EXPECT_EQ(boxes[0].text, "E-mail is not available: the security library could not be loaded.");
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_EQ(endCalls, 0);
}

TEST_F(Email, DefaultProfileRules)
{
    writeProfile("Home");
    writeProfile("Work");
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 7, 0));
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        auto* box = child<QComboBox>(w, "profileBox");
        auto* isDefault = child<QCheckBox>(w, "defaultBox");
        EXPECT_EQ(box->currentIndex(), -1); // 7 is beyond the list
        EXPECT_TRUE(isDefault->isChecked());
        EXPECT_EQ(child<QLineEdit>(w, "nameField")->text(), "");
        isDefault->click(); // unticked: the first profile
        child<QAbstractButton>(w, "newProfileButton")->click();
        isDefault->click(); // ticked with nothing selected
        w->close();
    }));
    EXPECT_EQ(shell::programConfig.defaultProfile, -1);
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        auto* box = child<QComboBox>(w, "profileBox");
        box->setCurrentIndex(1);
        emit box->activated(1);
        EXPECT_EQ(child<QLineEdit>(w, "serverField")->text(), "localhost");
        EXPECT_FALSE(child<QCheckBox>(w, "defaultBox")->isChecked());
        child<QCheckBox>(w, "defaultBox")->click();
        child<QAbstractButton>(w, "setupExitButton")->click();
    }));
    EXPECT_EQ(shell::programConfig.defaultProfile, 1);
}

// The profile box keeps exactly what is typed: a new profile whose name begins like an existing one's is saved
// under its own name, and nothing but a pick from the list loads a profile over the typed fields.
TEST_F(Email, ProfileBoxKeepsWhatIsTyped)
{
    writeProfile("Gmail work");
    const std::string gmailWork = readFile(folder + "smtp/Gmail work.smtp");
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        EXPECT_EQ(w->focusWidget(), child(w, "recipientField")) << "the user types the recipients first";
    }));
    ASSERT_TRUE(withWindow(shell::toolbar.emailOptions, [&](QWidget* w) {
        EXPECT_EQ(w->focusWidget(), child(w, "profileBox"));
        auto* box = child<QComboBox>(w, "profileBox");
        auto* server = child<QLineEdit>(w, "serverField");
        ASSERT_EQ(box->currentIndex(), 0);
        server->setText("edited");
        emit box->activated(0); // the entry already chosen, picked again
        EXPECT_EQ(server->text(), "edited");

        child<QAbstractButton>(w, "newProfileButton")->click();
        QTest::keyClicks(box->lineEdit(), "Gmail");
        server->setText("smtp.gmail.example");
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(box->currentText(), "Gmail");
        EXPECT_EQ(server->text(), "smtp.gmail.example");
        child<QAbstractButton>(w, "saveButton")->click();
    }));
    EXPECT_EQ(readFile(folder + "smtp/Gmail work.smtp"), gmailWork);
    EXPECT_EQ(readFile(folder + "smtp/Gmail.smtp"), "\r\n\r\nsmtp.gmail.example\r\n\r\n\r\n\r\n");
}

TEST_F(Email, AddressBookAddDeleteCopyAndEmptyRecipients)
{
    writeFile(folder + "smtp/email.list", "old@example.com\r\n");
    answers = {true};
    writeFile(folder + "Quillobrand.cfg", configBytes(1, 0, 0));
    startShell();
    ASSERT_TRUE(withWindow(shell::toolbar.emailToFriend, [&](QWidget* w) {
        for (QWidget* control : w->findChildren<QWidget*>())
            EXPECT_TRUE(control->toolTip().isEmpty()) << control->objectName().toStdString();
        auto* list = child<QListWidget>(w, "addressList");
        whenWindowOpens("addEmailsDialog", [&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Add Emails");
            child<QLineEdit>(dialog, "inputField")->setText(" a  b ");
            child<QAbstractButton>(dialog, "okButton")->click();
        });
        child<QAbstractButton>(w, "addButton")->click();
        EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"old@example.com", "a", "", "b"}));
        EXPECT_EQ(readFile(folder + "smtp/email.list"), "old@example.com\r\na\r\n\r\nb\r\n");
        auto* recipients = child<QLineEdit>(w, "recipientField");
        recipients->setText("x@y");
        list->item(1)->setSelected(true);
        list->item(3)->setSelected(true);
        child<QAbstractButton>(w, "copyButton")->click();
        EXPECT_EQ(recipients->text(), "x@y a b ");
        for (int row = 0; row < list->count(); ++row)
            list->item(row)->setSelected(true);
        child<QAbstractButton>(w, "deleteButton")->click();
        EXPECT_EQ(list->count(), 0);
        EXPECT_EQ(readFile(folder + "smtp/email.list"), "");
        recipients->setText("   ");
        child<QAbstractButton>(w, "sendButton")->click(); // nothing to send to: nothing happens
        EXPECT_EQ(QApplication::activeModalWidget(), w);
    }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Delete Emails");
    EXPECT_EQ(boxes[0].text, "Delete Selected Emails?");
}

} // namespace
