// Figures of the watched searches, against a running sample site.
//   qb_bench_watch stall DOMAIN CITIES FOLDER   a watch run over CITIES cities, Run Now, while the event loop ticks
//                                               every 5 ms: the run's time and the loop's longest stall
//   qb_bench_watch cost DOMAIN CITIES FOLDER    the same search run as a watch and from the builder's side, each
//                                               twice, alternating: the times
//   qb_bench_watch idle FOLDER SECONDS          ten watched searches, none due: the program's CPU time over SECONDS
// FOLDER holds CategoryTree.dat; the bench writes its saved searches, area list and watch files there.

#include "platform/settings.h"
#include "search/savedsearch.h"
#include "search/searchrun.h"
#include "shell/programstate.h"
#include "watch/watcher.h"
#include "watch/watchfile.h"
#include "watch/watchrun.h"
#include "watch/watchwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void writeSearch(const std::string& name, int cities)
{
    std::filesystem::create_directories(shell::programFolder + "savedsearch");
    std::filesystem::create_directories(shell::programFolder + "citydata");
    {
        std::ofstream list(shell::programFolder + "citydata/bench.city", std::ios::binary | std::ios::trunc);
        for (int i = 1; i <= cities; ++i)
            list << "city" << i << "\r\n";
    }
    search::SearchDefinition definition;
    definition.categoryCode = "sss";
    definition.words = "bench words";
    definition.areaListName = "bench";
    search::writeSavedSearch(shell::programFolder + search::savedSearchFile(name), definition);
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int stall(int cities)
{
    writeSearch("Bench", cities);
    watch::writeWatch("Bench", watch::WatchFile{});
    watch::startWatching();
    QElapsedTimer run;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    run.start();
    sinceTick.start();
    tick.start(5);
    const std::string before = watch::readWatch("Bench")->lastResult;
    watch::windowHooks().runNow("Bench");
    while (watch::readWatch("Bench")->lastResult == before)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = run.nsecsElapsed() / 1e9;
    watch::stopWatching();
    // A tick is due every 5 ms: what the loop was late by beyond that is the stall.
    std::printf("cities %d seconds %.3f longest_stall_ms %.2f\n", cities, seconds, longest / 1e6 - 5);
    return 0;
}

int cost(int cities)
{
    writeSearch("Bench", cities);
    const std::optional<search::SearchDefinition> definition
        = search::readSavedSearch(shell::programFolder + search::savedSearchFile("Bench"));
    double watchSeconds = 0;
    double builderSeconds = 0;
    for (int round = 0; round < 2; ++round) {
        auto start = std::chrono::steady_clock::now();
        watch::runWatchedSearch("Bench", [] { return false; });
        watchSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        start = std::chrono::steady_clock::now();
        search::runSearchPasses(*definition, "sss", shell::programFolder + "citydata/bench.city", {});
        builderSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::printf("cities %d watch_seconds %.3f builder_seconds %.3f over %.2f %%\n", cities, watchSeconds / 2,
                builderSeconds / 2, (watchSeconds - builderSeconds) / builderSeconds * 100);
    return 0;
}

int idle(int seconds)
{
    for (int i = 1; i <= 10; ++i) {
        const std::string name = "Bench " + std::to_string(i);
        writeSearch(name, 3);
        watch::WatchFile file;
        file.interval = 1440;
        file.lastRun = std::time(nullptr); // none due for a day
        watch::writeWatch(name, file);
    }
    watch::startWatching();
    const double start = cpuSeconds();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const double used = cpuSeconds() - start;
    watch::stopWatching();
    std::printf("watches 10 seconds %d cpu_seconds %.4f cpu_seconds_per_hour %.3f\n", seconds, used,
                used * 3600 / seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "idle" && argc == 4) {
        shell::programFolder = std::string(argv[2]) + "/";
        return idle(std::atoi(argv[3]));
    }
    if ((mode == "stall" || mode == "cost") && argc == 5) {
        platform::settings().siteDomain = argv[2];
        platform::settings().siteScheme = "http";
        shell::programFolder = std::string(argv[4]) + "/";
        shell::resultsPagePath = shell::programFolder + "Last Search.html";
        return mode == "stall" ? stall(std::atoi(argv[3])) : cost(std::atoi(argv[3]));
    }
    std::fprintf(stderr, "usage: %s stall|cost DOMAIN CITIES FOLDER | idle FOLDER SECONDS\n", argv[0]);
    return 2;
}
