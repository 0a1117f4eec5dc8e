// The reply window, opened with the main window's "Reply To Ad" on an ad page shown in the main browser.

#include "shellfixture.h"

#include "mail/replywindow.h"
#include "mail/securitylibrary.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include "tlspeer.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string textOf(QWidget* window, const char* name)
{
    auto* field = child<QLineEdit>(window, name);
    return field ? field->text().toStdString() : "(missing)";
}

const char* const adPage = "<html><body><h2>Bike for sale</h2>"
                           "<a href=\"mailto:abc@example.com?subject=Re\">reply</a></body></html>";

class Reply : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        mail::loadSecurityLibrary(QB_CRYPTLIB);
        ASSERT_TRUE(mail::securityLibrary().complete()) << QB_CRYPTLIB;
    }
    void TearDown() override
    {
        if (mail::securityLibrary().complete())
            mail::securityLibrary().end();
        ShellTest::TearDown();
        mail::releaseSecurityLibrary();
    }
    void show(const std::string& html)
    {
        shell::mainBrowser->replaceDocument(html);
        ASSERT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
    }
    // Presses "Reply To Ad"; act runs on the reply window if it opens, which is closed afterwards if act left it
    // open. True when the window opened.
    bool reply(const std::function<void(QWidget*)>& act = {})
    {
        bool opened = false;
        QTimer poll; // local, so a window that never opens leaves nothing behind
        QElapsedTimer elapsed;
        elapsed.start();
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == "replyWindow") {
                poll.stop();
                opened = true;
                if (act)
                    act(modal);
                if (QApplication::activeModalWidget() == modal)
                    modal->close();
            } else if (modal && elapsed.elapsed() > 20000) {
                ADD_FAILURE() << "another window stayed open: " << modal->objectName().toStdString();
                poll.stop();
                modal->close();
            }
        });
        poll.start(10);
        shell::toolbar.replyToAd->click();
        EXPECT_TRUE(shell::mainWindow->isEnabled());
        return opened;
    }
};

struct AddressCase {
    const char* name;
    std::string page;
    std::string address; // empty: no window
};

class ReplyAddress : public Reply, public ::testing::WithParamInterface<AddressCase> { };

