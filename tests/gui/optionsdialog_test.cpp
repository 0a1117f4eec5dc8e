#include "shellfixture.h"
#include "testfolder.h"

#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/optionsdialog.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace shell;

namespace {

enum class Ending { Save, Exit, CloseBox };

struct OptionsCase {
    const char* name;
    int trayMode;
    int expertMode;
    int chooseTray; // -2: leave the choice alone
    bool toggleExpert;
    Ending ending;
    int expectedTrayMode;
    int expectedExpertMode;
};

class OptionsDialog : public ShellTest, public ::testing::WithParamInterface<OptionsCase> { };

TEST_P(OptionsDialog, ChangesTheSettingsOnlyOnSave)
{
    const OptionsCase& c = GetParam();
    writeFile(folder + "Quillobrand.cfg", configBytes(c.expertMode, 4, c.trayMode));
    startShell();

    int shownIndex = -99;
    bool shownChecked = false;
    whenModalOpens([&](QWidget* window) {
        auto* choice = window->findChild<QComboBox*>("trayChoice");
        auto* expert = window->findChild<QCheckBox*>("expertBox");
        shownIndex = choice->currentIndex();
        shownChecked = expert->isChecked();
        if (c.chooseTray != -2)
            choice->setCurrentIndex(c.chooseTray);
        if (c.toggleExpert)
            expert->click();
        if (c.ending == Ending::Save)
            window->findChild<QPushButton*>("saveButton")->click();
        else if (c.ending == Ending::Exit)
            window->findChild<QPushButton*>("exitButton")->click();
        else
            window->close();
    });
    toolbar.programOptions->click();

    EXPECT_EQ(shownIndex, c.trayMode >= 0 && c.trayMode <= 2 ? c.trayMode : -1);
    EXPECT_EQ(shownChecked, c.expertMode != 0);
    EXPECT_EQ(programConfig.trayMode, c.expectedTrayMode);
    EXPECT_EQ(programConfig.expertMode, c.expectedExpertMode);
    EXPECT_EQ(programConfig.defaultProfile, 4);
    // The tool tips follow at once, without a restart.
    EXPECT_EQ(toolbar.savedPages->toolTip(), c.expectedExpertMode == 0 ? "Load or delete a saved page" : "");
    EXPECT_TRUE(mainWindow->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Cases, OptionsDialog,
                         ::testing::Values(OptionsCase{"askKeptBySave", 2, 0, -2, false, Ending::Save, 2, 0},
                                           OptionsCase{"unknownModeSavedAsNone", 5, 0, -2, false, Ending::Save, -1, 0},
                                           OptionsCase{"neverChosen", 0, 0, 1, false, Ending::Save, 1, 0},
                                           OptionsCase{"closeBoxKeepsOldValues", 0, 0, 1, true, Ending::CloseBox, 0, 0},
                                           OptionsCase{"exitKeepsOldValues", 2, 0, 0, true, Ending::Exit, 2, 0},
                                           OptionsCase{"expertTickedHidesToolTips", 0, 0, -2, true, Ending::Save, 0, 1},
                                           OptionsCase{"expertClearedShowsToolTips", 1, 7, -2, true, Ending::Save, 1,
                                                       0},
                                           OptionsCase{"expertKeptIsStoredAsOne", 1, 7, -2, false, Ending::Save, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, OptionsWindowLayout)
{
    startShell();
    QString title;
    QSize size;
    QStringList items;
    std::vector<std::pair<QString, QRect>> geometry;
    Qt::WindowFlags flags;
    whenModalOpens([&](QWidget* window) {
        title = window->windowTitle();
        size = window->size();
        flags = window->windowFlags();
        for (const char* name : {"trayFrame", "trayQuestion", "trayChoice", "expertFrame", "expertNote", "expertBox",
                                 "saveButton", "exitButton"}) {
            auto* control = window->findChild<QWidget*>(name);
            geometry.emplace_back(name, control ? control->geometry() : QRect());
        }
        auto* choice = window->findChild<QComboBox*>("trayChoice");
        for (int i = 0; i < choice->count(); ++i)
            items << choice->itemText(i);
        EXPECT_EQ(window->findChild<QLabel*>("trayQuestion")->text(),
                  "Send Quillobrand to system tray on program exit?");
        EXPECT_EQ(window->findChild<QLabel*>("expertNote")->text(), "Check Expert Mode to turn off tool tips.");
        EXPECT_EQ(window->findChild<QCheckBox*>("expertBox")->text(), "Expert Mode");
        EXPECT_EQ(window->findChild<QFrame*>("trayFrame")->frameShadow(), QFrame::Raised);
        EXPECT_FALSE(mainWindow->isEnabled()) << "modal: the main window is disabled meanwhile";
        window->close();
    });
    toolbar.programOptions->click();
    EXPECT_EQ(title, "Quillobrand Options");
    EXPECT_EQ(size, QSize(385, 375));
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(items, QStringList({"Always", "Never", "Ask"}));
    const std::vector<std::pair<QString, QRect>> expected = {
        {"trayFrame", {10, 10, 365, 65}},   {"trayQuestion", {10, 10, 345, 20}}, {"trayChoice", {30, 30, 75, 20}},
        {"expertFrame", {10, 80, 365, 65}}, {"expertNote", {10, 10, 345, 20}},   {"expertBox", {30, 30, 100, 20}},
        {"saveButton", {150, 345, 40, 20}}, {"exitButton", {195, 345, 40, 20}},
    };
    EXPECT_EQ(geometry, expected);
}

TEST_F(ShellTest, NoneSelectedIsSavedAsMinusOneAndTheNextCloseAsksLater)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 5));
    startShell();
    whenModalOpens([](QWidget* window) { window->findChild<QPushButton*>("saveButton")->click(); });
    toolbar.programOptions->click();
    EXPECT_EQ(programConfig.trayMode, -1);
    requestClose();
    EXPECT_EQ(programConfig.trayMode, 2);
    EXPECT_TRUE(mainWindow->isVisible());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(endCalls, 0);
    // Saved as FF FF FF FF had the program ended right after the dialog.
    programConfig.trayMode = -1;
    exitProgram();
    EXPECT_EQ(readFile(folder + "Quillobrand.cfg"), std::string("\0\0\0\0\0\0\0\0\xff\xff\xff\xff", 12));
}

// The frame only exists under a window manager: the check runs in a copy of this test program on a display of its
// own, with twm managing it, so the windows of the other tests never meet a window manager.
TEST(DialogFrame, OptionsDialogIsCentredFrameIncluded)
{
    if (std::getenv("QB_FRAME_CHILD")) {
        // The copy: the dialog as the program opens it; its frame is known once the window manager has it.
        QRect frame, inner;
        whenModalOpens([&](QWidget* window) {
            processEventsUntil([&] { return window->frameGeometry() != window->geometry(); }, 10000);
            // The program may move it once more when the frame comes.
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            processEventsUntil(
                [&] { return (window->frameGeometry().center() - screen.center()).manhattanLength() <= 1; }, 3000);
            frame = window->frameGeometry();
            inner = window->geometry();
            window->close();
        });
        runOptionsDialog();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        ASSERT_NE(frame, inner) << "no window manager";
        EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
        return;
    }
    // A display of its own, numbered by the server itself.
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted(10000));
    QString display;
    ASSERT_TRUE(processEventsUntil(
        [&] {
            display = QString::fromLatin1(server.peek(64)).trimmed();
            return server.peek(64).endsWith('\n');
        },
        15000));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":" + display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    // twm's own fonts may be missing; the server's built-in "fixed" is always there.
    const std::string rc = makeTestFolder("qb-twm") + "twmrc";
    writeFile(rc,
              "TitleFont \"fixed\"\nResizeFont \"fixed\"\nMenuFont \"fixed\"\nIconFont \"fixed\"\n"
              "IconManagerFont \"fixed\"\nUsePPosition \"on\"\nRandomPlacement\nDecorateTransients\n");
    QProcess manager;
    manager.setProcessEnvironment(env);
    manager.setStandardErrorFile(QProcess::nullDevice());
    manager.start("twm", {"-f", QString::fromStdString(rc)});
    ASSERT_TRUE(manager.waitForStarted(10000));
    env.insert("QB_FRAME_CHILD", "1");
    QProcess copy;
    copy.setProcessEnvironment(env);
    copy.setProcessChannelMode(QProcess::ForwardedChannels);
    copy.start("/proc/self/exe", {"--gtest_filter=DialogFrame.OptionsDialogIsCentredFrameIncluded"});
    const bool ended = copy.waitForFinished(60000);
    if (!ended)
        copy.kill();
    EXPECT_TRUE(ended);
    EXPECT_EQ(copy.exitCode(), 0);
    for (QProcess* process : {&manager, &server}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
    }
    fs::remove_all(fs::path(rc).parent_path());
}

} // namespace
