#include "shellfixture.h"

#include "platform/autostart.h"
#include "platform/trayicon.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/startup.h"
#include "shell/toolbar.h"
#include "watch/watchfile.h"
#include "watch/watchwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>
#include <optional>

namespace fs = std::filesystem;
using namespace shell;

namespace {

class WatchWindowTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        fs::create_directories(folder + "watch");
        fs::create_directories(folder + "config");
        const char* old = std::getenv("XDG_CONFIG_HOME");
        oldConfigHome = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", (folder + "config").c_str(), 1);
        watch::windowHooks() = {};
    }
    void TearDown() override
    {
        watch::windowHooks() = {};
        if (oldConfigHome)
            ::setenv("XDG_CONFIG_HOME", oldConfigHome->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        ShellTest::TearDown();
    }

    // Opens the window by its menu item and runs act on it once it shows.
    void openWatchWindow(std::function<void(QWidget*)> act)
    {
        QAction* item = nullptr;
        for (QAction* menu : mainWindow->menuBar()->actions())
            for (QAction* action : menu->menu()->actions())
                if (action->text() == "Watch Searches")
                    item = action;
        ASSERT_NE(item, nullptr);
        whenWindowOpens("watchWindow", std::move(act));
        item->trigger();
    }

    std::optional<std::string> oldConfigHome;
};

TEST_F(WatchWindowTest, WindowLayout)
{
    startShell();
    QString title;
    QSize size, minimum, maximum;
    Qt::WindowFlags flags;
    std::vector<std::pair<QString, QRect>> geometry;
    std::map<QString, QString> captions;
    bool mainEnabled = true;
    openWatchWindow([&](QWidget* window) {
        title = window->windowTitle();
        size = window->size();
        minimum = window->minimumSize();
        maximum = window->maximumSize();
        flags = window->windowFlags();
        mainEnabled = mainWindow->isEnabled();
        for (const char* name :
             {"watchCaption", "searchCaption", "searchList", "chosenName", "intervalCaption", "intervalBox",
              "mailCaption", "mailField", "profileCaption", "profileBox", "resultCaption", "resultField",
              "lastRunLabel", "goneNote", "runNowButton", "autostartBox", "saveButton", "exitButton"}) {
            auto* control = window->findChild<QWidget*>(name);
            geometry.emplace_back(name, control ? control->geometry() : QRect());
        }
        for (QLabel* label : window->findChildren<QLabel*>())
            captions[label->objectName()] = label->text();
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
            captions[button->objectName()] = button->text();
        EXPECT_TRUE(child<QLineEdit>(window, "resultField")->isReadOnly());
        EXPECT_EQ(child<QSpinBox>(window, "intervalBox")->minimum(), 15);
        EXPECT_EQ(child<QSpinBox>(window, "intervalBox")->maximum(), 1440);
        for (QPushButton* button : window->findChildren<QPushButton*>())
            EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->objectName().toStdString();
        child<QPushButton>(window, "exitButton")->click();
    });
    EXPECT_EQ(title, "Quillobrand Watch");
    EXPECT_EQ(size, QSize(385, 300));
    EXPECT_EQ(minimum, maximum) << "not resizable";
    EXPECT_FALSE(flags & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(mainEnabled) << "modal: the main window is disabled meanwhile";
    EXPECT_TRUE(mainWindow->isEnabled());
    const std::vector<std::pair<QString, QRect>> expected = {
        {"watchCaption", {10, 10, 40, 20}},      {"searchCaption", {40, 10, 130, 20}},
        {"searchList", {10, 30, 160, 230}},      {"chosenName", {180, 10, 195, 20}},
        {"intervalCaption", {180, 35, 110, 20}}, {"intervalBox", {300, 35, 75, 20}},
        {"mailCaption", {180, 60, 195, 20}},     {"mailField", {180, 75, 195, 20}},
        {"profileCaption", {180, 100, 195, 20}}, {"profileBox", {180, 115, 195, 20}},
        {"resultCaption", {180, 140, 195, 20}},  {"resultField", {180, 155, 195, 20}},
        {"lastRunLabel", {180, 180, 195, 20}},   {"goneNote", {180, 200, 195, 30}},
        {"runNowButton", {180, 240, 60, 20}},    {"autostartBox", {10, 270, 220, 20}},
        {"saveButton", {290, 270, 40, 20}},      {"exitButton", {335, 270, 40, 20}},
    };
    EXPECT_EQ(geometry, expected);
    EXPECT_EQ(captions["watchCaption"], "Watch");
    EXPECT_EQ(captions["mailCaption"], "Mail new ads to");
    EXPECT_EQ(captions["runNowButton"], "Run Now");
    EXPECT_EQ(captions["saveButton"], "Save");
    EXPECT_EQ(captions["exitButton"], "Exit");
    EXPECT_EQ(captions["autostartBox"], "Start Quillobrand when I log in");
}

class WatchToolTips : public WatchWindowTest, public ::testing::WithParamInterface<int> { };

TEST_P(WatchToolTips, OnEveryControlOnlyWhenExpertModeIsZero)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(GetParam(), 0, 0));
    startShell();
    std::vector<std::string> withTip, withoutTip;
    openWatchWindow([&](QWidget* window) {
        for (const char* name : {"searchList", "intervalBox", "mailField", "profileBox", "resultField", "runNowButton",
                                 "autostartBox", "saveButton", "exitButton"})
            (child(window, name)->toolTip().isEmpty() ? withoutTip : withTip).push_back(name);
        child<QPushButton>(window, "exitButton")->click();
    });
    EXPECT_EQ((GetParam() == 0 ? withoutTip : withTip), std::vector<std::string>{});
    EXPECT_EQ((GetParam() == 0 ? withTip : withoutTip).size(), 9u);
}

