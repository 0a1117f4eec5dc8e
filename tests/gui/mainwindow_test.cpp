#include "shellfixture.h"

#include "platform/trayicon.h"
#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace shell;

namespace {

TEST_F(ShellTest, MainWindowFillsTheDesktopWithItsControlsInPlace)
{
    startShell();
    const QSize desktop = QGuiApplication::primaryScreen()->geometry().size();
    const int W = desktop.width();
    const int H = desktop.height() - 60;
    EXPECT_EQ(mainWindow->windowTitle(), "Quillobrand - V1.0.171.1483");
    // H counts the menu bar: the area below it is that much shorter, and the main browser is cut by as much.
    EXPECT_EQ(mainWindow->size(), QSize(W, H));
    const int menuBarHeight = mainWindow->menuBar()->height();
    EXPECT_GT(menuBarHeight, 0);
    EXPECT_EQ(clientArea->geometry(), QRect(0, menuBarHeight, W, H - menuBarHeight));
    EXPECT_EQ(clientWidth, W);
    EXPECT_EQ(clientHeight, H);
    EXPECT_EQ(mainWindow->minimumSize(), QSize(800, 600)) << "resizable down to 800 x 600";
    EXPECT_GE(mainWindow->maximumSize().width(), 10000);
    EXPECT_TRUE(mainWindow->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(mainWindow->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(bannerBrowser->view()->geometry(), QRect((W - 748) / 2, 10, 748, 120));
    EXPECT_EQ(mainBrowser->view()->geometry(), QRect(0, 140, W, H - 140));

    const std::tuple<QPushButton*, QRect, QString> buttons[] = {
        {toolbar.back, {10, 10, 35, 40}, ""},
        {toolbar.forward, {50, 10, 35, 40}, ""},
        {toolbar.home, {90, 10, 35, 40}, ""},
        {toolbar.searchBuilder, {10, 55, 35, 40}, ""},
        {toolbar.help, {50, 55, 35, 40}, ""},
        {toolbar.saveThisPage, {W - 135, 10, 115, 20}, "Save This Page"},
        {toolbar.savedPages, {W - 135, 30, 115, 20}, "Saved Pages"},
        {toolbar.programOptions, {W - 135, 50, 115, 20}, "Program Options"},
        {toolbar.emailOptions, {W - 135, 70, 115, 20}, "Email Options"},
        {toolbar.emailToFriend, {W - 135, 90, 115, 20}, "Email To Friend"},
        {toolbar.replyToAd, {W - 135, 110, 115, 20}, "Reply To Ad"},
    };
    for (const auto& [button, geometry, caption] : buttons) {
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->geometry(), geometry) << button->objectName().toStdString();
        EXPECT_EQ(button->text(), caption);
        EXPECT_EQ(button->parentWidget(), clientArea);
    }
    EXPECT_FALSE(toolbar.back->icon().isNull());
    EXPECT_EQ(toolbar.home->iconSize(), QSize(27, 27)) << "the home picture is scaled";
    EXPECT_EQ(toolbar.help->iconSize(), QSize(27, 27));

    QStringList menus;
    for (QAction* menu : mainWindow->menuBar()->actions())
        for (const QAction* item : menu->menu()->actions())
            menus << menu->text() + "/" + item->text() + "/" + item->data().toString();
    EXPECT_EQ(menus,
              QStringList({"Menu/Ads List/6", "Menu/Watch Searches/5", "Menu/Find in Page/7", "Menu/Exit Program/1",
                           "About/About Quillobrand/3", "Help/Help/2"}));
}

// The opening placement, applied again to each size the window is given: banner centred, text buttons at the
// right edge, the browser filling the rest below 140.
class Resize : public ShellTest, public ::testing::WithParamInterface<QSize> { };

TEST_P(Resize, ControlsFollowTheWindowsSize)
{
    startShell();
    const QSize asked = GetParam();
    mainWindow->resize(asked);
    const QSize size = asked.expandedTo(QSize(800, 600));
    ASSERT_TRUE(processEventsUntil([&] { return mainWindow->size() == size && clientArea->width() == size.width(); }))
        << mainWindow->size().width() << "x" << mainWindow->size().height();
    const int W = size.width();
    const int H = size.height();
    EXPECT_EQ(clientWidth, W);
    EXPECT_EQ(clientHeight, H);
    EXPECT_EQ(clientArea->height(), H - mainWindow->menuBar()->height());
    EXPECT_EQ(bannerBrowser->view()->geometry(), QRect((W - 748) / 2, 10, 748, 120));
    EXPECT_EQ(mainBrowser->view()->geometry(), QRect(0, 140, W, H - 140));
    for (QPushButton* button : {toolbar.saveThisPage, toolbar.savedPages, toolbar.programOptions, toolbar.emailOptions,
                                toolbar.emailToFriend, toolbar.replyToAd})
        EXPECT_EQ(button->geometry().topLeft().x(), W - 135) << button->text().toStdString();
    EXPECT_EQ(toolbar.replyToAd->geometry(), QRect(W - 135, 110, 115, 20));
    EXPECT_EQ(toolbar.help->geometry(), QRect(50, 55, 35, 40)) << "the image buttons stay at the top left";
}

INSTANTIATE_TEST_SUITE_P(Sizes, Resize,
                         ::testing::Values(QSize(800, 600), QSize(1024, 700), QSize(1366, 708), QSize(640, 480)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" + std::to_string(info.param.height());
                         });

TEST_F(ShellTest, MissingImagesLeaveWorkingButtonsWithoutPictures)
{
    fs::remove(folder + "back.bmp");
    fs::remove(folder + "search.bmp");
    platform::setTrayAvailableOverride(true);
    startShell();
    EXPECT_TRUE(toolbar.back->icon().isNull());
    EXPECT_EQ(toolbar.back->accessibleName(), "Back");
    requestClose();
    EXPECT_FALSE(mainWindow->isVisible()) << "the tray icon works without its picture";
    ASSERT_TRUE(trayIcon);
}

enum class ResultsPage { Missing, Empty, OneByte, Directory };

class StartPage : public ShellTest, public ::testing::WithParamInterface<ResultsPage> { };

TEST_P(StartPage, ShowsTheResultsPageOnlyWhenItHoldsAByte)
{
    const std::string path = folder + "Last Search.html";
    switch (GetParam()) {
    case ResultsPage::Missing:
        break;
    case ResultsPage::Empty:
        writeFile(path, "");
        break;
    case ResultsPage::OneByte:
        writeFile(path, "x");
        break;
    case ResultsPage::Directory:
        fs::create_directory(path);
        break;
    }
    startShell();
    EXPECT_EQ(resultsPagePath, path);
    const bool shown = GetParam() == ResultsPage::OneByte;
    EXPECT_EQ(startPageUrl(), shown ? "file://" + path : std::string("http://127.0.0.1:9/home"));
    const QUrl expected = shown ? QUrl::fromLocalFile(QString::fromStdString(path)) : QUrl("http://127.0.0.1:9/home");
    EXPECT_TRUE(processEventsUntil([&] { return mainBrowser->url() == expected; })) << mainBrowser->currentUrl();
}

INSTANTIATE_TEST_SUITE_P(Files, StartPage,
                         ::testing::Values(ResultsPage::Missing, ResultsPage::Empty, ResultsPage::OneByte,
                                           ResultsPage::Directory));

class ToolTips : public ShellTest, public ::testing::WithParamInterface<int> { };

TEST_P(ToolTips, ShownOnlyWhenExpertModeIsZero)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(GetParam(), 0, 0));
    startShell();
    const bool shown = GetParam() == 0;
    const std::pair<QPushButton*, QString> tips[] = {
        {toolbar.back, "Back"},
        {toolbar.forward, "Forward"},
        {toolbar.home, "Tarnwick Home"},
        {toolbar.searchBuilder, "Search Builder"},
        {toolbar.help, "Help!"},
        {toolbar.saveThisPage, "Save this page"},
        {toolbar.savedPages, "Load or delete a saved page"},
        {toolbar.programOptions, "Program options"},
        {toolbar.emailOptions, "Email setup options"},
        {toolbar.emailToFriend, "Email this page to a friend"},
        {toolbar.replyToAd, "Reply to this ad"},
    };
    for (const auto& [button, tip] : tips) {
        EXPECT_EQ(button->toolTip(), shown ? tip : QString()) << tip.toStdString();
        // Screen readers name every button, pictures included, whatever the mode.
        EXPECT_FALSE(button->accessibleName().isEmpty() && button->text().isEmpty()) << tip.toStdString();
    }
    applyToolTips(0);
    EXPECT_EQ(toolbar.replyToAd->toolTip(), "Reply to this ad");
    applyToolTips(1);
    EXPECT_EQ(toolbar.back->toolTip(), QString());
}

