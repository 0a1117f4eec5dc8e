// The ad store: its schema, the memory rules over it, the ads and marks it keeps, and its start-up chores.

#include "search/adstore.h"
#include "search/seenads.h"

#include "shell/programstate.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t day = 24 * 60 * 60;
constexpr std::int64_t start = 1'800'000'000;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

search::RunAd ad(const std::string& key, const std::string& price = "", int position = 0)
{
    search::RunAd ad;
    ad.key = key;
    ad.link = "https://x.example.org/d/" + key + ".html";
    ad.title = "Desk " + key;
    ad.price = price;
    ad.place = "Downtown";
    ad.pagePosition = position;
    return ad;
}

class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-store");
        shell::programFolder = folder;
        ASSERT_EQ(store.open(folder + "ads.db"), search::StoreStatus::ok) << store.lastError();
    }
    void TearDown() override
    {
        store.close();
        fs::remove_all(folder);
    }

    // One run of the tail: each city with its ads, or with no list (nullopt); returns what finish() said.
    bool run(const std::vector<std::pair<std::string, std::optional<std::vector<search::RunAd>>>>& cities,
             std::int64_t now = start, const std::string& tail = "/search/sss?query=desk")
    {
        search::StoreRun run;
        run.begin(&store, tail, now);
        int position = 0;
        for (const auto& [city, ads] : cities) {
            run.beginCity(city, ++position);
            if (ads) {
                for (const search::RunAd& a : *ads)
                    run.noteAd(a);
            }
            run.endCity(ads.has_value());
        }
        return run.finish();
    }
    std::vector<std::string> keysOf(const std::string& city, const std::string& tail = "/search/sss?query=desk")
    {
        std::vector<std::string> keys;
        for (const search::StoredAd& a : store.searchAds(tail))
            if (a.cityCode == city)
                keys.push_back(a.key);
        return keys;
    }

    std::string folder;
    search::AdStore store;
};

TEST(PriceAsWholeNumber, ReadsPricesAsShown)
{
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"$1,350", 1350}, {"$0", 0}, {"€900", 900}, {"1200", 1200}, {"$1,234,567", 1234567},
        {"$1,200.50", std::nullopt}, {"free", std::nullopt}, {"", std::nullopt}, {"$12,34", std::nullopt},
        {"$1234,567", std::nullopt}, {"$ 5", std::nullopt}, {"$5 obo", std::nullopt},
        {"$9999999999999999", std::nullopt}, {"USD$$5", std::nullopt},
    };
    for (const auto& [price, number] : cases)
        EXPECT_EQ(search::priceAsWholeNumber(price), number) << price;
}

