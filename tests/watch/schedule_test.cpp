#include "watch/schedule.h"

#include <gtest/gtest.h>

#include <random>

using namespace watch;

namespace {

constexpr Seconds start = 1'700'000'000;
constexpr Seconds minute = 60;

struct DueCase {
    const char* name;
    int interval;
    std::optional<Seconds> lastRunBeforeStart; // seconds before start; nothing: never run
    double random;
    Seconds dueAfterStart;
};

class ScheduleDue : public ::testing::TestWithParam<DueCase> { };

TEST_P(ScheduleDue, FromLastRunIntervalAndJitter)
{
    const DueCase& c = GetParam();
    Schedule schedule(start, [&] { return c.random; });
    std::optional<Seconds> lastRun;
    if (c.lastRunBeforeStart)
        lastRun = start - *c.lastRunBeforeStart;
    schedule.setWatch("Cars", c.interval, lastRun, start);
    EXPECT_EQ(schedule.dueAt("Cars"), start + c.dueAfterStart);
    // Due means startable at that second and not one before.
    EXPECT_EQ(schedule.startDueWatch(start + c.dueAfterStart - 1), std::nullopt);
    EXPECT_EQ(schedule.startDueWatch(start + c.dueAfterStart), "Cars");
}

INSTANTIATE_TEST_SUITE_P(Table, ScheduleDue,
                         ::testing::Values(DueCase{"neverRunWaitsForStartUp", 60, std::nullopt, 0.5, 60},
                                           DueCase{"overdueAtStartWaitsForStartUp", 60, 5 * 60 * minute, 0.5, 60},
                                           DueCase{"dueWithinStartUpWaitsForIt", 60, 59 * minute + 30, 0.5, 60},
                                           DueCase{"notDueYetWithoutJitter", 60, 10 * minute, 0.5, 50 * minute},
                                           DueCase{"lowestJitterIsTenPercentEarlier", 60, 0, 0.0, 54 * minute},
                                           DueCase{"highestJitterIsTenPercentLater", 60, 0, 0.9999999, 66 * minute},
                                           DueCase{"longestInterval", 1440, 0, 0.75, 1440 * minute + 72 * minute},
                                           DueCase{"shortestInterval", 15, 0, 0.25, 15 * minute - 45}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FutureCase {
    const char* name;
    Seconds lastRunAfterNow;
    Seconds dueAfterNow;
};

class ScheduleFuture : public ::testing::TestWithParam<FutureCase> { };

// now is well past the start-up delay, so only lastRun decides.
TEST_P(ScheduleFuture, ALastRunAheadOfTheClockHoldsTheWatchBackOneIntervalAtMost)
{
    const FutureCase& c = GetParam();
    const Seconds now = start + 10 * minute;
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Cars", 60, now + c.lastRunAfterNow, now);
    EXPECT_EQ(schedule.dueAt("Cars"), now + c.dueAfterNow);
    // The file read again later, unchanged, must not push the watch back once more.
    schedule.setWatch("Cars", 60, now + c.lastRunAfterNow, now + 50 * minute);
    EXPECT_EQ(schedule.dueAt("Cars"), now + c.dueAfterNow);
    EXPECT_EQ(schedule.startDueWatch(now + c.dueAfterNow), "Cars");
}

INSTANTIATE_TEST_SUITE_P(Table, ScheduleFuture,
                         ::testing::Values(FutureCase{"aFewMinutesAheadIsKept", 5 * minute, 65 * minute},
                                           FutureCase{"oneIntervalAheadIsKept", 60 * minute, 120 * minute},
                                           FutureCase{"aSecondMoreIsNow", 60 * minute + 1, 60 * minute},
                                           FutureCase{"theYear2999IsNow", 32'472'144'000 - (start + 10 * minute),
                                                      60 * minute}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Schedule, JitterStaysWithinTenPercentAndIsDrawnOncePerLastRun)
{
    std::mt19937 engine(7);
    int draws = 0;
    Schedule schedule(start, [&] {
        ++draws;
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    });
    const Seconds interval = 100 * minute;
    Seconds lowest = interval * 2, highest = 0;
    for (int run = 0; run < 2000; ++run) {
        const Seconds lastRun = start + run * minute;
        schedule.setWatch("Cars", 100, lastRun, lastRun);
        const Seconds waited = *schedule.dueAt("Cars") - lastRun;
        lowest = std::min(lowest, waited);
        highest = std::max(highest, waited);
        // The same lastRun again (the file read back, the interval saved) keeps the drawn time.
        schedule.setWatch("Cars", 100, lastRun, lastRun);
        EXPECT_EQ(*schedule.dueAt("Cars") - lastRun, waited);
    }
    EXPECT_EQ(draws, 2000);
    EXPECT_GE(lowest, interval * 9 / 10);
    EXPECT_LE(highest, interval * 11 / 10);
    // Spread over the whole band, not one end of it.
    EXPECT_LT(lowest, interval * 91 / 100);
    EXPECT_GT(highest, interval * 109 / 100);
}

TEST(Schedule, RunNowIsDueAtOnceEvenDuringStartUp)
{
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Cars", 60, start - 10 * minute, start);
    EXPECT_FALSE(schedule.runNow("Boats", start + 5));
    ASSERT_TRUE(schedule.runNow("Cars", start + 5));
    EXPECT_EQ(schedule.nextWakeUp(start + 5), start + 5);
    EXPECT_EQ(schedule.startDueWatch(start + 5), "Cars");
    schedule.watchRunEnded(start + 65, RunEnd::Finished);
    EXPECT_EQ(schedule.dueAt("Cars"), start + 65 + 60 * minute) << "the next run counts from this one";
}

TEST(Schedule, NeverTwoRunsAtOnce)
{
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Boats", 60, std::nullopt, start);
    schedule.setWatch("Cars", 60, std::nullopt, start);
    const Seconds t = start + minute;
    EXPECT_EQ(schedule.startDueWatch(t), "Boats") << "both due: the first by name";
    EXPECT_EQ(schedule.startDueWatch(t), std::nullopt) << "Cars waits for Boats";
    EXPECT_EQ(schedule.nextWakeUp(t), std::nullopt) << "the run's end asks again";
    schedule.watchRunEnded(t + 30, RunEnd::Finished);
    EXPECT_EQ(schedule.startDueWatch(t + 30), "Cars");
    schedule.watchRunEnded(t + 60, RunEnd::Finished);

    // The builder's run holds the watches back too.
    ASSERT_TRUE(schedule.runNow("Cars", t + 100));
    EXPECT_EQ(schedule.builderWantsToRun(), BuilderStart::Go);
    EXPECT_EQ(schedule.startDueWatch(t + 100), std::nullopt);
    schedule.builderRunEnded();
    EXPECT_EQ(schedule.startDueWatch(t + 101), "Cars");
}

TEST(Schedule, TheBuildersStartStopsAWatchRunFirst)
{
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Cars", 60, std::nullopt, start);
    ASSERT_EQ(schedule.startDueWatch(start + minute), "Cars");
    EXPECT_FALSE(schedule.watchRunShouldStop());
    EXPECT_EQ(schedule.builderWantsToRun(), BuilderStart::StopWatchRunFirst);
    EXPECT_TRUE(schedule.watchRunShouldStop());
    EXPECT_FALSE(schedule.builderRunning());
    EXPECT_EQ(schedule.builderWantsToRun(), BuilderStart::StopWatchRunFirst) << "still going: ask again later";

    schedule.watchRunEnded(start + 2 * minute, RunEnd::Interrupted);
    EXPECT_FALSE(schedule.watchRunShouldStop());
    EXPECT_EQ(schedule.builderWantsToRun(), BuilderStart::Go);
    EXPECT_TRUE(schedule.builderRunning());
    EXPECT_EQ(schedule.startDueWatch(start + 3 * minute), std::nullopt);
    schedule.builderRunEnded();
    // Interrupted keeps the old lastRun: the watch is due again at once.
    EXPECT_EQ(schedule.startDueWatch(start + 4 * minute), "Cars");
}

TEST(Schedule, AnInterruptedRunNowStaysRequested)
{
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Cars", 60, start, start);
    schedule.runNow("Cars", start + 10);
    ASSERT_EQ(schedule.startDueWatch(start + 10), "Cars");
    schedule.stopWatchRun(); // the program's exit, or the builder
    EXPECT_TRUE(schedule.watchRunShouldStop());
    schedule.watchRunEnded(start + 20, RunEnd::Interrupted);
    EXPECT_EQ(schedule.dueAt("Cars"), start + 10);
}

TEST(Schedule, NoWatchRunsForAnHourAfterARefusal)
{
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Boats", 15, std::nullopt, start);
    schedule.setWatch("Cars", 15, std::nullopt, start);
    ASSERT_EQ(schedule.startDueWatch(start + minute), "Boats");
    const Seconds refusedAt = start + 2 * minute;
    schedule.watchRunEnded(refusedAt, RunEnd::Refused);
    EXPECT_EQ(schedule.pausedUntil(refusedAt), refusedAt + 60 * minute);
    EXPECT_EQ(schedule.dueAt("Boats"), refusedAt + 15 * minute) << "a refused run still counts as a run";

    schedule.runNow("Cars", refusedAt + 10);
    for (Seconds t : {refusedAt, refusedAt + 10, refusedAt + 30 * minute, refusedAt + 60 * minute - 1})
        EXPECT_EQ(schedule.startDueWatch(t), std::nullopt) << t - refusedAt;
    EXPECT_EQ(schedule.nextWakeUp(refusedAt + 10), refusedAt + 60 * minute);
    EXPECT_EQ(schedule.pausedUntil(refusedAt + 60 * minute), std::nullopt);
    EXPECT_EQ(schedule.startDueWatch(refusedAt + 60 * minute), "Cars");
    // The builder is the user's own run: the pause is for the watches only.
    schedule.watchRunEnded(refusedAt + 61 * minute, RunEnd::Refused);
    EXPECT_EQ(schedule.builderWantsToRun(), BuilderStart::Go);
}

struct WakeCase {
    const char* name;
    std::vector<std::optional<Seconds>> lastRuns; // one watch each, interval 60
    Seconds now;
    std::optional<Seconds> wakeUp;
};

class ScheduleWakeUp : public ::testing::TestWithParam<WakeCase> { };

TEST_P(ScheduleWakeUp, OneTimerForTheFirstDueWatch)
{
    const WakeCase& c = GetParam();
    Schedule schedule(start, [] { return 0.5; });
    for (size_t i = 0; i < c.lastRuns.size(); ++i)
        schedule.setWatch("watch " + std::to_string(i), 60, c.lastRuns[i], c.now);
    EXPECT_EQ(schedule.nextWakeUp(c.now), c.wakeUp);
}

std::vector<std::optional<Seconds>> tenRunsEndingAt(Seconds first)
{
    std::vector<std::optional<Seconds>> runs;
    for (int i = 9; i >= 0; --i)
        runs.push_back(first + i * 3 * minute);
    return runs;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScheduleWakeUp,
    ::testing::Values(
        WakeCase{"noWatches", {}, start, std::nullopt}, WakeCase{"neverRun", {std::nullopt}, start, start + minute},
        WakeCase{"tenWatchedNoneDue", tenRunsEndingAt(start + 5 * minute), start + 10 * minute, start + 65 * minute},
        WakeCase{"alreadyDueWakesAtOnce", {start - 3 * 60 * minute}, start + 2 * minute, start + 2 * minute}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Schedule, ARemovedWatchNeitherRunsNorWakes)
{
    Schedule schedule(start, [] { return 0.5; });
    schedule.setWatch("Cars", 60, std::nullopt, start);
    schedule.removeWatch("Cars");
    EXPECT_FALSE(schedule.hasWatch("Cars"));
    EXPECT_EQ(schedule.startDueWatch(start + 2 * minute), std::nullopt);
    EXPECT_EQ(schedule.nextWakeUp(start), std::nullopt);
}

} // namespace
