#include "watch/schedule.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <random>

namespace watch {

RandomSource systemRandom()
{
    auto engine = std::make_shared<std::mt19937_64>(std::random_device{}());
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

Seconds systemNow()
{
    return static_cast<Seconds>(std::time(nullptr));
}

Schedule::Schedule(Seconds startedAt, RandomSource random)
    : m_startedAt(startedAt)
    , m_random(std::move(random))
{
}

void Schedule::drawJitter(Watch& watch)
{
    double share = m_random ? m_random() : 0.5;
    share = std::clamp(share, 0.0, 1.0);
    watch.jitterShare = 2 * share - 1;
}

void Schedule::setWatch(const std::string& name, int intervalMinutes, std::optional<Seconds> lastRun, Seconds now)
{
    auto [place, added] = m_watches.try_emplace(name);
    Watch& watch = place->second;
    watch.intervalMinutes = intervalMinutes;
    if (added || watch.givenLastRun != lastRun) {
        watch.givenLastRun = lastRun;
        const bool future = lastRun && *lastRun > now + Seconds(intervalMinutes) * 60;
        watch.lastRun = future ? std::optional<Seconds>(now) : lastRun;
        if (lastRun)
            drawJitter(watch);
    }
}

void Schedule::removeWatch(const std::string& name)
{
    m_watches.erase(name);
}

bool Schedule::hasWatch(const std::string& name) const
{
    return m_watches.count(name) != 0;
}

std::optional<Seconds> Schedule::dueAt(const std::string& name) const
{
    const auto found = m_watches.find(name);
    if (found == m_watches.end())
        return std::nullopt;
    const Watch& watch = found->second;
    if (watch.requestedAt)
        return watch.requestedAt;
    const Seconds earliest = m_startedAt + startUpDelay;
    if (!watch.lastRun)
        return earliest;
    const Seconds interval = Seconds(watch.intervalMinutes) * 60;
    const auto jitter = static_cast<Seconds>(std::llround(watch.jitterShare * interval * jitterPercent / 100.0));
    return std::max(*watch.lastRun + interval + jitter, earliest);
}

bool Schedule::runNow(const std::string& name, Seconds now)
{
    const auto found = m_watches.find(name);
    if (found == m_watches.end())
        return false;
    if (!found->second.requestedAt)
        found->second.requestedAt = now;
    return true;
}

std::optional<Seconds> Schedule::pausedUntil(Seconds now) const
{
    if (m_pauseEnd && *m_pauseEnd > now)
        return m_pauseEnd;
    return std::nullopt;
}

std::optional<std::string> Schedule::startDueWatch(Seconds now)
{
    if (m_runningWatch || m_builderRunning || pausedUntil(now))
        return std::nullopt;
    const std::string* first = nullptr;
    Seconds firstDue = 0;
    for (const auto& [name, watch] : m_watches) {
        const Seconds due = *dueAt(name);
        if (due <= now && (!first || due < firstDue)) {
            first = &name;
            firstDue = due;
        }
    }
    if (!first)
        return std::nullopt;
    Watch& watch = m_watches[*first];
    m_runningRequest = watch.requestedAt;
    watch.requestedAt.reset();
    m_runningWatch = *first;
    m_stopRequested = false;
    return m_runningWatch;
}

void Schedule::watchRunEnded(Seconds endedAt, RunEnd end)
{
    if (!m_runningWatch)
        return;
    const auto found = m_watches.find(*m_runningWatch);
    if (found != m_watches.end()) {
        Watch& watch = found->second;
        if (end == RunEnd::Interrupted) {
            if (m_runningRequest && !watch.requestedAt)
                watch.requestedAt = m_runningRequest;
        } else {
            watch.lastRun = watch.givenLastRun = endedAt;
            drawJitter(watch);
        }
    }
    if (end == RunEnd::Refused)
        m_pauseEnd = endedAt + refusalPause;
    m_runningWatch.reset();
    m_runningRequest.reset();
    m_stopRequested = false;
}

BuilderStart Schedule::builderWantsToRun()
{
    if (m_runningWatch) {
        m_stopRequested = true;
        return BuilderStart::StopWatchRunFirst;
    }
    m_builderRunning = true;
    return BuilderStart::Go;
}

void Schedule::builderRunEnded()
{
    m_builderRunning = false;
}

void Schedule::stopWatchRun()
{
    if (m_runningWatch)
        m_stopRequested = true;
}

std::optional<Seconds> Schedule::nextWakeUp(Seconds now) const
{
    if (m_runningWatch || m_builderRunning || m_watches.empty())
        return std::nullopt;
    Seconds first = *dueAt(m_watches.begin()->first);
    for (const auto& entry : m_watches)
        first = std::min(first, *dueAt(entry.first));
    if (const auto pauseEnd = pausedUntil(now))
        first = std::max(first, *pauseEnd);
    return std::max(first, now);
}

} // namespace watch
