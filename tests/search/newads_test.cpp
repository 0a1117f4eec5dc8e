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
    static const std::regex ad(R"(<p>(<b>NEW</b> )?<a href="[^"]*/([^/"]+?)(\.html)?">)");
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
    static std::string memoryOf(std::vector<std::string> ids)
    {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        std::string text;
        for (const std::string& id : ids)
            text += id + "\r\n";
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
    const std::vector<std::string> listed = idsIn(first);
    ASSERT_EQ(listed.size(), 8u) << first;
    EXPECT_EQ(first.find("NEW"), std::string::npos);
    EXPECT_EQ(first.find(" new</p>"), std::string::npos);
    EXPECT_EQ(readFile(memoryPath()), memoryOf(listed));

    // Two ads of springfield and one of shelbyville were not there last time.
    const std::vector<std::string> springfield = idsIn(blockOf(first, "SPRINGFIELD"));
    const std::vector<std::string> shelbyville = idsIn(blockOf(first, "SHELBYVILLE"));
    std::vector<std::string> remembered = listed;
    for (const std::string& gone : {springfield[0], springfield[3], shelbyville[1]})
        remembered.erase(std::find(remembered.begin(), remembered.end(), gone));
    writeFile(memoryPath(), memoryOf(remembered));

    const std::string second = run("springfield\r\nshelbyville\r\n");
    const std::string newInSpringfield = blockOf(second, "SPRINGFIELD");
    EXPECT_NE(newInSpringfield.find("<h4>\r\n<p>2 new</p><p><b>NEW</b> <a href="), std::string::npos) << second;
    EXPECT_EQ(idsIn(newInSpringfield, true), (std::vector<std::string>{springfield[0], springfield[3]}));
    EXPECT_NE(blockOf(second, "SHELBYVILLE").find("<h4>\r\n<p>1 new</p><p><a href="), std::string::npos);
    EXPECT_EQ(idsIn(blockOf(second, "SHELBYVILLE"), true), std::vector<std::string>{shelbyville[1]});
    EXPECT_EQ(readFile(memoryPath()), memoryOf(listed));
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

TEST_F(NewAds, InterruptedRunKeepsTheIdsOfTheCitiesNotReached)
{
    const std::vector<std::string> all = idsIn(run("springfield\r\nshelbyville\r\n"));
    run("springfield\r\nshelbyville\r\n", 1);
    EXPECT_EQ(readFile(memoryPath()), memoryOf(all));
    EXPECT_EQ(run("springfield\r\nshelbyville\r\n").find("NEW"), std::string::npos);
}

TEST_F(NewAds, DamagedMemoryCountsAsNoneAndIsReplaced)
{
    writeFile(memoryPath(), std::string("id one\r\n\0\x01\xFF\r\n", 13));
    const std::string page = run("springfield\r\n");
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_EQ(readFile(memoryPath()), memoryOf(idsIn(page)));
}

TEST_F(NewAds, OldShapeIsWrittenAsBeforeAndRemembersNothing)
{
    writeFile(memoryPath(), "someid\r\n");
    const std::string page = run("abc\r\n");
    EXPECT_EQ(page.find("NEW"), std::string::npos);
    EXPECT_NE(page.find("<p class=\"row\" data-pid=\"abc1\">"), std::string::npos);
    EXPECT_EQ(readFile(memoryPath()), "someid\r\n");
}

TEST(SeenAds, SameAdUnderAnotherCityIsNotNew)
{
    const std::string folder = makeTestFolder("qb-seen");
    writeFile(folder + "x.seen", "K1\r\nZ9\r\n");
    search::SeenAds seen;
    seen.load(folder + "x.seen");
    ASSERT_TRUE(seen.hasMemory());
    // K1 was listed under another city last time: the id alone decides.
    EXPECT_FALSE(seen.isNew("K1"));
    EXPECT_TRUE(seen.isNew("K2"));
    seen.noteListed("K2");
    seen.noteListed("K1");
    seen.noteListed("K2");
    ASSERT_TRUE(seen.save(folder + "x.seen", false));
    EXPECT_EQ(readFile(folder + "x.seen"), "K1\r\nK2\r\n");
    fs::remove_all(folder);
}

} // namespace