INSTANTIATE_TEST_SUITE_P(ExpertMode, WatchToolTips, ::testing::Values(0, 1));

enum class Ending { Save, Exit, CloseBox };

struct EditCase {
    const char* name;
    Ending ending;
    bool written;
};

class WatchEdits : public WatchWindowTest, public ::testing::WithParamInterface<EditCase> { };

const char* const carsWatch = "colour=red\r\ninterval=30\r\nmailTo=me@example.org\r\nprofile=Work\r\n"
                              "lastRun=2024-05-06T07:08:09Z\r\nlastResult=2 new ads; mail sent\r\n";

TEST_P(WatchEdits, WrittenOnlyBySave)
{
    const EditCase& c = GetParam();
    for (const char* search : {"Boats", "Cars", "Flats"})
        writeFile(folder + "savedsearch/" + search + ".search", "x");
    writeFile(folder + "watch/Boats.watch", "interval=20\r\n");
    writeFile(folder + "watch/Cars.watch", carsWatch);
    writeFile(folder + "watch/Gone.watch", "interval=90\r\n");
    writeFile(folder + "smtp/Home.smtp", "");
    writeFile(folder + "smtp/Work.smtp", "");
    int saves = 0;
    watch::windowHooks().watchesSaved = [&] { ++saves; };
    watch::windowHooks().runNow = [](const std::string&) {};
    startShell();

    std::vector<std::string> listed;
    std::vector<bool> ticks;
    QStringList profiles;
    openWatchWindow([&](QWidget* window) {
        auto* list = child<QListWidget>(window, "searchList");
        auto* interval = child<QSpinBox>(window, "intervalBox");
        auto* mail = child<QLineEdit>(window, "mailField");
        auto* profile = child<QComboBox>(window, "profileBox");
        auto* gone = child(window, "goneNote");
        auto* runNow = child<QPushButton>(window, "runNowButton");
        listed = itemsOf(list);
        for (int row = 0; row < list->count(); ++row)
            ticks.push_back(list->item(row)->checkState() == Qt::Checked);
        for (int i = 0; i < profile->count(); ++i)
            profiles << profile->itemText(i);
        EXPECT_EQ(interval->value(), 20) << "the first one is chosen at opening";

        list->setCurrentRow(1);
        EXPECT_EQ(child<QLabel>(window, "chosenName")->text(), "Cars");
        EXPECT_EQ(interval->value(), 30);
        EXPECT_EQ(mail->text(), "me@example.org");
        EXPECT_EQ(profile->currentText(), "Work");
        EXPECT_EQ(child<QLineEdit>(window, "resultField")->text(), "2 new ads; mail sent");
        // In the computer's time zone, as the user reads a time.
        EXPECT_EQ(child<QLabel>(window, "lastRunLabel")->text().toStdString(),
                  "Last run: " + watch::formatLocalTime(*watch::parseUtcTime("2024-05-06T07:08:09Z")));
        EXPECT_FALSE(gone->isVisible());
        EXPECT_TRUE(runNow->isEnabled());
        interval->setValue(45);

        list->item(0)->setCheckState(Qt::Unchecked); // Boats
        list->item(2)->setCheckState(Qt::Checked); // Flats
        list->setCurrentRow(2);
        EXPECT_EQ(interval->value(), 60) << "a new watch starts with the defaults";
        EXPECT_TRUE(mail->isEnabled());
        EXPECT_EQ(profile->currentIndex(), 0);
        EXPECT_EQ(child<QLabel>(window, "lastRunLabel")->text(), "Last run: never");
        mail->setText("you@example.org");
        profile->setCurrentIndex(profile->findText("Home"));

        list->setCurrentRow(3);
        EXPECT_TRUE(gone->isVisible()) << "Gone's saved search is gone";
        EXPECT_FALSE(runNow->isEnabled());
        list->setCurrentRow(0);
        EXPECT_FALSE(mail->isEnabled()) << "an unticked search has no watch to edit";

        if (c.ending == Ending::Save)
            child<QPushButton>(window, "saveButton")->click();
        if (c.ending == Ending::CloseBox)
            window->close();
        else
            child<QPushButton>(window, "exitButton")->click();
    });
    EXPECT_EQ(listed, (std::vector<std::string>{"Boats", "Cars", "Flats", "Gone"}));
    EXPECT_EQ(ticks, (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(profiles, QStringList({"(default profile)", "Home", "Work"}));
    EXPECT_EQ(readFile(folder + "watch/Gone.watch"), "interval=90\r\n");
    if (!c.written) {
        EXPECT_EQ(readFile(folder + "watch/Cars.watch"), carsWatch);
        EXPECT_TRUE(fs::exists(folder + "watch/Boats.watch"));
        EXPECT_FALSE(fs::exists(folder + "watch/Flats.watch"));
        EXPECT_EQ(saves, 0);
        EXPECT_TRUE(boxes.empty());
        return;
    }
    EXPECT_EQ(readFile(folder + "watch/Cars.watch"),
              "colour=red\r\ninterval=45\r\nmailTo=me@example.org\r\nprofile=Work\r\n"
              "lastRun=2024-05-06T07:08:09Z\r\nlastResult=2 new ads; mail sent\r\n");
    EXPECT_FALSE(fs::exists(folder + "watch/Boats.watch"));
    EXPECT_EQ(readFile(folder + "watch/Flats.watch"),
              "interval=60\r\nmailTo=you@example.org\r\nprofile=Home\r\nlastResult=\r\n");
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Watches Saved");
}

INSTANTIATE_TEST_SUITE_P(Endings, WatchEdits,
                         ::testing::Values(EditCase{"save", Ending::Save, true}, EditCase{"exit", Ending::Exit, false},
                                           EditCase{"closeBox", Ending::CloseBox, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WatchWindowTest, RunNowWritesTheChosenWatchFirst)
{
    writeFile(folder + "savedsearch/Boats.search", "x");
    writeFile(folder + "savedsearch/Flats.search", "x");
    std::vector<std::string> runs;
    bool fileThere = false;
    watch::windowHooks().runNow = [&](const std::string& name) {
        runs.push_back(name);
        fileThere
            = readFile(folder + "watch/" + name + ".watch").find("mailTo=you@example.org\r\n") != std::string::npos;
    };
    startShell();
    openWatchWindow([&](QWidget* window) {
        auto* list = child<QListWidget>(window, "searchList");
        auto* runNow = child<QPushButton>(window, "runNowButton");
        list->setCurrentRow(1);
        EXPECT_FALSE(runNow->isEnabled()) << "not watched yet";
        list->item(0)->setCheckState(Qt::Checked);
        list->item(1)->setCheckState(Qt::Checked);
        EXPECT_TRUE(runNow->isEnabled());
        child<QLineEdit>(window, "mailField")->setText("you@example.org");
        runNow->click();
        child<QPushButton>(window, "exitButton")->click();
    });
    EXPECT_EQ(runs, std::vector<std::string>{"Flats"});
    EXPECT_TRUE(fileThere);
    EXPECT_FALSE(fs::exists(folder + "watch/Boats.watch")) << "only the chosen watch is written";
}

// A run started by Run Now ends while the window is open: its last run and result are shown, the time in the
// computer's zone, and what the user typed in the other fields stays.
TEST_F(WatchWindowTest, TheEndOfARunShowsItsResultInLocalTime)
{
    const char* zone = std::getenv("TZ");
    const std::optional<std::string> oldZone = zone ? std::optional<std::string>(zone) : std::nullopt;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    writeFile(folder + "savedsearch/Boats.search", "x");
    writeFile(folder + "watch/Boats.watch", "interval=60\r\nlastRun=2026-12-09T08:00:00Z\r\nlastResult=0 new ads\r\n");
    watch::windowHooks().runNow = [&](const std::string& name) {
        // As a run on its own thread does: the file is written, then the window is told, later.
        QTimer::singleShot(50, [this, name] {
            writeFile(folder + "watch/" + name + ".watch",
                      "interval=90\r\nlastRun=2026-12-10T13:05:00Z\r\nlastResult=2 new ads\r\n");
            watch::showRunEnded(name);
        });
    };
    startShell();
    std::vector<std::string> seen;
    openWatchWindow([&](QWidget* window) {
        auto* lastRun = child<QLabel>(window, "lastRunLabel");
        auto* result = child<QLineEdit>(window, "resultField");
        seen.push_back(lastRun->text().toStdString());
        child<QSpinBox>(window, "intervalBox")->setValue(90);
        child<QPushButton>(window, "runNowButton")->click();
        EXPECT_TRUE(processEventsUntil([&] { return result->text() == "2 new ads"; }));
        seen.push_back(lastRun->text().toStdString());
        EXPECT_EQ(child<QSpinBox>(window, "intervalBox")->value(), 90) << "the user's edit stays";
        child<QPushButton>(window, "exitButton")->click();
    });
    watch::showRunEnded("Boats"); // no window open: nothing to show, nothing breaks
    if (oldZone)
        ::setenv("TZ", oldZone->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(seen, (std::vector<std::string>{"Last run: 2026-12-09 09:00", "Last run: 2026-12-10 14:05"}));
}

TEST_F(WatchWindowTest, TheLogInTickWritesAndRemovesTheAutostartEntry)
{
    startShell();
    // The running program's own path, wherever the user's files are.
    programFile = "/opt/Quillo brand/bin/quillobrand";
    const std::string entry = folder + "config/autostart/quillobrand.desktop";
    for (bool tick : {true, false}) {
        bool shownTicked = !tick;
        openWatchWindow([&](QWidget* window) {
            auto* box = child<QCheckBox>(window, "autostartBox");
            shownTicked = box->isChecked();
            box->setChecked(tick);
            child<QPushButton>(window, "saveButton")->click();
            child<QPushButton>(window, "exitButton")->click();
        });
        EXPECT_EQ(shownTicked, !tick);
        EXPECT_EQ(fs::exists(entry), tick);
        if (tick) {
            EXPECT_NE(readFile(entry).find("\nExec=\"/opt/Quillo brand/bin/quillobrand\" --in-tray\n"),
                      std::string::npos)
                << "this program's path";
        }
    }
}

class InTray : public ShellTest, public ::testing::WithParamInterface<bool> { };

TEST_P(InTray, StartsHiddenInTheTrayOrMinimisedAndComesBack)
{
    platform::setTrayAvailableOverride(GetParam());
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 2));
    startShell();
    putInTray();
    EXPECT_EQ(programConfig.trayMode, 2) << "the tray mode is the user's own";
    EXPECT_TRUE(boxes.empty()) << "nothing asked";
    if (GetParam()) {
        EXPECT_TRUE(trayIcon != nullptr);
        EXPECT_FALSE(mainWindow->isVisible());
    } else {
        EXPECT_TRUE(trayIcon == nullptr);
        EXPECT_TRUE(processEventsUntil([] { return mainWindow->isMinimized(); }));
    }
    restoreFromTray();
    EXPECT_TRUE(processEventsUntil([] { return mainWindow->isVisible() && !mainWindow->isMinimized(); }));
    EXPECT_EQ(endCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(TrayOrNot, InTray, ::testing::Values(true, false));

// The log-in tick from a folder whose name a desktop entry can't hold: refused with the folder named, nothing
// written.
class AutostartFolder : public WatchWindowTest, public ::testing::WithParamInterface<const char*> { };

TEST_P(AutostartFolder, WithBytesAnEntryCantHoldIsRefused)
{
    startShell();
    const std::string odd = folder + "Quillo" + GetParam() + "brand/";
    fs::create_directories(odd);
    shell::programFolder = odd;
    struct ProgramFileKept {
        std::string kept = shell::programFile;
        ~ProgramFileKept() { shell::programFile = kept; }
    } programFileKept;
    shell::programFile = odd + "quillobrand";
    bool stillTicked = true;
    openWatchWindow([&](QWidget* window) {
        auto* box = child<QCheckBox>(window, "autostartBox");
        box->setChecked(true);
        child<QPushButton>(window, "saveButton")->click();
        stillTicked = box->isChecked();
        child<QPushButton>(window, "exitButton")->click();
    });
    EXPECT_FALSE(stillTicked);
    EXPECT_FALSE(fs::exists(folder + "config/autostart/quillobrand.desktop"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("from the folder " + platform::printablePath(odd) + ":"), std::string::npos)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("\\x"), std::string::npos) << "the odd byte is shown, not hidden";
}

INSTANTIATE_TEST_SUITE_P(Table, AutostartFolder, ::testing::Values("\x01", "\x1B", "\xE9", "\xC0\xAF"));

// A watch file over 64 KB is damaged: the window says so and leaves it, Save included, as it is.
TEST_F(WatchWindowTest, ADamagedWatchFileIsShownAndLeftAsItIs)
{
    fs::create_directories(folder + "savedsearch");
    writeFile(folder + "savedsearch/Cars.search", "x");
    writeFile(folder + "watch/Cars.watch", "interval=30\r\n");
    fs::resize_file(folder + "watch/Cars.watch", 100u << 20); // 100 MB, sparse
    const auto written = fs::last_write_time(folder + "watch/Cars.watch");
    int saves = 0;
    watch::windowHooks().watchesSaved = [&] { ++saves; };
    watch::windowHooks().runNow = [](const std::string&) {};
    startShell();
    openWatchWindow([&](QWidget* window) {
        auto* list = child<QListWidget>(window, "searchList");
        EXPECT_EQ(list->item(0)->checkState(), Qt::Checked) << "it is watched: its file is there";
        EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsUserCheckable) << "unticking would delete it";
        EXPECT_TRUE(child(window, "goneNote")->isVisible());
        EXPECT_EQ(child<QLabel>(window, "goneNote")->text(),
                  "Its watch file is over 64 KB, so damaged: it is left as it is.");
        EXPECT_FALSE(child(window, "mailField")->isEnabled());
        EXPECT_FALSE(child(window, "runNowButton")->isEnabled());
        child<QPushButton>(window, "saveButton")->click();
        child<QPushButton>(window, "exitButton")->click();
    });
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Watches Saved");
    EXPECT_EQ(fs::file_size(folder + "watch/Cars.watch"), 100u << 20);
    EXPECT_EQ(fs::last_write_time(folder + "watch/Cars.watch"), written);
}

// What writes killed half-way left: gone at the next start, in every folder the program writes in and beside the
// log-in entry, whoever else's files stay.
TEST_F(WatchWindowTest, LeftoverWritesAreRemovedAtStart)
{
    // A process that has ended: its id is free.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = ".new-" + std::to_string(gone);
    const std::vector<std::string> leftovers
        = {"Quillobrand.cfg" + dead, "watch/Cars.watch" + dead, "savedsearch/Cars.search" + dead,
           "smtp/Ann.smtp" + dead, "config/autostart/quillobrand.desktop" + dead};
    const std::vector<std::string> kept = {"config/autostart/other.desktop" + dead, "watch/Cars.watch"};
    for (const char* made : {"config/autostart", "savedsearch", "smtp"})
        fs::create_directories(folder + made);
    for (const std::string& path : leftovers)
        writeFile(folder + path, std::string(1000, 'x'));
    for (const std::string& path : kept)
        writeFile(folder + path, "x");
    startShell();
    shell::removeLeftoverWrites();
    for (const std::string& path : leftovers)
        EXPECT_FALSE(fs::exists(folder + path)) << path;
    for (const std::string& path : kept)
        EXPECT_TRUE(fs::exists(folder + path)) << path;
}

} // namespace
