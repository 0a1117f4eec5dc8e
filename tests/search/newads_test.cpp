// The NEW marks: ads of today's shape that the last run of the same search did not list, and the memory behind them.

#include "search/searchrun.h"
#include "search/adstore.h"
#include "search/seenads.h"

#include "platform/download.h"
#include "platform/settings.h"
#include "shell/programstate.h"

#include "samplesite.h"
#include "storememory.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The post ids of the ads linked in a piece of the results page, in order; marked: only those marked NEW.
std::vector<std::string> idsIn(const std::string& html, bool marked = false)
{
    static const std::regex ad(R"(<p class="ad">(?:<img [^>]*> )?(<b>NEW</b> )?<a href="[^"]*/([^/"]+?)(\.html)?">)");
    std::vector<std::string> ids;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), ad); it != std::sregex_iterator(); ++it)
        if (!marked || (*it)[1].matched)
            ids.push_back((*it)[2]);
    return ids;
}

class NewAds : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        site = new SampleSite({"--old-shape", "abc", "--list-line", "20", "--ads", "4"});
        platform::setDownloadTimeouts(2, 2);
    }
    static void TearDownTestSuite()
    {
        delete site;
        site = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(site->started());
        folder = makeTestFolder("qb-new");
        fs::create_directory(folder + "citydata");
        shell::programFolder = folder;
        shell::resultsPagePath = folder + "Last Search.html";
        platform::settings().siteDomain = site->domain();
        platform::settings().siteScheme = "http";
        platform::settings().urlForm = "area";
        search.categoryCode = "sss";
        search.words = "desk";
    }
    void TearDown() override { fs::remove_all(folder); }

    // One run over the cities; closeAfterPass ends it after that pass (0: never). Returns the results page.
    std::string run(const std::string& cities, int closeAfterPass = 0)
    {
        writeFile(folder + "citydata/test.city", cities);
        search::RunHooks hooks;
        int lastPass = 0;
        hooks.cityStarted = [&](const std::string&, int pass) { lastPass = pass; };
        hooks.closeRequested = [&] { return lastPass == closeAfterPass; };
        search::runSearchPasses(search, "sss", folder + "citydata/test.city", hooks);
        return readFile(shell::resultsPagePath);
    }
    std::string tail() const { return search::buildSearchTail(search, "sss", site->domain()); }
    // The search's memory in the store, in the form memoryOf gives.
    std::string memory() const { return storeMemoryText(folder + "ads.db", tail()); }
    void setMemory(const std::string& text) const
    {
        search::AdStore store; // made when missing
        ASSERT_EQ(store.open(folder + "ads.db"), search::StoreStatus::ok);
        ASSERT_TRUE(setStoreMemory(folder + "ads.db", tail(), text));
    }
    // The block of a city in a results page.
    static std::string blockOf(const std::string& page, const std::string& upperCity)
    {
        const size_t start = page.find(">" + upperCity + "</a><h4>");
        const size_t end = page.find("<h2>", start);
        return start == std::string::npos ? "" : page.substr(start, end == std::string::npos ? end : end - start);
    }
    // The memory file of cities (sorted by code) and their ids.
    static std::string memoryOf(const std::map<std::string, std::vector<std::string>>& cities)
    {
        std::string text;
        for (auto [city, ids] : cities) {
            std::sort(ids.begin(), ids.end());
            ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
            text += "[" + city + "]\r\n";
            for (const std::string& id : ids)
                text += id + "\r\n";
        }
        return text;
    }

    static SampleSite* site;
    std::string folder;
    search::SearchDefinition search;
};

SampleSite* NewAds::site = nullptr;

