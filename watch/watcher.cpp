#include "watch/watcher.h"

#include "mail/tlstransport.h"
#include "platform/notifications.h"
#include "platform/trayicon.h"
#include "search/builderwindow.h"
#include "shell/config.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "watch/alerttext.h"
#include "watch/pending.h"
#include "watch/schedule.h"
#include "watch/watchfile.h"
#include "watch/watchrun.h"
#include "watch/watchwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

namespace watch {

namespace {

// How long Start Search and the exit wait for a digest they have told to stop: long enough for its QUIT.
constexpr int digestEndWaitMs = 2000;

struct Watcher {
    Schedule schedule{systemNow(), systemRandom()};
    QTimer timer;
    std::thread worker; // the search of a watch run
    std::atomic<bool> stopRequested{false};
    bool runGoing = false;
    std::map<std::string, UnreadPages> unreadPages; // by watch
    // A digest being mailed, on a thread of its own once the run's search is over; no watch run starts meanwhile.
    std::thread mailer;
    bool mailGoing = false;
    int mailNumber = 0; // of the digest going, so that one left behind can't be taken for a later one
    std::shared_ptr<std::atomic<bool>> mailCancelled;
    WatchRun mailedRun; // the run whose digest goes, for its last result
};

std::unique_ptr<Watcher> watcher;
int lastMailNumber = 0;

// Where a digest's end is posted: it outlives any watcher, for a digest left behind at the exit.
QObject* postBox()
{
    static QObject* box = new QObject;
    return box;
}

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
            watcher->schedule.setWatch(name, file->interval, file->lastRun, systemNow());
        else if (watcher->schedule.hasWatch(name))
            watcher->schedule.removeWatch(name); // damaged since: it does nothing
    }
    if (!watcher->runGoing)
        arm();
}

// The notification service, else the tray icon's message; the click shows the watch's page. False when neither
// could show it.
bool tellTheUser(const std::string& name, const WatchRun& run)
{
    const search::RunOutcome& outcome = run.outcome;
    const std::string summary
        = alertSummary(static_cast<size_t>(outcome.newCount), static_cast<size_t>(outcome.cheaperCount));
    const std::string body = alertBody(name, alertAdsOf(outcome.newAds), alertAdsOf(outcome.cheaperAds));
    const std::string page = watchRunFiles(name).resultsPath;
    auto show = [page] {
        shell::restoreFromTray();
        if (shell::mainBrowser)
            shell::mainBrowser->navigate(page);
    };
    if (platform::notificationsAvailable() && platform::showNotification(summary, body, show) != 0)
        return true;
    if (!shell::trayIcon)
        return false;
    shell::trayIcon->showMessage(summary, body, show);
    return true;
}

// The site's pages could not be read on two runs in a row: the watch would otherwise find nothing new for ever.
void tellPagesNotRead(const std::string& name)
{
    const std::string page = watchRunFiles(name).resultsPath;
    auto show = [page] {
        shell::restoreFromTray();
        if (shell::mainBrowser)
            shell::mainBrowser->navigate(page);
    };
    if (platform::notificationsAvailable() && platform::showNotification(unreadSummary, unreadBody(name), show) != 0)
        return;
    if (shell::trayIcon)
        shell::trayIcon->showMessage(unreadSummary, unreadBody(name), show);
}

void writeLastResult(const std::string& name, const WatchRun& run, std::optional<Seconds> lastRun)
{
    // Read again: the user may have saved the watch meanwhile.
    if (std::optional<WatchFile> file = readWatch(name)) {
        if (lastRun)
            file->lastRun = lastRun;
        file->lastResult = lastResultLine(run);
        writeWatch(name, *file);
    }
    showRunEnded(name);
}

void digestEnded(int number, const std::string& name, const DigestResult& result)
{
    if (!watcher || number != watcher->mailNumber)
        return; // left behind at an exit
    if (watcher->mailer.joinable())
        watcher->mailer.join();
    watcher->mailGoing = false;
    WatchRun run = std::move(watcher->mailedRun);
    run.mailResult = result.text;
    if (result.sent) {
        writePending(name, {});
        run.adsPending = 0;
    }
    writeLastResult(name, run, std::nullopt);
    reloadWatches();
}