TEST_P(ReplyAddress, OpensOnlyForAnAddressBetweenMailtoAndSubject)
{
    const AddressCase& c = GetParam();
    startShell();
    show("<html><body><h2>Ad</h2>" + c.page + "</body></html>");
    std::string shown;
    const bool opened = reply([&](QWidget* w) { shown = textOf(w, "toDisplay"); });
    EXPECT_EQ(opened, !c.address.empty());
    EXPECT_EQ(shown, c.address);
    // A page without an ad's mail link is said so in an OK box rather than nothing happening.
    if (c.address.empty()) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, mail::noReplyAddressText);
        EXPECT_FALSE(boxes[0].yesNo);
    } else {
        EXPECT_TRUE(boxes.empty());
    }
    EXPECT_EQ(endCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Reply, ReplyAddress,
    ::testing::Values(AddressCase{"Link", "<a href=\"mailto:abc@example.com?subject=Re\">reply</a>", "abc@example.com"},
                      AddressCase{"BareName", "<p>mailto:abc?subject=Re</p>", "abc"},
                      AddressCase{"PercentEscapesKept", "<p>mailto:a%40b%20c@example.com?subject=Re%20x</p>",
                                  "a%40b%20c@example.com"},
                      AddressCase{"NoMailto", "<p>write to abc@example.com?subject=Re</p>", ""},
                      AddressCase{"NoSubject", "<a href=\"mailto:abc@example.com\">reply</a>", ""},
                      AddressCase{"SubjectFirst",
                                  "<p>?subject=x</p><a href=\"mailto:abc@example.com?subject=Re\">r</a>", ""},
                      AddressCase{"TagInAddress", "<p>mailto:ab<b>c</b>?subject=Re</p>", ""},
                      AddressCase{"LineBreakInAddress", "<p>mailto:abc\n@example.com?subject=Re</p>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Reply, WindowShowsTheAdAndReadsTheChosenProfile)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 1, 0));
    writeFile(folder + "smtp/ann.smtp", "Ann\r\nann@example.com\r\nsmtp.localhost\r\nann\r\npw\r\n25\r\n");
    writeFile(folder + "smtp/bob.smtp", "Bob\nbob@example.com\nsmtp.localhost\nbob\npw\n25\n");
    startShell();
    show(adPage);
    ASSERT_TRUE(reply([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Quillobrand - Reply To Ad");
        EXPECT_EQ(w->size(), QSize(405, 250));
        EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "fixed size";
        EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
        const std::tuple<const char*, QRect, QString> controls[] = {
            {"fromCaption", {10, 10, 30, 20}, "From:"},
            {"fromDisplay", {40, 10, 200, 20}, ""},
            {"toCaption", {10, 35, 30, 20}, "To:"},
            {"toDisplay", {40, 35, 200, 20}, ""},
            {"subjectCaption", {10, 60, 50, 20}, "Subject:"},
            {"subjectField", {10, 75, 385, 20}, ""},
            {"profileLabel", {285, 5, 70, 20}, "Select Profile"},
            {"profileBox", {250, 25, 145, 20}, ""},
            {"messageField", {10, 100, 385, 105}, ""},
            {"sendButton", {160, 220, 40, 20}, "Send"},
            {"exitButton", {205, 220, 40, 20}, "Exit"},
        };
        for (const auto& [name, geometry, caption] : controls) {
            QWidget* control = child(w, name);
            if (!control)
                continue;
            EXPECT_EQ(control->geometry(), geometry) << name;
            if (auto* label = qobject_cast<QLabel*>(control)) {
                EXPECT_EQ(label->text(), caption) << name;
            }
            if (auto* button = qobject_cast<QPushButton*>(control)) {
                EXPECT_EQ(button->text(), caption) << name;
            }
        }
        EXPECT_TRUE(child<QLineEdit>(w, "fromDisplay")->isReadOnly());
        EXPECT_TRUE(child<QLineEdit>(w, "toDisplay")->isReadOnly());
        EXPECT_FALSE(child<QLineEdit>(w, "subjectField")->isReadOnly());
        EXPECT_EQ(textOf(w, "toDisplay"), "abc@example.com");
        EXPECT_EQ(textOf(w, "subjectField"), "Bike for sale");

        auto* profiles = child<QComboBox>(w, "profileBox");
        ASSERT_EQ(profiles->count(), 2);
        EXPECT_EQ(profiles->itemText(0), "ann");
        EXPECT_EQ(profiles->itemText(1), "bob");
        EXPECT_FALSE(profiles->isEditable());
        EXPECT_EQ(profiles->currentIndex(), 1);
        EXPECT_EQ(textOf(w, "fromDisplay"), "bob@example.com");
        profiles->setCurrentIndex(0);
        EXPECT_EQ(textOf(w, "fromDisplay"), "ann@example.com");
        // A profile whose file has gone leaves the last values in place.
        fs::remove(folder + "smtp/bob.smtp");
        profiles->setCurrentIndex(1);
        EXPECT_EQ(textOf(w, "fromDisplay"), "ann@example.com");
        child<QPushButton>(w, "exitButton")->click();
        EXPECT_NE(QApplication::activeModalWidget(), w);
    }));
    EXPECT_EQ(shell::programConfig.defaultProfile, 1);
    EXPECT_TRUE(boxes.empty());
}

// A default beyond the list names no profile: as in the e-mail window, that is the file ".smtp", read if it is
// there. The message is where the user types first.
TEST_F(Reply, DefaultOutsideTheListSelectsNothingAndReadsTheNamelessProfile)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 5, 0));
    writeFile(folder + "smtp/ann.smtp", "Ann\r\nann@example.com\r\n");
    startShell();
    show(adPage);
    ASSERT_TRUE(reply([&](QWidget* w) {
        EXPECT_EQ(child<QComboBox>(w, "profileBox")->currentIndex(), -1);
        EXPECT_EQ(textOf(w, "fromDisplay"), "");
        EXPECT_EQ(w->focusWidget(), child(w, "messageField"));
    }));
    writeFile(folder + "smtp/.smtp", "Nameless\r\nnameless@example.com\r\n");
    ASSERT_TRUE(reply([&](QWidget* w) {
        EXPECT_EQ(child<QComboBox>(w, "profileBox")->currentIndex(), -1);
        EXPECT_EQ(textOf(w, "fromDisplay"), "nameless@example.com");
    }));
    EXPECT_EQ(shell::programConfig.defaultProfile, 5);
}

