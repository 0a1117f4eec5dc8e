// The saved-page windows and the about window, opened from the main window.

#include "shellfixture.h"

#include "platform/desktop.h"
#include "platform/settings.h"
#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Pages : public ShellTest {
protected:
    // Shows html in the main browser and returns the source as the browser gives it back.
    std::string show(const std::string& html)
    {
        shell::mainBrowser->replaceDocument(html);
        EXPECT_TRUE(shell::mainBrowser->waitForLoadFinished(15000));
        return shell::mainBrowser->documentSource();
    }
    void savePage(std::function<void(QWidget*)> act)
    {
        bool acted = false;
        whenWindowOpens("savePageDialog", [&](QWidget* w) {
            acted = true;
            act(w);
        });
        shell::toolbar.saveThisPage->click();
        EXPECT_TRUE(acted);
    }
    void savedPages(std::function<void(QWidget*)> act)
    {
        bool acted = false;
        whenWindowOpens("savedPagesDialog", [&](QWidget* w) {
            acted = true;
            act(w);
        });
        shell::toolbar.savedPages->click();
        EXPECT_TRUE(acted);
    }
};

TEST_F(Pages, SaveWritesTheSourceUnderTheProposedOrTypedName)
{
    startShell();
    const std::string source = show("<html><head><title>x</title></head><body><h2>Cars: 2 / 3 &amp; more?</h2>"
                                    "<p>caf\xC3\xA9</p></body></html>");
    ASSERT_FALSE(source.empty());
    std::string proposed;
    savePage([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Save This Page");
        EXPECT_EQ(w->size(), QSize(520, 90));
        EXPECT_EQ(child<QLabel>(w, "saveAsCaption")->text(), "Save As");
        EXPECT_EQ(w->focusWidget(), child(w, "nameField"));
        proposed = child<QLineEdit>(w, "nameField")->text().toStdString();
        child<QAbstractButton>(w, "saveButton")->click();
    });
    EXPECT_EQ(proposed, shell::getPageTitle());
    EXPECT_FALSE(proposed.empty());
    EXPECT_EQ(readFile(folder + "savedpages/" + proposed + ".html"), source);

    // Saving over a name replaces the file without a question.
    const std::string second = show("<html><body>second</body></html>");
    savePage([&](QWidget* w) {
        child<QLineEdit>(w, "nameField")->setText(QString::fromStdString(proposed));
        child<QAbstractButton>(w, "saveButton")->click();
    });
    EXPECT_EQ(readFile(folder + "savedpages/" + proposed + ".html"), second);
    EXPECT_TRUE(boxes.empty());

    savePage([&](QWidget* w) {
        child<QLineEdit>(w, "nameField")->setText("");
        child<QAbstractButton>(w, "saveButton")->click();
    });
    EXPECT_EQ(readFile(folder + "savedpages/.html"), second);
    savePage([&](QWidget* w) {
        child<QLineEdit>(w, "nameField")->setText("not saved");
        w->close();
    });
    EXPECT_FALSE(fs::exists(folder + "savedpages/not saved.html"));
    EXPECT_TRUE(shell::mainWindow->isEnabled());
}

// A results page's heading is its first city's link: the name proposed is the city, not the link's markup, and
// the blanks come as the heading has them.
TEST_F(Pages, TheProposedNameHasNoMarkup)
{
    startShell();
    show("<html><body><h2><a href=\"http://boston.localhost:46673\">BOSTON</a>  <i>ads</i></h2></body></html>");
    std::string proposed;
    savePage([&](QWidget* w) {
        proposed = child<QLineEdit>(w, "nameField")->text().toStdString();
        w->close();
    });
    EXPECT_EQ(proposed, "BOSTON ads");
}