void startDigest(const std::string& name, const WatchRun& run, Digest digest, const WatchFile& file)
{
    watcher->mailGoing = true;
    watcher->mailNumber = ++lastMailNumber;
    watcher->mailedRun = run;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    watcher->mailCancelled = cancelled;
    watcher->mailer
        = std::thread([number = watcher->mailNumber, name, digest = std::move(digest), mailTo = file.mailTo,
                       profile = file.profile, defaultProfile = shell::programConfig.defaultProfile, cancelled] {
              mail::setCancelHook([cancelled] { return cancelled->load(); });
              const DigestResult result = mailDigest(name, digest, mailTo, profile, defaultProfile);
              QMetaObject::invokeMethod(
                  postBox(), [number, name, result] { digestEnded(number, name, result); }, Qt::QueuedConnection);
          });
}

void searchEnded(const std::string& name, WatchRun run)
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
    const std::optional<Seconds> lastRun = end != RunEnd::Interrupted ? std::optional<Seconds>(now) : std::nullopt;

    // A memory that could not be saved brings the same ads again next time: the user is told about them then.
    const bool alert = alertDue(outcome);
    if (alert)
        run.notificationNotShown = !tellTheUser(name, run);
    const std::optional<WatchFile> file = readWatch(name);
    Digest digest;
    if (file && !file->mailTo.empty()) {
        digest.notSentBefore = readPending(name);
        if (alert) {
            digest.newAds = outcome.newAds;
            digest.cheaperAds = outcome.cheaperAds;
        }
    }
    if (run.searchFound
        && noteUnreadPages(watcher->unreadPages[name], outcome.citiesAsked, outcome.notReadCount, outcome.pagesRead))
        tellPagesNotRead(name);
    run.adsPending = digest.notSentBefore.size();
    if (digest.empty() || outcome.memoryNotSaved) {
        writeLastResult(name, run, lastRun);
        reloadWatches();
        return;
    }
    // Pending until the mail has gone: a send that fails, or a program stopped meanwhile, loses none of them.
    std::vector<search::NewAd> added = digest.newAds;
    added.insert(added.end(), digest.cheaperAds.begin(), digest.cheaperAds.end());
    const std::vector<search::NewAd> pending = pendingWith(digest.notSentBefore, added);
    writePending(name, pending);
    run.adsPending = pending.size();
    if (watcher->stopRequested) {
        // Start Search or the exit stopped the run: they don't wait for a mail either.
        run.mailResult = "mail put off until the next run";
        writeLastResult(name, run, lastRun);
        reloadWatches();
        return;
    }
    writeLastResult(name, run, lastRun);
    startDigest(name, run, std::move(digest), *file);
    reloadWatches();
}

void startRun(const std::string& name)
{
    watcher->stopRequested = false;
    watcher->runGoing = true;
    watcher->worker = std::thread([name] {
        WatchRun run = runWatchedSearch(name, [] { return watcher->stopRequested.load(); });
        QMetaObject::invokeMethod(
            &watcher->timer, [name, run = std::move(run)] { searchEnded(name, run); }, Qt::QueuedConnection);
    });
}

void onTimer()
{
    if (watcher->runGoing || watcher->mailGoing)
        return; // the end of either arms the timer again
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

// Ends a digest being mailed: at once wherever it waits on the server, with a QUIT where the server still takes
// one; its ads stay pending. Waits for that digestEndWaitMs at most. False when the digest still goes (it is
// connecting, which the security library bounds by itself).
bool endTheDigest()
{
    if (!watcher->mailGoing)
        return true;
    watcher->mailCancelled->store(true);
    QElapsedTimer waited;
    waited.start();
    while (watcher->mailGoing && waited.elapsed() < digestEndWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !watcher->mailGoing;
}

} // namespace

void startWatching()
{
    if (watcher)
        return;
    postBox();
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
    search::builderRunHooks() = {beginBuilderRun, endBuilderRun};
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
    // A digest still connecting is left to end with the process; its ads are pending for the next start.
    if (!endTheDigest())
        watcher->mailer.detach();
    watcher.reset();
}

void beginBuilderRun()
{
    if (!watcher)
        return;
    watcher->timer.stop();
    while (watcher->schedule.builderWantsToRun() == BuilderStart::StopWatchRunFirst)
        waitForTheWatchRun();
    // A digest still connecting goes on beside the builder's run, which it does not slow; it ends by itself.
    endTheDigest();
}

void endBuilderRun()
{
    if (!watcher)
        return;
    watcher->schedule.builderRunEnded();
    arm();
}

} // namespace watch