struct TipCase {
    int expertMode;
    bool tips;
};

class ReplyToolTips : public Reply, public ::testing::WithParamInterface<TipCase> { };

TEST_P(ReplyToolTips, OnlyOutsideExpertMode)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(GetParam().expertMode, 0, 0));
    startShell();
    show(adPage);
    ASSERT_TRUE(reply([&](QWidget* w) {
        const std::pair<const char*, QString> tips[] = {
            {"profileBox", "Select an email profile to send from"},
            {"messageField", "Your message here"},
            {"sendButton", "Send reply email"},
        };
        for (const auto& [name, tip] : tips)
            EXPECT_EQ(child(w, name)->toolTip(), GetParam().tips ? tip : QString()) << name;
        for (QWidget* control : w->findChildren<QWidget*>()) {
            const std::string name = control->objectName().toStdString();
            if (name != "profileBox" && name != "messageField" && name != "sendButton") {
                EXPECT_TRUE(control->toolTip().isEmpty()) << name;
            }
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Reply, ReplyToolTips,
                         ::testing::Values(TipCase{0, true}, TipCase{1, false}, TipCase{-1, false}, TipCase{7, false}),
                         [](const auto& info) {
                             return "Expert" + std::string(info.param.expertMode < 0 ? "Minus" : "")
                                 + std::to_string(std::abs(info.param.expertMode));
                         });

TEST_F(Reply, NoAtTheConfirmationKeepsTheWindowAndTheMessage)
{
    answers = {false};
    startShell();
    show(adPage);
    ASSERT_TRUE(reply([&](QWidget* w) {
        auto* message = child<QPlainTextEdit>(w, "messageField");
        message->setPlainText("Is it still for sale?\nI can pick it up.");
        child<QPushButton>(w, "sendButton")->click();
        EXPECT_EQ(QApplication::activeModalWidget(), w);
        EXPECT_EQ(message->toPlainText(), "Is it still for sale?\nI can pick it up.");
        EXPECT_EQ(textOf(w, "toDisplay"), "abc@example.com");
        child<QPushButton>(w, "exitButton")->click();
    }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand Confirm Send");
    EXPECT_EQ(boxes[0].text, "Send this email?");
    EXPECT_TRUE(boxes[0].yesNo);
}

struct LibraryCase {
    const char* name;
    std::function<void()> spoil; // after the real library is loaded
    std::string text;
};

class ReplyWithoutLibrary : public Reply, public ::testing::WithParamInterface<LibraryCase> { };

TEST_P(ReplyWithoutLibrary, SaysSoAndOpensNoWindow)
{
    startShell();
    show(adPage);
    GetParam().spoil();
    EXPECT_FALSE(reply());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand");
    EXPECT_EQ(boxes[0].text, GetParam().text);
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_FALSE(boxes[0].yesNo);
    EXPECT_EQ(endCalls, 0);
    EXPECT_NE(shell::mainWindow, nullptr);
}

const std::string notLoaded = "E-mail is not available: the security library could not be loaded.";

INSTANTIATE_TEST_SUITE_P(
    Reply, ReplyWithoutLibrary,
    ::testing::Values(LibraryCase{"Missing", [] { mail::loadSecurityLibrary("/nonexistent/cryptlib32.so"); },
                                  notLoaded},
                      LibraryCase{"EntryPointMissing", [] { mail::securityLibrary().popData = nullptr; }, notLoaded},
                      LibraryCase{"InitFails", [] { mail::securityLibrary().init = [] { return -1; }; },
                                  "E-mail is not available: the security library could not be started."}),
    [](const auto& info) { return std::string(info.param.name); });

// One recipient; a refusal of the RCPT TO (rcptReply) ends the script there.
std::string smtpScript(const std::string& rcptReply)
{
    std::vector<std::string> actions = tlsscript::acceptingSmtpScript(1);
    const size_t rcptReplyAction = 2 * 6;
    actions[rcptReplyAction] = tlsscript::sendAction(rcptReply);
    if (rcptReply[0] != '2')
        actions.resize(rcptReplyAction + 1);
    return tlsscript::scriptOf(actions);
}

struct SendCase {
    const char* name;
    std::string rcptReply;
    bool profile; // false: no profile file at all
    std::string resultText; // the start of the second box's text
    platform::BoxIcon icon;
};

class ReplySend : public Reply, public ::testing::WithParamInterface<SendCase> {
protected:
    static void SetUpTestSuite() { ::setenv("SSL_CERT_FILE", TestCertificates::shared().caFile().c_str(), 1); }
};

TEST_P(ReplySend, SendsToTheAdAndReportsTheResult)
{
    const SendCase& c = GetParam();
    const TestCertificates& certificates = TestCertificates::shared();
    ASSERT_TRUE(certificates.made());
    ScriptedTlsPeer peer(smtpScript(c.rcptReply), certificates.serverCert(), certificates.serverKey());
    ASSERT_TRUE(peer.started());
    if (c.profile)
        writeFile(folder + "smtp/bob.smtp",
                  "Bob Smith\r\nbob@example.com\r\nlocalhost\r\nbob\r\nsecret\r\n " + std::to_string(peer.port())
                      + "\r\n");
    writeFile(folder + "settings.ini",
              readFile(folder + "settings.ini") + "softwarePageUrl=https://software.localhost/qb\r\n");
    answers = {true};
    startShell();
    show(adPage);
    ASSERT_TRUE(reply([&](QWidget* w) {
        child<QPlainTextEdit>(w, "messageField")->setPlainText("Is it still for sale?");
        child<QLineEdit>(w, "subjectField")->setText("Bike for sale?");
        child<QPushButton>(w, "sendButton")->click();
        if (c.icon == platform::BoxIcon::None) {
            EXPECT_NE(QApplication::activeModalWidget(), w) << "the window closes once the mail went out";
        } else {
            EXPECT_EQ(QApplication::activeModalWidget(), w) << "a failed send keeps the window and what was typed";
            EXPECT_EQ(child<QPlainTextEdit>(w, "messageField")->toPlainText(), "Is it still for sale?");
            EXPECT_EQ(textOf(w, "subjectField"), "Bike for sale?");
            EXPECT_EQ(textOf(w, "toDisplay"), "abc@example.com");
        }
    }));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand Confirm Send");
    EXPECT_EQ(boxes[1].caption, "Quillobrand");
    EXPECT_EQ(boxes[1].text.rfind(c.resultText, 0), 0u) << boxes[1].text;
    EXPECT_EQ(boxes[1].icon, c.icon);
    EXPECT_FALSE(boxes[1].yesNo);
    if (!c.profile)
        return;
    EXPECT_TRUE(peer.waitForLogLine("{\"line\": \"MAIL FROM: <bob@example.com>\"}", 5s));
    EXPECT_TRUE(peer.waitForLogLine("{\"line\": \"RCPT TO: <abc@example.com>\"}", 5s));
    if (c.rcptReply[0] != '2')
        return;
    const std::string sent = readFile(peer.dataFolder() + "message-1.eml");
    EXPECT_NE(sent.find("Subject: Bike for sale?\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("Is it still for sale?\r\n\r\n\r\nSent to you by Bob Smith, using the Quillobrand "
                        "SearchBuilder.\r\nGet your own FREE Quillobrand today!\r\nhttps://software.localhost/qb\r\n"),
              std::string::npos)
        << sent;
}

INSTANTIATE_TEST_SUITE_P(Reply, ReplySend,
                         ::testing::Values(SendCase{"Accepted", "250 ok\r\n", true, "Mail Sent OK",
                                                    platform::BoxIcon::None},
                                           SendCase{"RecipientRefused", "550 no such user\r\n", true,
                                                    "An SMTP Error Has Occured -990\nRCPT TO Failed: 550 no such user",
                                                    platform::BoxIcon::Error},
                                           SendCase{"RecipientRefusedForNow", "452 4.5.3 Too many recipients\r\n", true,
                                                    "An SMTP Error Has Occured -990\nRCPT TO Failed: 452 4.5.3 Too "
                                                    "many recipients (temporary: try again later)",
                                                    platform::BoxIcon::Error},
                                           SendCase{"NoProfile", "250 ok\r\n", false, "An SMTP Error Has Occured -",
                                                    platform::BoxIcon::Error}),
                         [](const auto& info) { return std::string(info.param.name); });

// A server that reads the message slowly and answers 7 s after the last byte: the mail is sent, and meanwhile the
// window repaints and its timers run under a busy cursor, while keys reach nothing.
TEST_F(Reply, WindowPaintsWhileTheServerTakesItsTime)
{
    ::setenv("SSL_CERT_FILE", TestCertificates::shared().caFile().c_str(), 1);
    const TestCertificates& certificates = TestCertificates::shared();
    std::vector<std::string> actions = tlsscript::acceptingSmtpScript(1);
    actions[2 * 8 - 1] = "{\"recv\": \"data\", \"rate\": 200000}";
    actions[2 * 8] = tlsscript::sendAction("250 queued\r\n", ", \"delay\": 7");
    ScriptedTlsPeer peer(tlsscript::scriptOf(actions), certificates.serverCert(), certificates.serverKey(), 1,
                         {"--rcvbuf", "65536"});
    ASSERT_TRUE(peer.started());
    writeFile(folder + "smtp/bob.smtp",
              "Bob\r\nbob@example.com\r\nlocalhost\r\nbob\r\nsecret\r\n" + std::to_string(peer.port()) + "\r\n");
    answers = {true};
    startShell();
    show(adPage);
    std::string message; // three seconds of the server's reading
    while (message.size() < 600'000)
        message += std::string(79, 'm') + "\n";
    int ticks = 0;
    int paints = 0;
    int busyTicks = 0;
    bool keysReached = false;
    ASSERT_TRUE(reply([&](QWidget* w) {
        auto* field = child<QPlainTextEdit>(w, "messageField");
        field->setPlainText(QString::fromStdString(message));
        const int characters = field->document()->characterCount();
        struct PaintCounter : QObject {
            int* count;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Paint)
                    ++*count;
                return false;
            }
        } counter;
        counter.count = &paints;
        w->installEventFilter(&counter);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            ++ticks;
            if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
                ++busyTicks;
            w->update();
            QTest::keyClick(field, Qt::Key_X);
            keysReached = keysReached || field->document()->characterCount() != characters;
        });
        tick.start(100);
        child<QPushButton>(w, "sendButton")->click();
        tick.stop();
        w->removeEventFilter(&counter);
    }));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Mail Sent OK");
    EXPECT_TRUE(peer.waitForLogLine("{\"line\": \"QUIT\"}", 5s));
    // Ten seconds of waiting at a tick each 100 ms; a frozen window would see none.
    EXPECT_GE(ticks, 40);
    EXPECT_GE(paints, 20);
    EXPECT_GE(busyTicks, ticks - 2);
    EXPECT_FALSE(keysReached);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
