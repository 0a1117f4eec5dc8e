// Measures the search run against a running sample site.
//   qb_bench_run speed DOMAIN CITIES FOLDER [MEMORY|nostore]
//                                             one run over CITIES cities; prints the time, and the size of the ad
//                                             store after it with the number of ads it keeps. MEMORY: a memory file
//                                             in the form of earlier versions (seen/), read into a fresh store as the
//                                             search's memory of the ads listed last time; nostore: a run without a
//                                             store (it can't be opened), which marks and keeps nothing
//   qb_bench_run memory DOMAIN CITY FOLDER    one run over one city; prints the peak resident memory
//   qb_bench_run store IDS FOLDER             reading a search's memory of IDS ids of 22 characters from the
//                                             store, as a run begins; prints the time
//   qb_bench_run downloads DOMAIN CITIES FOLDER shared|fresh [area|city]
//                                             the downloads of a run over CITIES cities, as the run makes them
//                                             (one handle for the run: shared) or with a new handle per city, of
//                                             the site's own addresses (area, the default) or the cities' hosts

#include "platform/download.h"
#include "platform/settings.h"
#include "search/searchrun.h"
#include "search/adstore.h"
#include "search/seenads.h"
#include "shell/programstate.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

// Reading a search's memory from the store, the one cost of the NEW marks that comes before the first city.
static int timeMemoryRead(int ids, const std::string& folder)
{
    std::filesystem::remove(folder + "/ads.db");
    search::AdStore store;
    if (store.open(folder + "/ads.db") != search::StoreStatus::ok)
        return 1;
    {
        search::StoreRun run;
        run.begin(&store, "/bench", 1);
        for (int city = 0; city * search::maximumKeysPerCity < ids; ++city) {
            run.beginCity("city" + std::to_string(city), city + 1);
            for (int i = city * search::maximumKeysPerCity; i < ids && i < (city + 1) * search::maximumKeysPerCity;
                 ++i) {
                char id[32];
                std::snprintf(id, sizeof id, "vAjGnkwp5v35F%09d", i * 7919 % 1000000007);
                search::RunAd ad;
                ad.key = id;
                ad.pagePosition = i;
                run.noteAd(ad);
            }
            run.endCity(true);
        }
        if (!run.finish())
            return 1;
    }
    search::StoreRun run;
    const auto start = std::chrono::steady_clock::now();
    run.begin(&store, "/bench", 2);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("ids %d read_ms %.2f %s\n", ids, ms, run.hasMemory() ? "" : "(not taken)");
    return run.hasMemory() ? 0 : 1;
}

// The run's downloads alone, without the scan's pauses: what one handle for the run saves.
static int timeDownloads(const std::string& domain, int cities, const std::string& folder, bool shared, bool area)
{
    search::SearchDefinition definition;
    definition.categoryCode = "sss";
    definition.words = "bench words";
    const std::string tail = search::buildSearchTail(definition, "sss", domain);
    const std::string areaQuery = search::buildAreaQuery(definition, "sss");
    const std::string path = folder + "/temp.html";
    platform::Downloader downloader;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= cities; ++i) {
        const std::string city = "city" + std::to_string(i);
        const std::string url
            = area ? search::buildAreaUrl(city, areaQuery, "http", domain) : search::buildCityUrl(city, tail, "http");
        failures += (shared ? downloader.download(url, path) : platform::downloadUrlToFile(url, path)) != 0;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("cities %d seconds %.3f failures %d\n", cities, seconds, failures);
    return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "store")
        return timeMemoryRead(std::atoi(argv[2]), argv[3]);
    if ((argc == 6 || argc == 7) && std::string(argv[1]) == "downloads")
        return timeDownloads(argv[2], std::atoi(argv[3]), argv[4], std::string(argv[5]) == "shared",
                             argc == 6 || std::string(argv[6]) != "city");
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s speed|memory DOMAIN CITIES|CITY FOLDER [MEMORY]\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const std::string folder = std::string(argv[4]) + "/";
    shell::programFolder = folder;
    shell::resultsPagePath = folder + "Last Search.html";
    platform::settings().siteDomain = argv[2];
    platform::settings().siteScheme = "http";

    const std::string listPath = folder + "bench.city";
    {
        std::ofstream list(listPath, std::ios::binary | std::ios::trunc);
        if (mode == "speed") {
            const int cities = std::atoi(argv[3]);
            for (int i = 1; i <= cities; ++i)
                list << "city" << i << "\r\n";
        } else {
            list << argv[3] << "\r\n";
        }
    }
    search::SearchDefinition definition;
    definition.categoryCode = "sss";
    definition.words = "bench words";
    // Each run starts from a fresh store, or none.
    std::filesystem::remove_all(folder + "ads.db");
    std::filesystem::remove(folder + "ads.db-wal");
    std::filesystem::remove(folder + "ads.db-shm");
    const bool noStore = argc == 6 && std::string(argv[5]) == "nostore";
    if (noStore) {
        std::filesystem::create_directory(folder + "ads.db");
    } else if (argc == 6) {
        std::filesystem::remove_all(folder + "seen");
        std::filesystem::create_directory(folder + "seen");
        const std::string memoryPath
            = search::seenFilePath(search::buildSearchTail(definition, "sss", platform::settings().siteDomain));
        std::ifstream memory(argv[5], std::ios::binary);
        std::ofstream(memoryPath, std::ios::binary | std::ios::trunc) << memory.rdbuf();
        search::AdStore store;
        store.open(search::adStorePath());
        store.startUp(static_cast<std::int64_t>(std::time(nullptr)), folder + "seen/");
    }
    int passes = 0;
    search::RunHooks hooks;
    hooks.cityStarted = [&](const std::string&, int pass) { passes = pass; };
    const auto start = std::chrono::steady_clock::now();
    search::runSearchPasses(definition, "sss", listPath, hooks);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    if (mode == "speed") {
        std::printf("cities %d seconds %.3f", passes, seconds);
        search::AdStore store;
        if (!noStore && store.open(search::adStorePath()) == search::StoreStatus::ok) {
            store.execute("PRAGMA wal_checkpoint(TRUNCATE)");
            size_t ads = 0;
            for (const std::string& tail : store.searchTails())
                ads += store.searchAds(tail).size();
            std::printf(" store_bytes %lld ads %zu", static_cast<long long>(std::filesystem::file_size(search::adStorePath())), ads);
        }
        std::printf("\n");
    }
    else
        std::printf("peak_rss_kb %ld seconds %.3f\n", usage.ru_maxrss, seconds);
    return 0;
}