INSTANTIATE_TEST_SUITE_P(ExpertMode, ToolTips, ::testing::Values(0, 1, -3));

TEST_F(ShellTest, CloseWithTrayModeAlwaysHidesToTheTrayAndAClickBringsItBack)
{
    platform::setTrayAvailableOverride(true);
    startShell();
    mainWindow->close(); // the close box
    EXPECT_FALSE(mainWindow->isVisible());
    ASSERT_TRUE(trayIcon);
    EXPECT_EQ(trayIcon->toolTip(), "Quillobrand");
    trayIcon->simulateLeftClick();
    EXPECT_TRUE(mainWindow->isVisible());
    EXPECT_FALSE(trayIcon);

    for (QAction* item : mainWindow->menuBar()->actions().at(0)->menu()->actions())
        if (item->text() == "Exit Program")
            item->trigger();
    EXPECT_FALSE(mainWindow->isVisible());
    EXPECT_TRUE(trayIcon);
    dispatchCommand(restoreCommand); // what a second start sends
    EXPECT_TRUE(mainWindow->isVisible());
    EXPECT_FALSE(trayIcon);
    EXPECT_EQ(endCalls, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ShellTest, WithoutANotificationAreaACloseMinimizesInstead)
{
    platform::setTrayAvailableOverride(false);
    startShell();
    mainWindow->close();
    EXPECT_TRUE(mainWindow->isVisible()) << "a hidden window could never come back";
    EXPECT_TRUE(mainWindow->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(trayIcon);
    restoreFromTray();
    EXPECT_FALSE(mainWindow->windowState() & Qt::WindowMinimized);

    // Once the user has brought it back, a second start changes nothing, also after the minimize box was used.
    mainWindow->close();
    mainWindow->showNormal();
    mainWindow->showMinimized();
    restoreFromTray();
    EXPECT_TRUE(mainWindow->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(endCalls, 0);
}

struct CloseCase {
    const char* name;
    int trayMode;
    std::deque<bool> answers;
    bool exits;
    int boxesAsked;
};

class CloseRequest : public ShellTest, public ::testing::WithParamInterface<CloseCase> { };

TEST_P(CloseRequest, FollowsTheTrayMode)
{
    platform::setTrayAvailableOverride(true);
    writeFile(folder + "Quillobrand.cfg", configBytes(1, 3, GetParam().trayMode));
    answers = GetParam().answers;
    startShell();
    requestClose();
    EXPECT_EQ(static_cast<int>(boxes.size()), GetParam().boxesAsked);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, "Quillobrand");
        EXPECT_EQ(box.text, "Send to system tray?");
        EXPECT_TRUE(box.yesNo);
    }
    if (GetParam().exits) {
        EXPECT_EQ(endCalls, 1);
        EXPECT_EQ(lastExitCode, 0);
        EXPECT_EQ(readFile(folder + "Quillobrand.cfg"), configBytes(1, 3, GetParam().trayMode));
        EXPECT_EQ(mainWindow, nullptr);
    } else {
        EXPECT_EQ(endCalls, 0);
        EXPECT_TRUE(trayIcon);
        EXPECT_FALSE(mainWindow->isVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CloseRequest,
                         ::testing::Values(CloseCase{"always", 0, {}, false, 0}, CloseCase{"never", 1, {}, true, 0},
                                           CloseCase{"askYes", 2, {true}, false, 1},
                                           CloseCase{"askNo", 2, {false}, true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, UnknownTrayModeMakesTheFirstCloseDoNothingAndTheNextAsk)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 7));
    startShell();
    requestClose();
    EXPECT_TRUE(mainWindow->isVisible());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(programConfig.trayMode, 2);
    EXPECT_EQ(endCalls, 0);
    answers = {false};
    requestClose();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(endCalls, 1);
    EXPECT_EQ(readFile(folder + "Quillobrand.cfg"), configBytes(0, 0, 2));
}

TEST_F(ShellTest, FirstRunWithoutAFileGoesToTheTrayAndSavesTheNewModeAtExit)
{
    platform::setTrayAvailableOverride(true);
    startShell();
    requestClose();
    EXPECT_TRUE(trayIcon);
    restoreFromTray();
    programConfig.trayMode = 1; // what the options dialog stores for "Never"
    requestClose();
    EXPECT_EQ(endCalls, 1);
    EXPECT_EQ(readFile(folder + "Quillobrand.cfg"), std::string("\0\0\0\0\0\0\0\0\1\0\0\0", 12));
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(ShellTest, HelpStartsWithItsArgumentAndOnlyTheLastOneIsEndedAtExit)
{
    // A stand-in help program that tells how it was started and keeps running.
    const std::string log = folder + "help.log";
    writeFile(folder + "Help/Help", "#!/bin/sh\necho \"$$|$(pwd)|$#|$1\" >> '" + log + "'\nexec sleep 60\n");
    fs::permissions(folder + "Help/Help", fs::perms::owner_all);
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 1));
    startShell();

    toolbar.help->click();
    ASSERT_TRUE(processEventsUntil([&] { return readLines(log).size() == 1; }));
    dispatchCommand(helpCommand); // the Help menu item
    ASSERT_TRUE(processEventsUntil([&] { return readLines(log).size() == 2; }));

    std::vector<pid_t> pids;
    for (const std::string& line : readLines(log)) {
        std::stringstream fields(line);
        std::string pid, cwd, count, argument;
        std::getline(fields, pid, '|');
        std::getline(fields, cwd, '|');
        std::getline(fields, count, '|');
        std::getline(fields, argument, '|');
        EXPECT_EQ(fs::path(cwd), fs::path(folder + "Help"));
        EXPECT_EQ(count, "1");
        EXPECT_EQ(argument, "Quillobrand");
        pids.push_back(std::stoi(pid));
    }
    EXPECT_EQ(helpProgram.pid(), pids[1]);
    // Watched through pidfds, not by number: another test may make the system hand out freed numbers again at once.
    const int first = static_cast<int>(::syscall(SYS_pidfd_open, pids[0], 0));
    const int last = static_cast<int>(::syscall(SYS_pidfd_open, pids[1], 0));
    ASSERT_TRUE(first >= 0 && last >= 0);
    auto running = [](int pidfd) {
        pollfd ended{pidfd, POLLIN, 0};
        return ::poll(&ended, 1, 0) == 0;
    };
    EXPECT_TRUE(running(first));
    EXPECT_TRUE(running(last));

    requestClose(); // trayMode 1: the orderly exit
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(processEventsUntil([&] { return !running(last); }, 5000)) << "the remembered one is ended";
    EXPECT_TRUE(running(first)) << "an earlier one is left alone";
    ::syscall(SYS_pidfd_send_signal, first, SIGKILL, nullptr, 0);
    ::close(first);
    ::close(last);
}

// A process of this test that the program never started; reaped by the caller.
pid_t startBystander(pid_t wantedPid)
{
    // Ask for the number the ended help program had, as the system hands it out again once it is free.
    if (wantedPid > 1)
        std::ofstream("/proc/sys/kernel/ns_last_pid") << wantedPid - 1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

bool stillRuns(pid_t pid)
{
    return ::waitpid(pid, nullptr, WNOHANG) == 0;
}

TEST_F(ShellTest, ExitNeverEndsAProcessTheProgramDidNotStartOrThatHasEnded)
{
    // An ended help program, however it was started, comes back to this process to be reaped, as on a desktop
    // whose init reaps it.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    writeFile(folder + "Help/Help", "#!/bin/sh\nexit 0\n"); // as the supplied one: it hands over and ends
    fs::permissions(folder + "Help/Help", fs::perms::owner_all);
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 1));
    startShell();
    toolbar.help->click();
    const pid_t helpPid = helpProgram.pid();
    ASSERT_GT(helpPid, 0);
    const std::string stat = "/proc/" + std::to_string(helpPid) + "/stat";
    // Ended: gone, or a zombie whose number nobody else can have yet.
    ASSERT_TRUE(
        processEventsUntil([&] { return !fs::exists(stat) || readFile(stat).find(") Z") != std::string::npos; }));
    ::waitpid(helpPid, nullptr, WNOHANG); // the system reaps it; its number is free again
    const pid_t bystander = startBystander(helpPid);
    ASSERT_GT(bystander, 0);
    requestClose(); // trayMode 1: the orderly exit
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(stillRuns(bystander)) << (bystander == helpPid ? "it had the help program's number" : "");
    ::kill(bystander, SIGKILL);
    ::waitpid(bystander, nullptr, 0);
}