TEST_F(Pages, ANameTheFileSystemRefusesSavesNothingAndATitleIsProposedOnOneLine)
{
    writeFile(folder + "Last Search.html", "results");
    startShell();
    show("<html><body><h2>Bikes\r\nand\tparts</h2></body></html>");
    std::string proposed;
    savePage([&](QWidget* w) {
        proposed = child<QLineEdit>(w, "nameField")->text().toStdString();
        w->close();
    });
    EXPECT_EQ(proposed, "Bikes and parts");
    for (const char* name : {"../Last Search", "a/b", "tab\there"}) {
        savePage([&](QWidget* w) {
            child<QLineEdit>(w, "nameField")->setText(name);
            child<QAbstractButton>(w, "saveButton")->click();
        });
    }
    EXPECT_EQ(readFile(folder + "Last Search.html"), "results");
    EXPECT_TRUE(fs::is_empty(folder + "savedpages"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Pages, LoadShowsThePageWithoutScriptLinesAndEndsTheWindow)
{
    writeFile(
        folder + "savedpages/ads.html",
        "<html><body><p id=\"a\"\r\nclass=\"b\">kept</p>\r\n<script src=\"/js/x.js\"></script>\r\n</body></html>");
    startShell();
    savedPages([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Load/Delete Saved Page");
        auto* list = child<QListWidget>(w, "pageList");
        ASSERT_EQ(itemsOf(list), std::vector<std::string>{"ads"});
        list->setCurrentRow(0);
        child<QAbstractButton>(w, "loadButton")->click();
    });
    ASSERT_TRUE(
        processEventsUntil([] { return shell::mainBrowser->documentSource().find("kept") != std::string::npos; }));
    const std::string source = shell::mainBrowser->documentSource();
    EXPECT_NE(source.find("<p id=\"a\" class=\"b\">kept</p>"), std::string::npos) << source;
    EXPECT_EQ(source.find("/js/"), std::string::npos);
    EXPECT_TRUE(shell::mainWindow->isEnabled());
}

TEST_F(Pages, DeleteKeepsTheWindowAndItsName)
{
    writeFile(folder + "savedpages/.html", "empty name");
    writeFile(folder + "savedpages/one.html", "1");
    writeFile(folder + "savedpages/two.html", "2");
    answers = {true, true, true, true, false};
    startShell();
    savedPages([&](QWidget* w) {
        auto* list = child<QListWidget>(w, "pageList");
        auto* remove = child<QAbstractButton>(w, "deleteButton");
        EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"", "one", "two"}));
        remove->click(); // nothing chosen: the empty name, which is ".html"
        EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"one", "two"}));
        // The focus arriving makes the first row current without choosing it: still no name.
        QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(list, &focusIn);
        EXPECT_EQ(list->currentRow(), 0);
        remove->click();
        EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"one", "two"}));
        list->setCurrentRow(1);
        remove->click();
        remove->click(); // the same name again; the file is gone already
        EXPECT_EQ(itemsOf(list), std::vector<std::string>{"one"});
        QTest::keyClick(list, Qt::Key_Home); // chosen with the keyboard
        remove->click(); // answered No
        EXPECT_EQ(QApplication::activeModalWidget(), w);
        child<QAbstractButton>(w, "loadButton")->click(); // "one" is still there
    });
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].caption, "Delete This Page?");
    EXPECT_EQ(boxes[0].text, "");
    EXPECT_EQ(boxes[1].text, "");
    EXPECT_EQ(boxes[2].text, "two");
    EXPECT_EQ(boxes[3].text, "two");
    EXPECT_EQ(boxes[4].text, "one");
    EXPECT_TRUE(fs::exists(folder + "savedpages/one.html"));
    EXPECT_FALSE(fs::exists(folder + "savedpages/two.html"));
}

class About : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        platform::setUrlOpener([this](const std::string& url) { opened.push_back(url); });
    }
    void TearDown() override
    {
        platform::setUrlOpener({});
        ShellTest::TearDown();
    }
    void withAbout(std::function<void(QWidget*)> act)
    {
        startShell();
        EXPECT_TRUE(withModalWindow("aboutWindow", [] { shell::dispatchCommand(shell::aboutCommand); }, act));
    }
    std::vector<std::string> opened;
};

TEST_F(About, InviteTipsAndMakersSite)
{
    for (const char* image : {"logo.bmp", "bitcoin.bmp", "paypal.bmp"})
        fs::copy_file(std::string(QB_STAGE_DIR) + "about/" + image, folder + "about/" + image);
    writeFile(
        folder + "settings.ini",
        readFile(folder + "settings.ini")
            + "inviteUrl=https://invite.localhost\r\nmakerSiteUrl=https://maker.localhost/\r\n"
              "paymentSiteUrl=https://pay.localhost/\r\ntipAddress=bc1qtest\r\nmakerSiteCaption=maker.localhost\r\n"
              "creditText=By the test\r\n");
    withAbout([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Quillobrand");
        EXPECT_EQ(w->size(), QSize(410, 360));
        EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
        auto* tabs = child<QTabWidget>(w, "documentTabs");
        ASSERT_EQ(tabs->count(), 4);
        EXPECT_EQ(tabs->tabText(3), "Licence");
        EXPECT_NE(child(w, "logo"), nullptr);
        EXPECT_EQ(child<QLabel>(w, "creditLine")->text(), "By the test");
        EXPECT_EQ(child<QAbstractButton>(w, "makerSiteButton")->text(), "maker.localhost");
        child<QLineEdit>(w, "yourNameField")->setText("Ann Lee");
        child<QLineEdit>(w, "friendNameField")->setText("Bob");
        child<QLineEdit>(w, "friendEmailField")->setText("b");
        child<QAbstractButton>(w, "sendButton")->click();
        EXPECT_EQ(child<QLineEdit>(w, "yourNameField")->text(), "Ann Lee"); // the fields keep their texts
        child<QAbstractButton>(w, "coinTipButton")->click();
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "bc1qtest");
        child<QAbstractButton>(w, "paymentTipButton")->click();
        child<QAbstractButton>(w, "makerSiteButton")->click();
        EXPECT_EQ(QApplication::activeModalWidget(), w);
        for (QWidget* control : w->findChildren<QWidget*>())
            EXPECT_TRUE(control->toolTip().isEmpty());
        child<QAbstractButton>(w, "exitButton")->click();
    });
    EXPECT_EQ(opened,
              (std::vector<std::string>{
                  "https://invite.localhost/cgi/invite/invite.cgi?fromname=Ann%20Lee&toname=Bob&toemail=b"
                  "&version=Quillobrand",
                  "https://pay.localhost/", "https://maker.localhost/"}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Tip Using Bitcoin");
    EXPECT_EQ(boxes[0].text, "Address has been copied to your clipboard");
}

TEST_F(About, MissingPicturesLeaveTheirControlsOutAndACloseRequestEndsIt)
{
    withAbout([&](QWidget* w) {
        EXPECT_EQ(w->findChild<QWidget*>("logo"), nullptr);
        EXPECT_EQ(w->findChild<QWidget*>("coinTipButton"), nullptr);
        EXPECT_EQ(w->findChild<QWidget*>("paymentTipButton"), nullptr);
        w->close();
        EXPECT_NE(QApplication::activeModalWidget(), w);
    });
}

} // namespace
