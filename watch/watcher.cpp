#include "watch/watcher.h"

#include "platform/notifications.h"
#include "platform/trayicon.h"
#include "search/builderwindow.h"
#include "shell/config.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "watch/alerttext.h"
#include "watch/schedule.h"
#include "watch/watchfile.h"
#include "watch/watchrun.h"
#include "watch/watchwindow.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace watch {

namespace {

struct Watcher {
    Schedule schedule{systemNow(), systemRandom()};
    QTimer timer;
    std::thread worker;
    std::atomic<bool> stopRequested{false};
    bool runGoing = false;
};

std::unique_ptr<Watcher> watcher;

void arm()
{
    const Seconds now = systemNow();
    const std::optional<Seconds> next = watcher->schedule.nextWakeUp(now);
    if (!next) {
        watcher->timer.stop();
        return;
    }
    // A day at most: the timer's milliseconds are an int, and a changed clock is noticed by then.
    const Seconds wait = std::clamp<Seconds>(*next - now, 0, 24 * 60 * 60);
    watcher->timer.start(static_cast<int>(wait * 1000));
}

void reloadWatches()
{
    const std::vector<std::string> active = activeWatches();
    for (const std::string& name : watchedSearches()) {
        if (std::find(active.begin(), active.end(), name) == active.end() && watcher->schedule.hasWatch(name))
            watcher->schedule.removeWatch(name);
    }
    for (const std::string& name : active) {
        if (const std::optional<WatchFile> file = readWatch(name))
            watcher->schedule.setWatch(name, file->interval, file->lastRun);
    }
    if (!watcher->runGoing)
        arm();
}

// The notification service, else the tray icon's message; the click shows the watch's page.
void tellTheUser(const std::string& name, const WatchRun& run)
{
    const std::string summary = alertSummary(static_cast<size_t>(run.outcome.newCount));
    const std::string body = alertBody(name, alertAdsOf(run.outcome.newAds));
    const std::string page = watchRunFiles(name).resultsPath;
    auto show = [page] {
        shell::restoreFromTray();
        if (shell::mainBrowser)
            shell::mainBrowser->navigate(page);
    };
    if (platform::notificationsAvailable() && platform::showNotification(summary, body, show) != 0)
        return;
    if (shell::trayIcon)
        shell::trayIcon->showMessage(summary, body, show);
}

void runEnded(const std::string& name, const WatchRun& run)
{
    if (watcher->worker.joinable())
        watcher->worker.join();
    watcher->runGoing = false;
    const Seconds now = systemNow();
    const search::RunOutcome& outcome = run.outcome;
    const RunEnd end = outcome.refusedStatus != 0 ? RunEnd::Refused
        : outcome.interrupted                     ? RunEnd::Interrupted
                                                  : RunEnd::Finished;
    watcher->schedule.watchRunEnded(now, end);
    // Read again: the user may have saved the watch meanwhile.
    if (std::optional<WatchFile> file = readWatch(name)) {
        if (end != RunEnd::Interrupted)
            file->lastRun = now;
        file->lastResult = lastResultLine(run);
        writeWatch(name, *file);
    }
    showRunEnded(name);
    if (outcome.newCount > 0)
        tellTheUser(name, run);
    reloadWatches();
}

void startRun(const std::string& name)
{
    const WatchFile file = readWatch(name).value_or(WatchFile{});
    const int defaultProfile = shell::programConfig.defaultProfile;
    watcher->stopRequested = false;
    watcher->runGoing = true;
    watcher->worker = std::thread([name, file, defaultProfile] {
        WatchRun run = runWatchedSearch(name, [] { return watcher->stopRequested.load(); });
        // A first run has no memory and finds nothing new, so it mails nobody.
        if (run.outcome.newCount > 0 && !file.mailTo.empty())
            run.mailResult = mailDigest(name, run.outcome.newAds, file.mailTo, file.profile, defaultProfile);
        QMetaObject::invokeMethod(
            &watcher->timer, [name, run = std::move(run)] { runEnded(name, run); }, Qt::QueuedConnection);
    });
}

void onTimer()
{
    if (watcher->runGoing)
        return;
    if (const std::optional<std::string> name = watcher->schedule.startDueWatch(systemNow()))
        startRun(*name);
    else
        arm();
}

// Keeps the windows painted, without taking input, until the watch run has ended.
void waitForTheWatchRun()
{
    watcher->stopRequested = true;
    while (watcher->runGoing) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

void startWatching()
{
    if (watcher)
        return;
    watcher = std::make_unique<Watcher>();
    watcher->timer.setSingleShot(true);
    QObject::connect(&watcher->timer, &QTimer::timeout, [] { onTimer(); });
    WatchWindowHooks& hooks = windowHooks();
    hooks.watchesSaved = [] { reloadWatches(); };
    hooks.runNow = [](const std::string& name) {
        reloadWatches();
        if (watcher->schedule.runNow(name, systemNow()))
            onTimer();
    };
    search::watchedSearchCheck() = [](const std::string& name) { return isWatched(name); };
    reloadWatches();
}

void stopWatching()
{
    if (!watcher)
        return;
    watcher->timer.stop();
    watcher->schedule.stopWatchRun();
    if (watcher->runGoing)
        waitForTheWatchRun();
    watcher.reset();
}

void beginBuilderRun()
{
    if (!watcher)
        return;
    watcher->timer.stop();
    while (watcher->schedule.builderWantsToRun() == BuilderStart::StopWatchRunFirst)
        waitForTheWatchRun();
}

void endBuilderRun()
{
    if (!watcher)
        return;
    watcher->schedule.builderRunEnded();
    arm();
}

} // namespace watch