TEST_F(NewAds, FirstRunMarksNothingAndTheNextMarksWhatItLacks)
{
    const std::string first = run("springfield\r\nshelbyville\r\n");
    const std::vector<std::string> springfield = idsIn(blockOf(first, "SPRINGFIELD"));
    const std::vector<std::string> shelbyville = idsIn(blockOf(first, "SHELBYVILLE"));
    ASSERT_EQ(springfield.size() + shelbyville.size(), 8u) << first;
    EXPECT_EQ(first.find("NEW"), std::string::npos);
    EXPECT_EQ(first.find(" new</p>"), std::string::npos);
    EXPECT_EQ(memory(), memoryOf({{"springfield", springfield}, {"shelbyville", shelbyville}}));

    // Two ads of springfield and one of shelbyville were not there last time.
    std::vector<std::string> rememberedSpringfield = springfield, rememberedShelbyville = shelbyville;
    rememberedSpringfield.erase(rememberedSpringfield.begin() + 3);
    rememberedSpringfield.erase(rememberedSpringfield.begin());
    rememberedShelbyville.erase(rememberedShelbyville.begin() + 1);
    setMemory(memoryOf({{"springfield", rememberedSpringfield}, {"shelbyville", rememberedShelbyville}}));

    const std::string second = run("springfield\r\nshelbyville\r\n");
    const std::string newInSpringfield = blockOf(second, "SPRINGFIELD");
    EXPECT_NE(newInSpringfield.find("<h4>\r\n<p>2 new</p><p class=\"ad\">"), std::string::npos) << second;
    EXPECT_EQ(idsIn(newInSpringfield, true), (std::vector<std::string>{springfield[0], springfield[3]}));
    EXPECT_NE(blockOf(second, "SHELBYVILLE").find("<h4>\r\n<p>1 new</p><p class=\"ad\">"), std::string::npos);
    EXPECT_EQ(idsIn(blockOf(second, "SHELBYVILLE"), true), std::vector<std::string>{shelbyville[1]});
    EXPECT_EQ(memory(), memoryOf({{"springfield", springfield}, {"shelbyville", shelbyville}}));
}

TEST_F(NewAds, ChangedOptionIsAnotherSearch)
{
    run("springfield\r\n");
    const std::string firstTail = tail();
    search.priceMin = "5";
    ASSERT_NE(tail(), firstTail);
    EXPECT_EQ(run("springfield\r\n").find("NEW"), std::string::npos);
    EXPECT_NE(memory(), "");
    EXPECT_NE(storeMemoryText(folder + "ads.db", firstTail), "");
}

// Each city keeps its own ids until its page gives a list again: a failure, another area list or a run cut short
// never makes known ads look new, and the memory holds one list per city however often runs are interrupted.
TEST_F(NewAds, CitiesKeepTheirMemoryUntilTheyListAgain)
{
    const std::string both = "springfield\r\nshelbyville\r\n";
    const std::string first = run(both);
    const std::string remembered = memory();

    // Every download fails once: the download file can't be written.
    fs::remove(folder + "temp.html");
    fs::create_directory(folder + "temp.html");
    const std::string failed = run(both);
    EXPECT_NE(failed.find("Not searched: the page could not be saved on this computer."), std::string::npos);
    EXPECT_EQ(memory(), remembered);
    fs::remove(folder + "temp.html");
    EXPECT_EQ(run(both).find("NEW"), std::string::npos);

    // Another area list: its new city starts quietly and the first list's cities keep theirs.
    EXPECT_EQ(run("ogdenville\r\n").find("NEW"), std::string::npos);
    EXPECT_EQ(run(both).find("NEW"), std::string::npos);
    EXPECT_NE(memory().find("[ogdenville]\r\n"), std::string::npos);

    // Interrupted runs, again and again: the memory stays one list per city.
    const std::string three = memory();
    for (int i = 0; i < 3; ++i)
        run(both, 1);
    EXPECT_EQ(memory(), three);
}

TEST_F(NewAds, ResultsPageThatCantBeWrittenLeavesTheMemory)
{
    run("springfield\r\n");
    setMemory("[springfield]\r\nK1\r\n");
    // A folder where the results page goes: no block can be written, as on a full disk.
    fs::remove(shell::resultsPagePath);
    fs::create_directory(shell::resultsPagePath);
    run("springfield\r\n");
    EXPECT_EQ(memory(), "[springfield]\r\nK1\r\n");
}

TEST_F(NewAds, MissingStoreIsMade)
{
    fs::remove(folder + "ads.db");
    writeFile(folder + "citydata/test.city", "springfield\r\n");
    const search::RunOutcome outcome = search::runSearchPasses(search, "sss", folder + "citydata/test.city", {});
    EXPECT_FALSE(outcome.memoryNotSaved);
    EXPECT_NE(memory().find("[springfield]\r\n"), std::string::npos);
}

