// Measures the search run against a running sample site.
//   qb_bench_run speed DOMAIN CITIES FOLDER [MEMORY]
//                                             one run over CITIES cities; prints the time. MEMORY: a file put in
//                                             place as the search's memory of the ads listed last time
//   qb_bench_run memory DOMAIN CITY FOLDER    one run over one city; prints the peak resident memory
//   qb_bench_run seen IDS FOLDER              reading a memory of IDS ids of 22 characters; prints the time
//   qb_bench_run downloads DOMAIN CITIES FOLDER shared|fresh [area|city]
//                                             the downloads of a run over CITIES cities, as the run makes them
//                                             (one handle for the run: shared) or with a new handle per city, of
//                                             the site's own addresses (area, the default) or the cities' hosts

#include "platform/download.h"
#include "platform/settings.h"
#include "search/searchrun.h"
#include "search/seenads.h"
#include "shell/programstate.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// Reading a memory file, the one cost of the NEW marks that comes before the first city.
static int timeMemoryRead(int ids, const std::string& folder)
{
    std::string text = "[city1]\r\n";
    for (int i = 0; i < ids; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "vAjGnkwp5v35F%09d\r\n", i * 7919 % 1000000007);
        text += id;
    }
    const std::string path = folder + "/memory.seen";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    search::SeenAds seen;
    const auto start = std::chrono::steady_clock::now();
    seen.load(path);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("ids %d read_ms %.2f %s\n", ids, ms, seen.hasMemory() ? "" : "(not taken)");
    return seen.hasMemory() ? 0 : 1;
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
    if (argc == 4 && std::string(argv[1]) == "seen")
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
    if (argc == 6) {
        const std::string memoryPath
            = search::seenFilePath(search::buildSearchTail(definition, "sss", platform::settings().siteDomain));
        std::ifstream memory(argv[5], std::ios::binary);
        std::ofstream(memoryPath, std::ios::binary | std::ios::trunc) << memory.rdbuf();
    }
    int passes = 0;
    search::RunHooks hooks;
    hooks.cityStarted = [&](const std::string&, int pass) { passes = pass; };
    const auto start = std::chrono::steady_clock::now();
    search::runSearchPasses(definition, "sss", listPath, hooks);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    if (mode == "speed")
        std::printf("cities %d seconds %.3f\n", passes, seconds);
    else
        std::printf("peak_rss_kb %ld seconds %.3f\n", usage.ru_maxrss, seconds);
    return 0;
}