// The help program hands the guide to the desktop's browser; when nothing could show it (no browser, no help
// program), the user is told where the guide's file is.
struct HelpCase {
    const char* name;
    const char* script; // nullptr: no help program
    bool told;
};

class HelpWithoutBrowser : public ShellTest, public ::testing::WithParamInterface<HelpCase> { };

TEST_P(HelpWithoutBrowser, SaysWhereTheGuideIs)
{
    if (GetParam().script) {
        writeFile(folder + "Help/Help", GetParam().script);
        fs::permissions(folder + "Help/Help", fs::perms::owner_all);
    }
    startShell();
    toolbar.help->click();
    // Until the help program has ended and been looked at, or the box came.
    EXPECT_TRUE(processEventsUntil([&] { return helpProgram.pid() == 0 || !boxes.empty(); }, 30000));
    processEventsUntil([&] { return !boxes.empty(); }, GetParam().told ? 30000 : 0);
    if (!GetParam().told) {
        EXPECT_TRUE(boxes.empty());
        return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand");
    EXPECT_FALSE(boxes[0].yesNo);
    EXPECT_NE(boxes[0].text.find(folder + "Help/index.html"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].text, helpNotShownText());
}

INSTANTIATE_TEST_SUITE_P(Help, HelpWithoutBrowser,
                         ::testing::Values(HelpCase{"Shown", "#!/bin/sh\nexit 0\n", false},
                                           HelpCase{"NoBrowser", "#!/bin/sh\necho 'no method available' >&2\nexit 3\n",
                                                    true},
                                           HelpCase{"KilledBySignal", "#!/bin/sh\nkill -9 $$\n", true},
                                           HelpCase{"NoHelpProgram", nullptr, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, AFailedHelpStartLeavesNoHelpProgramRemembered)
{
    writeFile(folder + "Help/Help", "#!/bin/sh\nexec sleep 60\n");
    fs::permissions(folder + "Help/Help", fs::perms::owner_all);
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 1));
    startShell();
    toolbar.help->click();
    const pid_t first = helpProgram.pid();
    ASSERT_GT(first, 0);
    const std::string proc = "/proc/" + std::to_string(first);
    // The script must be read before it goes.
    ASSERT_TRUE(processEventsUntil([&] { return readFile(proc + "/cmdline").starts_with("sleep"); }));
    fs::remove(folder + "Help/Help");
    toolbar.help->click(); // fails, unreported
    EXPECT_EQ(helpProgram.pid(), 0);
    requestClose();
    EXPECT_EQ(endCalls, 1);
    const std::string state = readFile(proc + "/stat");
    EXPECT_TRUE(!state.empty() && state.find(") Z") == std::string::npos) << "the earlier help program is left alone";
    ::kill(first, SIGKILL);
}

TEST_F(ShellTest, BackForwardAndHomeMoveTheMainBrowser)
{
    writeFile(folder + "a.html", "<html><body>A</body></html>");
    writeFile(folder + "b.html", "<html><body>B</body></html>");
    startShell();
    const QUrl a = QUrl::fromLocalFile(QString::fromStdString(folder + "a.html"));
    const QUrl b = QUrl::fromLocalFile(QString::fromStdString(folder + "b.html"));
    auto at = [](const QUrl& url) { return processEventsUntil([&] { return mainBrowser->url() == url; }); };
    // Each page must be in the history before the next one is asked for (the start page is, once the shell is up).
    mainBrowser->navigate(folder + "a.html");
    ASSERT_TRUE(mainBrowser->waitForLoadFinished(15000));
    mainBrowser->navigate("file://" + folder + "b.html");
    ASSERT_TRUE(mainBrowser->waitForLoadFinished(15000));
    EXPECT_EQ(mainBrowser->url(), b);
    toolbar.back->click();
    EXPECT_TRUE(at(a));
    toolbar.forward->click();
    EXPECT_TRUE(at(b));
    toolbar.forward->click(); // nothing further: nothing happens
    QCoreApplication::processEvents();
    EXPECT_EQ(mainBrowser->url(), b);
    toolbar.home->click();
    EXPECT_TRUE(at(QUrl("http://127.0.0.1:9/home")));
}

TEST_F(ShellTest, PageTitleComesFromTheShownPage)
{
    writeFile(folder + "Last Search.html", "<html><body><h2>Cars: 2 / 3 &amp; more?</h2><p>x</p></body></html>");
    startShell();
    ASSERT_TRUE(processEventsUntil([] { return getPageTitle() == "Cars 2  3 & more "; }, 10000)) << getPageTitle();
}

TEST_F(ShellTest, ModalWindowsDisableTheMainWindowWhileTheyRun)
{
    startShell();
    bool disabledDuring = false;
    runModal([&] { disabledDuring = !mainWindow->isEnabled(); });
    EXPECT_TRUE(disabledDuring);
    EXPECT_TRUE(mainWindow->isEnabled());
}

} // namespace