// A file that isn't a store: nothing is marked, the page is whole, the run says its memory was not saved, and the
// file is left for the user (it may hold stars and notes).
TEST_F(NewAds, DamagedStoreIsLeftAndSaysSo)
{
    const std::string damaged(4096, '\x17');
    writeFile(folder + "ads.db", damaged);
    writeFile(folder + "citydata/test.city", "springfield\r\n");
    const search::RunOutcome outcome = search::runSearchPasses(search, "sss", folder + "citydata/test.city", {});
    const std::string page = readFile(shell::resultsPagePath);
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_EQ(idsIn(page).size(), 4u);
    EXPECT_TRUE(outcome.memoryNotSaved);
    EXPECT_FALSE(outcome.memoryFailure.empty());
    EXPECT_EQ(readFile(folder + "ads.db"), damaged);
}

TEST_F(NewAds, OldShapeIsWrittenAsBeforeAndRemembersNothing)
{
    setMemory("[abc]\r\nsomeid\r\n");
    const std::string page = run("abc\r\n");
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_NE(page.find("<p class=\"row\" data-pid=\"abc1\">"), std::string::npos);
    EXPECT_EQ(memory(), "[abc]\r\nsomeid\r\n");
}

TEST(SeenAds, AnAdIsNewOnlyWhereItsCityRemembersAndNoCityHoldsIt)
{
    const std::string folder = makeTestFolder("qb-seen");
    // Ids before any city are an older form of the file: no city's.
    writeFile(folder + "x.seen", "OLD1\r\n[a]\r\nK1\r\n[b]\r\nZ9\r\n[c]\r\n");
    search::SeenAds seen;
    seen.load(folder + "x.seen");
    ASSERT_TRUE(seen.hasMemory());
    EXPECT_FALSE(seen.isNew("b", "K1")); // listed under another city last time
    EXPECT_TRUE(seen.isNew("b", "K2"));
    EXPECT_TRUE(seen.isNew("c", "K2")); // a city that listed nothing remembers all the same
    EXPECT_TRUE(seen.isNew("a", "OLD1"));
    EXPECT_FALSE(seen.isNew("d", "K2")); // no memory: nothing is new there
    seen.beginCity("b");
    for (const char* id : {"K2", "K1", "K2"})
        seen.noteListed(id);
    seen.endCity(true);
    seen.beginCity("a");
    seen.noteListed("K7");
    seen.endCity(false); // its page gave no list: it keeps K1
    ASSERT_TRUE(seen.save(folder + "x.seen"));
    EXPECT_EQ(readFile(folder + "x.seen"), "[a]\r\nK1\r\n[b]\r\nK1\r\nK2\r\n[c]\r\n");
    fs::remove_all(folder);
}

// --- The store's marks on the page and what a run leaves in the store, however it ends.

class StoreMarks : public NewAds {
protected:
    search::RunOutcome runWithOutcome(const std::string& cities)
    {
        writeFile(folder + "citydata/test.city", cities);
        return search::runSearchPasses(search, "sss", folder + "citydata/test.city", {});
    }
    // The item of the ad with this key on the page.
    static std::string itemOf(const std::string& page, const std::string& key)
    {
        size_t link = page.find("/" + key + ".html\"");
        if (link == std::string::npos)
            link = page.find("/" + key + "\"");
        if (link == std::string::npos)
            return "";
        const size_t start = page.rfind("<p class=", link);
        return page.substr(start, page.find("</p>", link) + 4 - start);
    }
    // The keys of the first run's springfield ads that have a whole-number price.
    std::vector<std::string> pricedKeys()
    {
        search::AdStore store;
        store.open(folder + "ads.db");
        std::vector<std::string> keys;
        for (const search::StoredAd& ad : store.searchAds(tail()))
            if (ad.priceNumber)
                keys.push_back(ad.key);
        return keys;
    }
    void execute(const std::string& sql)
    {
        search::AdStore store;
        ASSERT_EQ(store.open(folder + "ads.db"), search::StoreStatus::ok);
        ASSERT_TRUE(store.execute(sql.c_str())) << store.lastError();
    }
};

