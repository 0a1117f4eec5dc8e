// The multi-city run against the sample site, and the results page byte for byte.

#include "search/searchrun.h"

#include "platform/download.h"
#include "platform/settings.h"
#include "shell/programstate.h"

#include "samplesite.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct ContentCase {
    const char* name;
    const char* marker;
    const char* written;
};

class ContentLine : public ::testing::TestWithParam<ContentCase> { };

TEST_P(ContentLine, TakesItsForm)
{
    EXPECT_EQ(search::contentLineFor(GetParam().marker, "abc", "site.org"), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentLine,
    ::testing::Values(
        ContentCase{"siteRelativeLinksMadeAbsolute", "<p data-pid=1><a href=\"/a.html\">A</a><a href=\"/b\">",
                    "<p data-pid=1><a href=\"http://abc.site.org/a.html\">A</a><a href=\"http://abc.site.org/b\"><br>"},
        ContentCase{"otherLinksKept", "data-pid <a href='/s'> <a href=/u> <a href=\"http://x/\"> <A HREF=\"/c\">",
                    "data-pid <a href='/s'> <a href=/u> <a href=\"http://x/\"> <A HREF=\"/c\"><br>"},
        ContentCase{"nothingFoundWithoutHrAndBr", "<hr><br>Nothing found<hr><br> <hr>", "Nothing found <hr>"},
        ContentCase{"nothingFoundWinsOverDataPid", "<hr><br>Nothing found data-pid <a href=\"/x\">",
                    "Nothing found data-pid <a href=\"/x\">"},
        ContentCase{"capitalsCountOnceAMarkerIsThere", "data-pid NOTHING FOUND<hr><br>", "data-pid NOTHING FOUND"},
        ContentCase{"localResultsAloneWriteNothing", "<p>3 LOCAL results found.</p>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CityHeading, LinksTheHostAndNamesTheCityInCapitals)
{
    EXPECT_EQ(search::cityHeadingLine("abc", "site.org"), "<h2><a href=http://abc.site.org>ABC</a><h4>");
    EXPECT_EQ(search::cityHeadingLine("st-l\xE9o", "s"), "<h2><a href=http://st-l\xE9o.s>ST-L\xE9O</a><h4>");
}

class SearchRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        site = new SampleSite({"--stall-seconds", "10"});
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
        folder = makeTestFolder("qb-run");
        fs::create_directory(folder + "citydata");
        shell::programFolder = folder;
        shell::resultsPagePath = folder + "Last Search.html";
        platform::settings().siteDomain = site->domain();
    }
    void TearDown() override { fs::remove_all(folder); }

    void writeList(const std::string& bytes)
    {
        std::ofstream(folder + "citydata/test.city", std::ios::binary) << bytes;
    }
    // Runs with words "red car" in "sss"; closeAfterPass ends the run after that pass (0: never).
    void run(int closeAfterPass = 0, std::string words = "red car")
    {
        search::SearchDefinition s;
        s.categoryCode = "sss";
        s.words = std::move(words);
        search::RunHooks hooks;
        hooks.setProgressMaximum = [this](int maximum) { progressMaximum = maximum; };
        hooks.cityStarted = [this](const std::string& city, int pass) {
            cities.push_back(city);
            lastPass = pass;
        };
        hooks.handlePendingEvents = [this] { ++eventRounds; };
        hooks.closeRequested = [this, closeAfterPass] { return lastPass == closeAfterPass; };
        search::runSearchPasses(s, "sss", folder + "citydata/test.city", hooks);
    }
    std::string results()
    {
        std::ifstream in(shell::resultsPagePath, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    std::string heading(const std::string& city, const std::string& upper)
    {
        return "<h2><a href=http://" + city + "." + site->domain() + ">" + upper + "</a><h4>\r\n";
    }
    static size_t count(const std::string& text, const std::string& piece)
    {
        size_t n = 0;
        for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
            ++n;
        return n;
    }

    static SampleSite* site;
    std::string folder;
    std::vector<std::string> cities;
    int progressMaximum = -1;
    int lastPass = 0;
    int eventRounds = 0;
};

SampleSite* SearchRun::site = nullptr;

TEST_F(SearchRun, ThreeCitiesWhoseSecondFails)
{
    writeList("abc\r\ngone\r\nxyz\r\n");
    run();
    EXPECT_EQ(cities, (std::vector<std::string>{"abc", "gone", "xyz"}));
    EXPECT_EQ(progressMaximum, 3);
    EXPECT_EQ(lastPass, 3);
    EXPECT_EQ(eventRounds, 1);
    const std::string page = results();
    ASSERT_EQ(page.rfind(heading("abc", "ABC"), 0), 0u) << page.substr(0, 200);
    const size_t second = page.find(heading("xyz", "XYZ"));
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(page.find("GONE"), std::string::npos);
    EXPECT_EQ(count(page, "\r\n"), 4u); // two lines per city, nothing else
    const std::string first = page.substr(0, second);
    const std::string host = "http://abc." + site->domain();
    EXPECT_NE(first.find("<a href=\"" + host + "/sss/abc-1.html\" class=\"title\">abc ad 1 for red car</a>"),
              std::string::npos);
    EXPECT_EQ(count(first, "<a href=\"" + host + "/"), 3u);
    EXPECT_NE(first.find("<a href=\"http://other.example/abs.html\">"), std::string::npos);
    EXPECT_NE(first.find("<a href='/single.html'>"), std::string::npos);
    EXPECT_NE(first.find("<a href=/unquoted.html>"), std::string::npos);
    EXPECT_NE(first.find("/search/sss?query=red+car&amp;srchType=A&amp;minAsk=&amp;maxAsk="), std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 6), "<br>\r\n");
    EXPECT_EQ(first.find("header line"), std::string::npos);
    EXPECT_EQ(first.find("footer line"), std::string::npos);
    EXPECT_TRUE(fs::exists(folder + "temp.html")); // left in place
}

struct PageCase {
    const char* name;
    const char* city;
    const char* words;
    std::string block; // after the heading; "" for the heading alone; "-" for no block at all
};

class SearchRunPages : public SearchRun, public ::testing::WithParamInterface<PageCase> { };

TEST_P(SearchRunPages, GiveTheirBlock)
{
    const PageCase& c = GetParam();
    writeList(std::string(c.city) + "\r\n");
    run(0, c.words);
    if (c.block == "-") {
        EXPECT_FALSE(fs::exists(shell::resultsPagePath));
        return;
    }
    std::string upper = c.city;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(results(), heading(c.city, upper) + c.block);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchRunPages,
    ::testing::Values(
        PageCase{"nothingFound", "abc", "nothing here",
                 "<div class=\"noresults\">Nothing found for that search.</div>\r\n"},
        PageCase{"nothingFoundBeforeDataPid", "both", "x",
                 "<div class=\"noresults\">Nothing found for that search.</div><p class=\"row\" data-pid=\"both1\">"
                 "<a href=\"/x.html\" class=\"title\">both ad 1</a></p>\r\n"},
        PageCase{"noMarkerGivesTheHeadingAlone", "nomarker", "x", ""},
        PageCase{"localResultsEndTheScan", "localonly", "x", ""}, PageCase{"emptyPageGivesNoBlock", "empty", "x", "-"},
        PageCase{"truncatedPageGivesNoBlock", "closes", "x", "-"},
        PageCase{"stalledCityGivesNoBlock", "stalls", "x", "-"},
        PageCase{"trailingBlankMakesAnInvalidHost", "abc ", "x", "-"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SearchRun, RedirectedCityIsFollowed)
{
    writeList("moved");
    run();
    const std::string page = results();
    EXPECT_EQ(page.rfind(heading("moved", "MOVED"), 0), 0u);
    // Links are made absolute with the city of the list, not the host the page came from.
    EXPECT_NE(page.find("href=\"http://moved." + site->domain() + "/sss/newyork-1.html\""), std::string::npos);
}

TEST_F(SearchRun, BothShapesInOneRun)
{
    writeList("abc\r\nspringfield\r\nredirects\r\nemptylist\r\n");
    run();
    const std::string page = results();
    const size_t today = page.find(heading("springfield", "SPRINGFIELD"));
    const size_t redirected = page.find(heading("redirects", "REDIRECTS"));
    const size_t empty = page.find(heading("emptylist", "EMPTYLIST"));
    ASSERT_TRUE(today != std::string::npos && redirected != std::string::npos && empty != std::string::npos) << page;
    EXPECT_NE(page.substr(0, today).find("data-pid=\"abc1\""), std::string::npos); // the old form, as before
    // Today's form: one line of three ads linking to the site's canonical host, "<br>" at its end.
    const std::string ads = page.substr(today, redirected - today);
    EXPECT_EQ(count(ads, "<p><a href=\"http://www.localhost:" + std::to_string(site->port()) + "/view/d/"), 3u);
    EXPECT_EQ(count(ads, "\r\n"), 2u);
    EXPECT_EQ(ads.substr(ads.size() - 10), "</p><br>\r\n");
    // The city that answers with a redirect to the www host gives its ads all the same.
    EXPECT_EQ(count(page.substr(redirected, empty - redirected), "<p><a href="), 3u);
    EXPECT_EQ(page.substr(empty), heading("emptylist", "EMPTYLIST")); // nothing can be read from an empty list

    writeList("springfield\r\n");
    run(0, "nothing at all");
    EXPECT_EQ(results(), heading("springfield", "SPRINGFIELD") + "<p>Nothing found.</p>\r\n");
}

TEST_F(SearchRun, MissingListIsCreatedEmptyAndMakesOnePass)
{
    std::ofstream(shell::resultsPagePath) << "earlier run";
    search::RunHooks hooks;
    int passes = 0;
    hooks.cityStarted = [&](const std::string& city, int) {
        EXPECT_EQ(city, "");
        ++passes;
    };
    search::runSearchPasses({}, "", folder + "citydata/absent.city", hooks);
    EXPECT_EQ(passes, 1);
    EXPECT_TRUE(fs::exists(folder + "citydata/absent.city"));
    EXPECT_EQ(fs::file_size(folder + "citydata/absent.city"), 0u);
    // The earlier results page is gone although this run found nothing.
    EXPECT_FALSE(fs::exists(shell::resultsPagePath));
}

TEST_F(SearchRun, CloseRequestBetweenCitiesEndsTheRun)
{
    writeList("abc\r\nxyz\r\nlmn\r\n");
    run(1);
    EXPECT_EQ(cities, std::vector<std::string>{"abc"});
    const std::string page = results();
    EXPECT_EQ(page.rfind(heading("abc", "ABC"), 0), 0u);
    EXPECT_EQ(page.find("XYZ"), std::string::npos);
}

TEST_F(SearchRun, LastLineWithoutLineEndAndEmptyLinesArePasses)
{
    writeList("abc\r\n\r\nxyz");
    run();
    EXPECT_EQ(cities, (std::vector<std::string>{"abc", "", "xyz"}));
    EXPECT_EQ(progressMaximum, 3);
    EXPECT_NE(results().find(heading("xyz", "XYZ")), std::string::npos);
}

} // namespace
