// The NEW marks: ads of today's shape that the last run of the same search did not list, and the memory behind them.

#include "search/searchrun.h"
#include "search/seenads.h"

#include "platform/download.h"
#include "platform/settings.h"
#include "shell/programstate.h"

#include "samplesite.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        fs::create_directory(folder + "seen");
        shell::programFolder = folder;
        shell::resultsPagePath = folder + "Last Search.html";
        platform::settings().siteDomain = site->domain();
        platform::settings().siteScheme = "http";
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
    std::string memoryPath() const
    {
        return search::seenFilePath(search::buildSearchTail(search, "sss", site->domain()));
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
    EXPECT_EQ(readFile(memoryPath()), memoryOf({{"springfield", springfield}, {"shelbyville", shelbyville}}));

    // Two ads of springfield and one of shelbyville were not there last time.
    std::vector<std::string> rememberedSpringfield = springfield, rememberedShelbyville = shelbyville;
    rememberedSpringfield.erase(rememberedSpringfield.begin() + 3);
    rememberedSpringfield.erase(rememberedSpringfield.begin());
    rememberedShelbyville.erase(rememberedShelbyville.begin() + 1);
    writeFile(memoryPath(), memoryOf({{"springfield", rememberedSpringfield}, {"shelbyville", rememberedShelbyville}}));

    const std::string second = run("springfield\r\nshelbyville\r\n");
    const std::string newInSpringfield = blockOf(second, "SPRINGFIELD");
    EXPECT_NE(newInSpringfield.find("<h4>\r\n<p>2 new</p><p class=\"ad\">"), std::string::npos) << second;
    EXPECT_EQ(idsIn(newInSpringfield, true), (std::vector<std::string>{springfield[0], springfield[3]}));
    EXPECT_NE(blockOf(second, "SHELBYVILLE").find("<h4>\r\n<p>1 new</p><p class=\"ad\">"), std::string::npos);
    EXPECT_EQ(idsIn(blockOf(second, "SHELBYVILLE"), true), std::vector<std::string>{shelbyville[1]});
    EXPECT_EQ(readFile(memoryPath()), memoryOf({{"springfield", springfield}, {"shelbyville", shelbyville}}));
}

TEST_F(NewAds, ChangedOptionIsAnotherSearch)
{
    run("springfield\r\n");
    const std::string firstMemory = memoryPath();
    search.priceMin = "5";
    ASSERT_NE(memoryPath(), firstMemory);
    EXPECT_EQ(run("springfield\r\n").find("NEW"), std::string::npos);
    EXPECT_TRUE(fs::exists(memoryPath()));
    EXPECT_TRUE(fs::exists(firstMemory));
}

// Each city keeps its own ids until its page gives a list again: a failure, another area list or a run cut short
// never makes known ads look new, and the memory holds one list per city however often runs are interrupted.
TEST_F(NewAds, CitiesKeepTheirMemoryUntilTheyListAgain)
{
    const std::string both = "springfield\r\nshelbyville\r\n";
    const std::string first = run(both);
    const std::string memory = readFile(memoryPath());

    // Every download fails once: the download file can't be written.
    fs::remove(folder + "temp.html");
    fs::create_directory(folder + "temp.html");
    const std::string failed = run(both);
    EXPECT_NE(failed.find("Not searched: the page could not be saved on this computer."), std::string::npos);
    EXPECT_EQ(readFile(memoryPath()), memory);
    fs::remove(folder + "temp.html");
    EXPECT_EQ(run(both).find("NEW"), std::string::npos);

    // Another area list: its new city starts quietly and the first list's cities keep theirs.
    EXPECT_EQ(run("ogdenville\r\n").find("NEW"), std::string::npos);
    EXPECT_EQ(run(both).find("NEW"), std::string::npos);
    EXPECT_NE(readFile(memoryPath()).find("[ogdenville]\r\n"), std::string::npos);

    // Interrupted runs, again and again: the memory stays one list per city.
    const std::string three = readFile(memoryPath());
    for (int i = 0; i < 3; ++i)
        run(both, 1);
    EXPECT_EQ(readFile(memoryPath()), three);
}

TEST_F(NewAds, ResultsPageThatCantBeWrittenLeavesTheMemory)
{
    run("springfield\r\n");
    writeFile(memoryPath(), "[springfield]\r\nK1\r\n");
    // A folder where the results page goes: no block can be written, as on a full disk.
    fs::remove(shell::resultsPagePath);
    fs::create_directory(shell::resultsPagePath);
    run("springfield\r\n");
    EXPECT_EQ(readFile(memoryPath()), "[springfield]\r\nK1\r\n");
}

TEST_F(NewAds, MissingMemoryFolderIsMadeAgain)
{
    fs::remove_all(folder + "seen");
    run("springfield\r\n");
    EXPECT_TRUE(fs::is_regular_file(memoryPath()));
}

TEST_F(NewAds, DamagedMemoryCountsAsNoneAndIsReplaced)
{
    writeFile(memoryPath(), std::string("[springfield]\r\nid one\r\n\0\x01\xFF\r\n", 28));
    const std::string page = run("springfield\r\n");
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_EQ(readFile(memoryPath()), memoryOf({{"springfield", idsIn(page)}}));
}

TEST_F(NewAds, OldShapeIsWrittenAsBeforeAndRemembersNothing)
{
    writeFile(memoryPath(), "[abc]\r\nsomeid\r\n");
    const std::string page = run("abc\r\n");
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_NE(page.find("<p class=\"row\" data-pid=\"abc1\">"), std::string::npos);
    EXPECT_EQ(readFile(memoryPath()), "[abc]\r\nsomeid\r\n");
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