TEST_F(StoreMarks, PriceDropIsMarkedCountedAndToldOnce)
{
    run("springfield\r\n");
    const std::vector<std::string> keys = pricedKeys();
    ASSERT_GE(keys.size(), 2u) << readFile(shell::resultsPagePath);
    const std::string page = readFile(shell::resultsPagePath);
    const std::string item = itemOf(page, keys[0]);
    const size_t priceAt = item.find("</a> $") + 5;
    const std::optional<std::int64_t> price
        = search::priceAsWholeNumber(item.substr(priceAt, item.find(' ', priceAt) - priceAt));
    ASSERT_TRUE(price.has_value()) << item;
    const std::string higher = "$" + std::to_string(*price + 100);
    execute("UPDATE ads SET price = '" + higher + "', priceNumber = " + std::to_string(*price + 100) + " WHERE key = '"
            + keys[0] + "'");
    {
        search::AdStore store;
        store.open(folder + "ads.db");
        store.forgetKey(tail(), keys[1]);
    }

    const search::RunOutcome second = runWithOutcome("springfield\r\n");
    const std::string marked = readFile(shell::resultsPagePath);
    EXPECT_NE(marked.find("<h4>\r\n<p>1 new, 1 cheaper</p>"), std::string::npos) << marked;
    EXPECT_NE(itemOf(marked, keys[0]).find("</a> $" + std::to_string(*price) + " <s>" + higher + "</s>"),
              std::string::npos)
        << itemOf(marked, keys[0]);
    EXPECT_EQ(second.newCount, 1);
    ASSERT_EQ(second.cheaperCount, 1);
    ASSERT_EQ(second.cheaperAds.size(), 1u);
    EXPECT_EQ(second.cheaperAds[0].oldPrice, higher);
    EXPECT_EQ(second.cheaperAds[0].price, "$" + std::to_string(*price));
    EXPECT_EQ(second.cheaperAds[0].cityCode, "springfield");

    // The store had the lower price since: nothing to tell again.
    const search::RunOutcome third = runWithOutcome("springfield\r\n");
    EXPECT_EQ(third.cheaperCount, 0);
    EXPECT_EQ(readFile(shell::resultsPagePath).find("cheaper"), std::string::npos);
}

TEST_F(StoreMarks, StarredAdShowsItsStarAndItsNoteAsText)
{
    run("springfield\r\n");
    const std::string key = pricedKeys().at(0);
    const std::string plain = itemOf(readFile(shell::resultsPagePath), key);
    {
        search::AdStore store;
        store.open(folder + "ads.db");
        store.setStarred(key, true);
        store.setNote(key, "call <b>Bob</b> & \"ask\"\nafter 5");
    }
    const std::string page = run("springfield\r\n");
    const std::string item = itemOf(page, key);
    std::string expected = plain;
    expected.insert(expected.find("<a href="), "&#9733; ");
    expected.insert(expected.size() - 4,
                    "<br><i class=\"note\">call &lt;b&gt;Bob&lt;/b&gt; &amp; &quot;ask&quot;<br>after 5</i>");
    EXPECT_EQ(item, expected);
}

TEST_F(StoreMarks, HiddenAdIsLeftOutCountedAndNeverNew)
{
    const std::string first = run("springfield\r\n");
    const std::vector<std::string> ids = idsIn(first);
    ASSERT_EQ(ids.size(), 4u);
    {
        search::AdStore store;
        store.open(folder + "ads.db");
        store.forgetKey(tail(), ids[2]); // it would be NEW
        store.setHidden(ids[2], true);
    }
    const search::RunOutcome outcome = runWithOutcome("springfield\r\n");
    const std::string page = readFile(shell::resultsPagePath);
    EXPECT_EQ(itemOf(page, ids[2]), "");
    EXPECT_EQ(idsIn(page).size(), 3u);
    EXPECT_NE(page.find("</p><p class=\"hidden\">1 hidden</p><br>"), std::string::npos) << page;
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_EQ(outcome.newCount, 0);
    EXPECT_TRUE(outcome.newAds.empty());
    // Still listed: shown again once unhidden, and not new then.
    EXPECT_NE(memory().find(ids[2] + "\r\n"), std::string::npos);
}

