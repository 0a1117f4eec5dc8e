// An ad store file of any bytes. Opening it never crashes; a file the program can't use as its store is left as it
// was (it may hold the user's stars and notes); a store it opens reads back whole searches in the page's order, and
// a run that says it finished over a store SQLite finds whole is read back.

#include "fuzzcheck.h"

#include "search/adstore.h"

#include <sqlite3.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const std::string& storePath()
{
    static const std::string path = [] {
        char folder[] = "/tmp/qb-fuzz-store-XXXXXX";
        FUZZ_CHECK(::mkdtemp(folder) != nullptr, "no scratch folder");
        return std::string(folder) + "/ads.db";
    }();
    return path;
}

void writeBytes(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good(), "the input could not be written");
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file as it was, apart from the header fields that switching to write-ahead logging writes: the format
// versions (18-19), the change counter (24-27), and the counter and library version it is valid for (92-99).
bool sameApartFromJournalMode(std::string before, std::string after)
{
    const std::pair<size_t, size_t> bookkeeping[] = {{18, 20}, {24, 28}, {92, 100}};
    for (std::string* bytes : {&before, &after})
        for (const auto& [from, to] : bookkeeping)
            for (size_t at = from; at < to && at < bytes->size(); ++at)
                (*bytes)[at] = 0;
    return before == after;
}

// Whether SQLite finds the file whole. On a damaged file it promises nothing about what reads back.
bool isWholeDatabase(const std::string& path)
{
    sqlite3* db = nullptr;
    bool whole = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* check = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK
            && sqlite3_step(check) == SQLITE_ROW) {
            const unsigned char* first = sqlite3_column_text(check, 0);
            whole = first && std::string_view(reinterpret_cast<const char*>(first)) == "ok";
        }
        sqlite3_finalize(check);
    }
    sqlite3_close(db);
    return whole;
}

bool inPageOrder(const std::vector<search::StoredAd>& ads)
{
    for (size_t i = 1; i < ads.size(); ++i) {
        const search::StoredAd& a = ads[i - 1];
        const search::StoredAd& b = ads[i];
        if (std::tie(b.tail, b.cityPosition, b.cityCode, b.pagePosition)
            < std::tie(a.tail, a.cityPosition, a.cityCode, a.pagePosition))
            return false;
    }
    return true;
}

void readEverySearch(search::AdStore& store)
{
    std::vector<std::string> tails = store.searchTails();
    if (tails.size() > 8)
        tails.resize(8);
    for (const std::string& tail : tails) {
        store.searchCities(tail);
        const std::vector<search::StoredAd> ads = store.searchAds(tail);
        FUZZ_CHECK(inPageOrder(ads), "a search's ads out of the page's order");
        for (const search::StoredAd& ad : ads)
            FUZZ_CHECK(ad.tail == tail, "an ad of another search");
        size_t visited = 0;
        store.forEachSearchAd(tail, [&visited](const search::StoredAd&) { ++visited; });
        FUZZ_CHECK(visited == ads.size(), "the ads visited one at a time are not the ads read at once");
        for (size_t i = 0; i < ads.size() && i < 4; ++i) {
            store.marksOf(ads[i].key);
            store.knowsAd(ads[i].key);
            store.adTitle(ads[i].key);
        }
    }
    for (const search::StoredAd& ad : store.starredAds())
        FUZZ_CHECK(ad.marks.starred, "an ad among the starred ones that is not starred");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string& path = storePath();
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (const char* sibling : {"-wal", "-shm", "-journal"})
        ::unlink((path + sibling).c_str());
    writeBytes(path, input);
    const bool whole = isWholeDatabase(path);

    search::AdStore store;
    const search::StoreStatus status = store.open(path);
    if (status != search::StoreStatus::ok) {
        FUZZ_CHECK(!store.isOpen(), "a store that failed to open is open");
        FUZZ_CHECK(!store.lastError().empty(), "a store that can't be used, and no reason why");
        store.close();
        FUZZ_CHECK(sameApartFromJournalMode(input, readBytes(path)), "a file that can't be used was changed");
        return 0;
    }
    readEverySearch(store);

    const std::int64_t now = 1767225600;
    search::StoreRun run;
    if (run.begin(&store, "/search/sss?query=fuzz", now)) {
        run.beginCity("fuzzcity", 1);
        search::RunAd ad;
        ad.key = "7700000001";
        ad.link = "https://fuzzcity.example.org/d/" + ad.key + ".html";
        ad.title = input.substr(0, 60);
        ad.price = "$" + std::to_string(size);
        run.noteAd(ad);
        if (run.endCity(true) && run.finish() && whole) {
            bool found = false;
            for (const search::StoredAd& stored : store.searchAds("/search/sss?query=fuzz"))
                found = found || (stored.key == ad.key && stored.title == ad.title && stored.cityCode == "fuzzcity");
            FUZZ_CHECK(found, "a run that finished is not read back");
        }
    }
    store.startUp(now, path + ".seen-none/");
    readEverySearch(store);
    return 0;
}
