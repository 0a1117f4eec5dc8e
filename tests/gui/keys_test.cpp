// Keys that no window lists do nothing: Escape closes no window, Enter presses no button, and a Yes/No question is
// answered only by its buttons.

#include "shellfixture.h"

#include "mail/securitylibrary.h"
#include "platform/trayicon.h"
#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace {

struct WindowCase {
    const char* name;
    const char* window; // object name of the window the action opens
    std::function<void()> open;
};

// Opens the search builder and presses the button of it that opens a dialog.
std::function<void()> fromBuilder(const char* button)
{
    return [button] {
        whenWindowOpens("searchBuilder", [button](QWidget* builder) {
            builder->findChild<QAbstractButton*>(button)->click();
            builder->close();
        });
        shell::toolbar.searchBuilder->click();
    };
}

class WindowKeys : public ShellTest, public ::testing::WithParamInterface<WindowCase> {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        mail::loadSecurityLibrary(QB_CRYPTLIB); // for the e-mail window
    }
    void TearDown() override
    {
        ShellTest::TearDown();
        mail::releaseSecurityLibrary();
    }
};

// Enter presses no button (no window has a default one) and Escape closes nothing; both keys go where the user
// types first.
TEST_P(WindowKeys, EnterAndEscapeDoNothing)
{
    startShell();
    bool opened = false;
    bool stayed = false;
    std::vector<std::string> defaultButtons;
    whenWindowOpens(GetParam().window, [&](QWidget* w) {
        opened = true;
        QWidget* target = w->focusWidget() ? w->focusWidget() : w;
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Escape);
        stayed = QApplication::activeModalWidget() == w;
        for (const QPushButton* button : w->findChildren<QPushButton*>())
            if (button->isDefault())
                defaultButtons.push_back(button->objectName().toStdString());
        w->close();
    });
    GetParam().open();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(defaultButtons, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowKeys,
    ::testing::Values(WindowCase{"Options", "optionsDialog", [] { shell::toolbar.programOptions->click(); }},
                      WindowCase{"Builder", "searchBuilder", [] { shell::toolbar.searchBuilder->click(); }},
                      WindowCase{"SaveSearch", "saveSearchDialog", fromBuilder("searchSaveButton")},
                      WindowCase{"SavedSearches", "savedSearchesDialog", fromBuilder("savedSearchesButton")},
                      WindowCase{"NewArea", "newAreaDialog", fromBuilder("newAreaButton")},
                      WindowCase{"SavePage", "savePageDialog", [] { shell::toolbar.saveThisPage->click(); }},
                      WindowCase{"SavedPages", "savedPagesDialog", [] { shell::toolbar.savedPages->click(); }},
                      WindowCase{"Email", "emailWindow", [] { shell::toolbar.emailToFriend->click(); }},
                      WindowCase{"About", "aboutWindow", [] { shell::dispatchCommand(shell::aboutCommand); }}),
    [](const auto& info) { return std::string(info.param.name); });

// On the tray question neither Escape nor a close request may answer for the user: either used to end the program.
TEST_F(ShellTest, TheTrayQuestionIsAnsweredOnlyByItsButtons)
{
    platform::setTrayAvailableOverride(true);
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 2));
    startShell();
    platform::setMessageBoxResponder({}); // the real box
    bool stayed = false;
    bool closeBox = true;
    whenWindowOpens("questionBox", [&](QWidget* box) {
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape);
        box->close();
        stayed = QApplication::activeModalWidget() == box;
        closeBox = box->windowFlags().testFlag(Qt::WindowCloseButtonHint);
        static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
    });
    shell::requestClose();
    EXPECT_TRUE(stayed);
    EXPECT_FALSE(closeBox);
    EXPECT_TRUE(shell::trayIcon) << "Yes sends the program to the tray";
    EXPECT_EQ(endCalls, 0);
}

} // namespace