TEST_F(StoreMarks, NewerStoreIsLeftAsItIsAndSaid)
{
    run("springfield\r\n");
    execute("PRAGMA user_version=" + std::to_string(search::adStoreVersion + 1) + "; PRAGMA wal_checkpoint(TRUNCATE)");
    // Let the thread's connection go: a program of this version meets the file as it starts.
    shell::programFolder = folder + "elsewhere/";
    fs::create_directory(shell::programFolder);
    search::threadStore();
    shell::programFolder = folder;
    const std::string before = readFile(folder + "ads.db");
    const search::RunOutcome outcome = runWithOutcome("springfield\r\n");
    EXPECT_TRUE(outcome.storeTooNew);
    EXPECT_FALSE(outcome.memoryNotSaved);
    EXPECT_EQ(readFile(folder + "ads.db"), before);
    EXPECT_EQ(idsIn(readFile(shell::resultsPagePath)).size(), 4u);
}

// A full disk: a file-size limit lets the results page through but not the store's growth. The run says so, with
// the reason, and the store keeps what it had.
TEST_F(StoreMarks, StoreThatCantBeWrittenIsSaid)
{
    run("springfield\r\n");
    const std::string memoryBefore = memory();
    execute("PRAGMA wal_checkpoint(TRUNCATE)");
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    limit.rlim_cur = 6000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const search::RunOutcome outcome = runWithOutcome("shelbyville\r\nspringfield\r\n");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(outcome.pageComplete);
    EXPECT_TRUE(outcome.memoryNotSaved);
    EXPECT_FALSE(outcome.memoryFailure.empty());
    EXPECT_EQ(search::memoryNotSavedMessage(outcome),
              "The list of ads already seen could not be saved: " + outcome.memoryFailure
                  + ". The same ads will be marked new next time.");
    EXPECT_EQ(memory(), memoryBefore);
    // With room again, the next run remembers both cities.
    EXPECT_FALSE(runWithOutcome("shelbyville\r\nspringfield\r\n").memoryNotSaved);
    EXPECT_NE(memory().find("[shelbyville]"), std::string::npos);
}

// A run killed anywhere leaves the store as it was before the run or as a whole run leaves it; the next start
// drops what the killed run wrote, and the next run is right.
TEST_F(StoreMarks, RunKilledAnywhereLeavesTheStoreBeforeOrAfter)
{
    const std::string cities = "springfield\r\nshelbyville\r\nogdenville\r\ncapital\r\n";
    run("springfield\r\n");
    setMemory("[springfield]\r\nK1\r\n[shelbyville]\r\nK2\r\n");
    const std::string before = memory();
    // What a whole run leaves, learnt in a copy.
    execute("PRAGMA wal_checkpoint(TRUNCATE)");
    fs::copy_file(folder + "ads.db", folder + "copy.db");
    run(cities);
    const std::string after = memory();
    ASSERT_NE(after, before);
    // The test's own connection goes before the files are swapped back.
    shell::programFolder = folder + "elsewhere/";
    fs::create_directory(shell::programFolder);
    search::threadStore();
    shell::programFolder = folder;

    // Killed as a city starts (the pass given), or after a time in microseconds.
    struct Kill {
        int atPass;
        int afterMicroseconds;
    };
    std::vector<Kill> kills;
    for (int pass = 1; pass <= 4; ++pass)
        kills.push_back({pass, 0});
    for (int us = 2500; us < 60000; us += 2500)
        kills.push_back({0, us});
    kills.push_back({0, 3000000}); // long after the run's end
    int sawBefore = 0, sawAfter = 0;
    for (const Kill& kill : kills) {
        fs::remove(folder + "ads.db-wal");
        fs::remove(folder + "ads.db-shm");
        fs::copy_file(folder + "copy.db", folder + "ads.db", fs::copy_options::overwrite_existing);
        writeFile(folder + "citydata/test.city", cities);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            search::RunHooks hooks;
            hooks.cityStarted = [&](const std::string&, int pass) {
                if (pass == kill.atPass)
                    ::raise(SIGKILL);
            };
            search::runSearchPasses(search, "sss", folder + "citydata/test.city", hooks);
            ::_exit(0);
        }
        if (kill.afterMicroseconds > 0) {
            ::usleep(static_cast<useconds_t>(kill.afterMicroseconds));
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);

        const std::string left = memory();
        EXPECT_TRUE(left == before || left == after) << kill.atPass << " " << kill.afterMicroseconds << "\n" << left << "\nbefore:\n" << before << "\nafter:\n" << after;
        (left == before ? sawBefore : sawAfter)++;
        search::AdStore store;
        ASSERT_EQ(store.open(folder + "ads.db"), search::StoreStatus::ok);
        ASSERT_TRUE(store.startUp(static_cast<std::int64_t>(std::time(nullptr)), folder + "seen/"));
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(store.handle(), "SELECT (SELECT COUNT(*) FROM staged) + (SELECT COUNT(*) FROM runs)", -1,
                           &query, nullptr);
        ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(query, 0), 0);
        sqlite3_finalize(query);
        store.close();
    }
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawAfter, 0);
    // The next run, after the last kill, is right: every city remembers its list.
    search::threadStore();
    run(cities);
    EXPECT_EQ(memory(), after);
}