TEST_F(Store, SchemaIsCreatedUpgradedAndANewerOneRefused)
{
    EXPECT_TRUE(store.execute("SELECT * FROM imported"));
    store.close();

    // An older store keeps what it holds and gains what it lacks.
    const std::string older = folder + "older.db";
    ASSERT_TRUE(search::createAdStoreSchema(older, 1));
    {
        sqlite3* db = nullptr;
        sqlite3_open(older.c_str(), &db);
        ASSERT_EQ(sqlite3_exec(db, "INSERT INTO marks(key, starred) VALUES ('K1', 1)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_EQ(store.open(older), search::StoreStatus::ok) << store.lastError();
    EXPECT_TRUE(store.marksOf("K1").starred);
    EXPECT_TRUE(store.execute("SELECT * FROM imported"));
    store.close();

    // A newer one is left byte for byte as it was.
    const std::string newer = folder + "newer.db";
    ASSERT_TRUE(search::createAdStoreSchema(newer, search::adStoreVersion));
    {
        sqlite3* db = nullptr;
        sqlite3_open(newer.c_str(), &db);
        sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const std::string before = readFile(newer);
    EXPECT_EQ(store.open(newer), search::StoreStatus::newerVersion);
    EXPECT_FALSE(store.isOpen());
    EXPECT_NE(store.lastError().find("newer version"), std::string::npos);
    EXPECT_EQ(readFile(newer), before);
    EXPECT_FALSE(fs::exists(newer + "-wal"));
}

// A store whose table lacks a column the program reads (damaged, or made by another program), or a database with
// tables but no version, is refused before anything is written to it.
TEST_F(Store, ATableLackingAColumnIsRefusedAndLeftAsItWas)
{
    store.close();
    struct Case {
        int version;
        const char* damage;
        const char* table;
    };
    const Case cases[] = {
        {search::adStoreVersion, "ALTER TABLE marks RENAME COLUMN note TO remark", "marks"},
        {search::adStoreVersion, "ALTER TABLE ads DROP COLUMN oldPriceNumber", "ads"},
        {search::adStoreVersion, "DROP TABLE settings", "settings"},
        {1, "ALTER TABLE cities RENAME COLUMN position TO place", "cities"},
        {0, "CREATE TABLE notes(text)", nullptr}, // another program's database
    };
    for (const Case& c : cases) {
        const std::string path = folder + "damaged.db";
        fs::remove(path);
        ASSERT_TRUE(search::createAdStoreSchema(path, c.version));
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        ASSERT_EQ(sqlite3_exec(db, c.damage, nullptr, nullptr, nullptr), SQLITE_OK) << c.damage;
        sqlite3_close(db);
        const std::string before = readFile(path);
        EXPECT_EQ(store.open(path), search::StoreStatus::failed) << c.damage;
        EXPECT_FALSE(store.isOpen());
        EXPECT_EQ(store.lastError(), c.table ? std::string("ads.db is damaged: its table ") + c.table
                              + " is not as Quillobrand writes it"
                                             : "ads.db is not an ad store of Quillobrand");
        EXPECT_EQ(readFile(path), before) << c.damage;
    }
}

// The NEW rules: an ad is new only where its city remembers and no city holds it; a city replaces its memory only
// when its page gave a list; nothing counts unless the run finished.
TEST_F(Store, AnAdIsNewOnlyWhereItsCityRemembersAndNoCityHoldsIt)
{
    using Ads = std::vector<search::RunAd>;
    ASSERT_TRUE(run({{"a", Ads{ad("K1")}}, {"b", Ads{ad("Z9")}}, {"c", Ads{}}}));
    search::StoreRun second;
    ASSERT_TRUE(second.begin(&store, "/search/sss?query=desk", start + 10));
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"b", "K1", false}, // listed under another city last time
        {"b", "K2", true},  {"c", "K2", true}, // a city that listed nothing remembers all the same
        {"d", "K2", false}, // no memory: nothing is new there
        {"a", "", false},
    };
    for (const auto& [city, key, isNew] : cases)
        EXPECT_EQ(second.isNew(city, key), isNew) << city << " " << key;

    second.beginCity("b", 4);
    int position = 0;
    for (const char* key : {"K2", "K1", "K2"})
        second.noteAd(ad(key, "", position++));
    second.endCity(true);
    second.beginCity("a", 2);
    second.noteAd(ad("K7"));
    second.endCity(false); // its page gave no list: it keeps K1
    ASSERT_TRUE(second.finish()) << second.failure();
    EXPECT_EQ(keysOf("a"), std::vector<std::string>{"K1"});
    EXPECT_EQ(keysOf("b"), (std::vector<std::string>{"K2", "K1"}));
    EXPECT_EQ(store.searchCities("/search/sss?query=desk"), (std::vector<std::string>{"a", "c", "b"}));

    // An unfinished run changes nothing, however many cities it wrote.
    {
        search::StoreRun cut;
        cut.begin(&store, "/search/sss?query=desk", start + 20);
        cut.beginCity("a", 1);
        cut.noteAd(ad("K9"));
        EXPECT_TRUE(cut.endCity(true));
    }
    EXPECT_EQ(keysOf("a"), std::vector<std::string>{"K1"});
    search::StoreRun third;
    third.begin(&store, "/search/sss?query=desk", start + 30);
    EXPECT_TRUE(third.isNew("a", "K9"));
}

TEST_F(Store, KeepsTheAdsOfEachCitysLastListWithTheirPriceHistory)
{
    using Ads = std::vector<search::RunAd>;
    search::RunAd folded = ad("F1", "$5", 1);
    folded.kind = search::RunAd::folded;
    search::RunAd excluded = ad("X1", "$5", 2);
    excluded.kind = search::RunAd::excluded;
    ASSERT_TRUE(run({{"boston", Ads{ad("A1", "$1,350", 0), folded, excluded}}}, start));
    search::RunAd cheaper = ad("A1", "$1,200", 0);
    cheaper.oldPrice = "$1,350";
    ASSERT_TRUE(run({{"boston", Ads{cheaper}}}, start + day));

    const std::vector<search::StoredAd> ads = store.searchAds("/search/sss?query=desk");
    ASSERT_EQ(ads.size(), 1u); // F1 and X1 are no longer on the city's list
    const search::StoredAd& a = ads[0];
    EXPECT_EQ(a.key, "A1");
    EXPECT_EQ(a.cityCode, "boston");
    EXPECT_EQ(a.cityPosition, 1);
    EXPECT_EQ(a.link, "https://x.example.org/d/A1.html");
    EXPECT_EQ(a.price, "$1,200");
    EXPECT_EQ(a.priceNumber, 1200);
    EXPECT_EQ(a.oldPrice, "$1,350");
    EXPECT_EQ(a.oldPriceNumber, 1350);
    EXPECT_EQ(a.firstSeen, start);
    EXPECT_EQ(a.lastSeen, start + day);

    // Every change of the whole-number price, with its time; the next run at the same price adds nothing.
    ASSERT_TRUE(run({{"boston", Ads{ad("A1", "$1,200", 0)}}}, start + 2 * day));
    sqlite3_stmt* history = nullptr;
    sqlite3_prepare_v2(store.handle(), "SELECT at, priceNumber FROM prices WHERE key = 'A1' ORDER BY at", -1,
                       &history, nullptr);
    std::vector<std::pair<std::int64_t, std::int64_t>> changes;
    while (sqlite3_step(history) == SQLITE_ROW)
        changes.emplace_back(sqlite3_column_int64(history, 0), sqlite3_column_int64(history, 1));
    sqlite3_finalize(history);
    EXPECT_EQ(changes, (std::vector<std::pair<std::int64_t, std::int64_t>>{{start, 1350}, {start + day, 1200}}));
    EXPECT_TRUE(store.searchAds("/search/sss?query=desk")[0].oldPrice.empty());

    search::StoreRun next;
    next.begin(&store, "/search/sss?query=desk", start + 3 * day);
    ASSERT_NE(next.lastPrice("A1"), nullptr);
    EXPECT_EQ(next.lastPrice("A1")->number, 1200);
    EXPECT_EQ(next.lastPrice("A1")->shown, "$1,200");
}

TEST_F(Store, ACityKeepsItsFirstKeysOnly)
{
    std::vector<search::RunAd> many;
    for (int i = 0; i < search::maximumKeysPerCity + 50; ++i)
        many.push_back(ad("K" + std::to_string(i), "", i));
    ASSERT_TRUE(run({{"big", many}}));
    const std::vector<std::string> kept = keysOf("big");
    ASSERT_EQ(kept.size(), size_t(search::maximumKeysPerCity));
    EXPECT_EQ(kept.back(), "K" + std::to_string(search::maximumKeysPerCity - 1));
    search::StoreRun next;
    next.begin(&store, "/search/sss?query=desk", start + 1);
    EXPECT_FALSE(next.isNew("big", "K0"));
    EXPECT_TRUE(next.isNew("big", "K" + std::to_string(search::maximumKeysPerCity)));
}

TEST_F(Store, MarksAreKeptPerKeyAndOutliveAForgottenSearch)
{
    ASSERT_TRUE(run({{"boston", std::vector<search::RunAd>{ad("A1"), ad("A2")}}}));
    EXPECT_TRUE(store.knowsAd("A1"));
    EXPECT_FALSE(store.knowsAd("A3"));
    ASSERT_TRUE(store.setStarred("A1", true));
    ASSERT_TRUE(store.setHidden("A2", true));
    // 2,001 characters, each two bytes: cut to 2,000 characters.
    std::string note;
    for (int i = 0; i < 2001; ++i)
        note += "é";
    ASSERT_TRUE(store.setNote("A1", note));
    EXPECT_EQ(store.marksOf("A1").note, note.substr(0, 4000));
    EXPECT_TRUE(store.marksOf("A2").hidden);
    EXPECT_FALSE(store.marksOf("A2").starred);

    const std::vector<search::StoredAd> starred = store.starredAds();
    ASSERT_EQ(starred.size(), 1u);
    EXPECT_EQ(starred[0].key, "A1");
    EXPECT_EQ(starred[0].tail, "/search/sss?query=desk");
    EXPECT_EQ(store.searchTails(), std::vector<std::string>{"/search/sss?query=desk"});

    ASSERT_TRUE(store.forgetSearch("/search/sss?query=desk"));
    EXPECT_TRUE(store.searchTails().empty());
    EXPECT_TRUE(store.searchCities("/search/sss?query=desk").empty());
    EXPECT_TRUE(store.marksOf("A1").starred);
    search::StoreRun again;
    again.begin(&store, "/search/sss?query=desk", start + 1);
    EXPECT_FALSE(again.hasMemory());
}

TEST_F(Store, StartUpRemovesAdsUnlistedFor90DaysUnlessMarked)
{
    using Ads = std::vector<search::RunAd>;
    ASSERT_TRUE(run({{"a", Ads{ad("OLD", "", 0), ad("STAR", "", 1), ad("NOTE", "", 2)}}}, start));
    ASSERT_TRUE(run({{"b", Ads{ad("RECENT")}}}, start + 10 * day));
    store.setStarred("STAR", true);
    store.setNote("NOTE", "call");
    store.setHidden("GONE", true);
    store.setHidden("GONE", false); // a mark row with nothing left in it goes too
    ASSERT_TRUE(store.startUp(start + 91 * day, folder + "seen/"));
    EXPECT_EQ(keysOf("a"), (std::vector<std::string>{"STAR", "NOTE"}));
    EXPECT_EQ(keysOf("b"), std::vector<std::string>{"RECENT"});
    EXPECT_FALSE(store.knowsAd("OLD"));
}

TEST_F(Store, MemoryFilesOfEarlierVersionsAreReadOnce)
{
    const std::string tail = "/search/sss?query=desk";
    fs::create_directory(folder + "seen");
    const std::string file = search::seenFilePath(tail);
    std::ofstream(file, std::ios::binary) << "[a]\r\nK1\r\nK2\r\n[c]\r\n";
    ASSERT_TRUE(store.startUp(start, folder + "seen/"));
    // Changed afterwards, it is read no more.
    std::ofstream(file, std::ios::binary) << "[a]\r\nK3\r\n";
    ASSERT_TRUE(store.startUp(start, folder + "seen/"));
    EXPECT_EQ(readFile(file), "[a]\r\nK3\r\n");

    search::StoreRun first;
    ASSERT_TRUE(first.begin(&store, tail, start)) << first.failure();
    EXPECT_FALSE(first.isNew("a", "K1"));
    EXPECT_TRUE(first.isNew("a", "K3"));
    EXPECT_TRUE(first.isNew("c", "K3"));
    EXPECT_FALSE(first.isNew("b", "K3"));
    // Another search's run doesn't take it.
    search::StoreRun other;
    other.begin(&store, "/search/sss?query=chair", start);
    EXPECT_FALSE(other.hasMemory());
}

TEST_F(Store, TwoConnectionsShareTheStore)
{
    search::AdStore second;
    ASSERT_EQ(second.open(folder + "ads.db"), search::StoreStatus::ok);
    ASSERT_TRUE(run({{"a", std::vector<search::RunAd>{ad("K1")}}}));
    EXPECT_TRUE(second.knowsAd("K1"));
    ASSERT_TRUE(second.setStarred("K1", true));
    EXPECT_TRUE(store.marksOf("K1").starred);
}

} // namespace
