#pragma once
// When the watched searches run. Pure logic over times the caller passes in (seconds since the epoch, UTC) and an
// injected random source, so the rules can be tested with a table. There is never more than one run against the
// site at a time, a watch's or the builder's; the program arms one single-shot timer for nextWakeUp and asks again
// after every change instead of polling.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace watch {

using Seconds = std::int64_t;

inline constexpr Seconds startUpDelay = 60; // a watch never run, or overdue at start, runs this long after start
inline constexpr Seconds refusalPause = 60 * 60; // no watch runs for this long after the site refused one
inline constexpr int jitterPercent = 10; // the interval is stretched or shortened by up to this much

// How a watch run ended. Refused: the site answered 403, 429 or 503.
enum class RunEnd { Finished, Interrupted, Refused };
// Go: the builder's run counts as going from now on. StopWatchRunFirst: a watch run goes; it has been asked to stop
// between two cities (watchRunShouldStop), and the builder asks again once watchRunEnded(Interrupted) is in.
enum class BuilderStart { Go, StopWatchRunFirst };

// A number in [0, 1) at each call.
using RandomSource = std::function<double()>;
RandomSource systemRandom();
Seconds systemNow();

class Schedule {
public:
    Schedule(Seconds startedAt, RandomSource random);

    // Adds the watch or takes its file's values again. Leave out the watches whose saved search is gone
    // (activeWatches): they do nothing. The jitter is drawn once per watch and lastRun: a new lastRun draws again.
    // A lastRun more than one interval after now (a clock set back, a file edited by hand) counts as now, so it
    // can't hold the watch back for years; given again unchanged, it keeps the time it was taken as.
    void setWatch(const std::string& name, int intervalMinutes, std::optional<Seconds> lastRun, Seconds now);
    void removeWatch(const std::string& name);
    bool hasWatch(const std::string& name) const;

    // When the watch comes due: lastRun + interval ± the jitter; never run, or due before start + startUpDelay:
    // start + startUpDelay; after Run Now: the time it was pressed. Nothing for an unknown watch. The refusal pause
    // and a run that goes can make it wait longer (nextWakeUp).
    std::optional<Seconds> dueAt(const std::string& name) const;

    // "Run Now": due at once. False for an unknown watch.
    bool runNow(const std::string& name, Seconds now);

    // The watch to run now, counted as running from here on: the one due first (ties by name). Nothing while a
    // run goes, during the refusal pause, or when none is due.
    std::optional<std::string> startDueWatch(Seconds now);
    // The running watch ended. Finished and Refused set its lastRun to endedAt; Refused also starts the pause.
    // Interrupted keeps lastRun (and a Run Now's request): the watch is due again once the other run is over.
    void watchRunEnded(Seconds endedAt, RunEnd end);

    // The builder's Start Search.
    BuilderStart builderWantsToRun();
    void builderRunEnded();

    // Asked by the watch run between two cities: stop there as an interrupted run.
    bool watchRunShouldStop() const { return m_stopRequested; }
    // The program's exit: the watch run stops between two cities.
    void stopWatchRun();

    std::optional<std::string> runningWatch() const { return m_runningWatch; }
    bool builderRunning() const { return m_builderRunning; }
    // The end of the refusal pause while it lasts.
    std::optional<Seconds> pausedUntil(Seconds now) const;

    // When the program must look again (startDueWatch): never earlier than now. Nothing while a run goes (its end
    // asks again) or with no watch. A timer may fire a little early; startDueWatch then starts nothing and
    // nextWakeUp gives the same time again.
    std::optional<Seconds> nextWakeUp(Seconds now) const;

private:
    struct Watch {
        int intervalMinutes = 60;
        std::optional<Seconds> lastRun;
        std::optional<Seconds> givenLastRun; // as setWatch had it, before a time in the future was taken as now
        double jitterShare = 0; // in [-1, 1): a share of the largest jitter, drawn for lastRun
        std::optional<Seconds> requestedAt; // Run Now
    };
    void drawJitter(Watch& watch);

    Seconds m_startedAt;
    RandomSource m_random;
    std::map<std::string, Watch> m_watches;
    std::optional<std::string> m_runningWatch;
    std::optional<Seconds> m_runningRequest; // the Run Now request the running watch was started for
    bool m_builderRunning = false;
    bool m_stopRequested = false;
    std::optional<Seconds> m_pauseEnd;
};

} // namespace watch