struct KeptFileCase {
    const char* name;
    std::string file;
    std::string saved; // after a run in which no city listed anything
};

class SeenAdsKept : public ::testing::TestWithParam<KeptFileCase> { };

TEST_P(SeenAdsKept, SavesWhatReadsBack)
{
    const std::string folder = makeTestFolder("qb-seen-kept");
    writeFile(folder + "x.seen", GetParam().file);
    search::SeenAds seen;
    seen.load(folder + "x.seen");
    seen.beginCity("other");
    seen.endCity(false);
    ASSERT_TRUE(seen.save(folder + "x.seen"));
    EXPECT_EQ(readFile(folder + "x.seen"), GetParam().saved);
    search::SeenAds again;
    again.load(folder + "x.seen");
    EXPECT_FALSE(again.isNew("a", "K1"));
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SeenAdsKept,
    ::testing::Values(KeptFileCase{"wholeLines", "[a]\r\nK1\r\n", "[a]\r\nK1\r\n"},
                      KeptFileCase{"lastLineWithoutItsEnd", "[a]\r\nK1", "[a]\r\nK1\r\n"},
                      KeptFileCase{"lastLineCutAfterItsCarriageReturn", "[a]\r\nK1\r", "[a]\r\nK1\r\n"},
                      KeptFileCase{"lineFeedsAlone", "[a]\nK1\nK2\n", "[a]\r\nK1\nK2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CityCodeCase {
    const char* name;
    std::string code;
    bool remembered; // a code that can't stand on a line of the file is not; the other cities are all the same
};

class SeenAdsCityCode : public ::testing::TestWithParam<CityCodeCase> { };

TEST_P(SeenAdsCityCode, ReadsBackAsItsCity)
{
    const std::string folder = makeTestFolder("qb-seen-code");
    search::SeenAds run;
    for (const std::string& code : {std::string("before"), GetParam().code, std::string("zzz")}) {
        run.beginCity(code);
        run.noteListed("ID-" + std::to_string(code.size()));
        run.endCity(true);
    }
    ASSERT_TRUE(run.save(folder + "x.seen"));
    search::SeenAds next;
    next.load(folder + "x.seen");
    EXPECT_EQ(next.cityHasMemory(GetParam().code), GetParam().remembered);
    EXPECT_TRUE(next.cityHasMemory("before"));
    EXPECT_TRUE(next.cityHasMemory("zzz"));
    EXPECT_FALSE(next.isNew("zzz", "ID-6"));
    EXPECT_TRUE(next.isNew("zzz", "ID-99"));
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SeenAdsCityCode,
    ::testing::Values(CityCodeCase{"closingBracket", "abc]", true}, CityCodeCase{"bracketAlone", "]", true},
                      CityCodeCase{"bracketsInside", "[a]b", true}, CityCodeCase{"blankAtTheEnd", "abc ", true},
                      CityCodeCase{"empty", "", true}, CityCodeCase{"zeroByte", std::string("a\0b", 3), false},
                      CityCodeCase{"lineFeed", "a\nb", false}, CityCodeCase{"carriageReturn", "a\rb\r", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
