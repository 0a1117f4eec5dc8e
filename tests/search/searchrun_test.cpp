// The multi-city run against the sample site, and the results page byte for byte.

#include "search/searchrun.h"
#include "search/seenads.h"

#include "platform/download.h"
#include "platform/settings.h"
#include "shell/programstate.h"

#include "samplesite.h"
#include "smalldisk.h"
#include "storememory.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
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
    EXPECT_EQ(search::contentLineFor(GetParam().marker, "abc", "https", "site.org"), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentLine,
    ::testing::Values(
        ContentCase{
            "siteRelativeLinksMadeAbsolute", "<p data-pid=1><a href=\"/a.html\">A</a><a href=\"/b\">",
            "<p data-pid=1><a href=\"https://abc.site.org/a.html\">A</a><a href=\"https://abc.site.org/b\"><br>"},
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
    EXPECT_EQ(search::cityHeadingLine("abc", "https", "site.org"), "<h2><a href=https://abc.site.org>ABC</a><h4>");
    EXPECT_EQ(search::cityHeadingLine("st-l\xE9o", "http", "s"), "<h2><a href=http://st-l\xE9o.s>ST-L\xE9O</a><h4>");
}

class SearchRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        requestLog = makeTestFolder("qb-requests") + "requests.log";
        connectionLog = requestLog + ".connections";
        site
            = new SampleSite({"--stall-seconds", "10", "--request-log", requestLog, "--connection-log", connectionLog});
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
        platform::settings().siteScheme = "http";
        // The city hosts, as the old pages are checked; the tests of the site's own address say so.
        platform::settings().urlForm = "city";
        fs::remove(requestLog);
        fs::remove(connectionLog);
    }
    void TearDown() override { fs::remove_all(folder); }

    void writeList(const std::string& bytes)
    {
        std::ofstream(folder + "citydata/test.city", std::ios::binary) << bytes;
    }
    // Runs with words "red car" in "sss"; closeAfterPass ends the run after that pass (0: never).
    search::RunOutcome run(int closeAfterPass = 0, std::string words = "red car")
    {
        search::SearchDefinition s;
        s.categoryCode = "sss";
        s.words = std::move(words);
        return run(s, "sss", closeAfterPass);
    }
    search::RunOutcome run(const search::SearchDefinition& s, const std::string& mainCode, int closeAfterPass = 0)
    {
        search::RunHooks hooks;
        hooks.setProgressMaximum = [this](int maximum) { progressMaximum = maximum; };
        hooks.cityStarted = [this](const std::string& city, int pass) {
            cities.push_back(city);
            lastPass = pass;
        };
        hooks.handlePendingEvents = [this] { ++eventRounds; };
        hooks.closeRequested = [this, closeAfterPass] { return lastPass == closeAfterPass; };
        return search::runSearchPasses(s, mainCode, folder + "citydata/test.city", hooks);
    }
    // The requests the site saw, one "HOST PATH" line each; or the connections it took, one line each.
    static std::vector<std::string> requests(const std::string& log = requestLog)
    {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
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
    static std::string requestLog;
    static std::string connectionLog;
    std::string folder;
    std::vector<std::string> cities;
    int progressMaximum = -1;
    int lastPass = 0;
    int eventRounds = 0;
};

SampleSite* SearchRun::site = nullptr;
std::string SearchRun::requestLog;
std::string SearchRun::connectionLog;

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
    // The city that failed shows why, between the others.
    const size_t failed = page.find(heading("gone", "GONE") + "<p>Not searched: the site answered HTTP 404.</p>\r\n");
    EXPECT_LT(failed, second);
    EXPECT_EQ(count(page, "\r\n"), 6u); // two lines per city, nothing else
    const std::string first = page.substr(0, failed);
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
    std::string block; // after the heading; "" for the heading alone
};

class SearchRunPages : public SearchRun, public ::testing::WithParamInterface<PageCase> { };

// The sample site answers alike on a city's host and at the site's own address.
TEST_P(SearchRunPages, GiveTheirBlock)
{
    const PageCase& c = GetParam();
    writeList(std::string(c.city) + "\r\n");
    std::string upper = c.city;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    for (const char* form : {"city", "area"}) {
        platform::settings().urlForm = form;
        run(0, c.words);
        EXPECT_EQ(results(), heading(c.city, upper) + c.block) << form;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchRunPages,
    ::testing::Values(
        PageCase{"nothingFound", "abc", "nothing here",
                 "<div class=\"noresults\">Nothing found for that search.</div>\r\n"},
        PageCase{"nothingFoundBeforeDataPid", "both", "x",
                 "<div class=\"noresults\">Nothing found for that search.</div><p class=\"row\" data-pid=\"both1\">"
                 "<a href=\"/x.html\" class=\"title\">both ad 1</a></p>\r\n"},
        PageCase{"noMarkerIsNotRead", "nomarker", "x", std::string(search::notReadLine) + "\r\n"},
        PageCase{"localResultsEndTheScan", "localonly", "x", ""},
        PageCase{"emptyPage", "empty", "x", "<p>Not searched: the site sent an empty page.</p>\r\n"},
        PageCase{"truncatedPage", "closes", "x", "<p>Not searched: the site's answer was cut short.</p>\r\n"},
        PageCase{"stalledCity", "stalls", "x", "<p>Not searched: the site did not answer in time.</p>\r\n"},
        PageCase{"gone", "gone", "x", "<p>Not searched: the site answered HTTP 404.</p>\r\n"},
        PageCase{"blocked", "blocked", "x", "<p>Not searched: the site refused the request (HTTP 403).</p>\r\n"},
        PageCase{"rateLimited", "ratelimited", "x",
                 "<p>Not searched: the site refused the request (HTTP 429).</p>\r\n"},
        PageCase{"unavailable", "unavailable", "x",
                 "<p>Not searched: the site refused the request (HTTP 503).</p>\r\n"},
        PageCase{"trailingBlankMakesAnInvalidHost", "abc ", "x",
                 "<p>Not searched: the site could not be reached.</p>\r\n"}),
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
    EXPECT_EQ(count(ads, "<a href=\"http://www.localhost:" + std::to_string(site->port()) + "/view/d/"), 3u);
    EXPECT_EQ(count(ads, "\r\n"), 2u);
    // The page's one style element follows its first list of ads.
    EXPECT_TRUE(ads.ends_with("</p><br>" + std::string(search::adListStyle) + "\r\n")) << ads;
    EXPECT_EQ(count(page, "<style>"), 1u);
    // The city that answers with a redirect to the www host gives its ads all the same.
    EXPECT_EQ(count(page.substr(redirected, empty - redirected), "<p class=\"ad\">"), 3u);
    EXPECT_EQ(page.substr(empty), heading("emptylist", "EMPTYLIST")); // nothing can be read from an empty list

    writeList("springfield\r\n");
    run(0, "nothing at all");
    EXPECT_EQ(results(), heading("springfield", "SPRINGFIELD") + "<p>Nothing found.</p>\r\n");
}

TEST_F(SearchRun, RefusalStopsTheRun)
{
    writeList("springfield\r\nblocked\r\nshelbyville\r\nogdenville\r\n");
    const search::RunOutcome outcome = run();
    // The site saw the refused request and none after it.
    const std::vector<std::string> asked = requests();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].rfind("blocked.", 0), 0u) << asked[1];
    EXPECT_EQ(outcome.refusedStatus, 403);
    const std::string page = results();
    EXPECT_TRUE(page.ends_with(heading("blocked", "BLOCKED")
                               + "<p>Not searched: the site refused the request (HTTP 403).</p>\r\n"));
    EXPECT_EQ(search::refusalMessage(outcome),
              "The site refused the search for BLOCKED (HTTP 403). It may be limiting searches from this computer for a"
              " while, so the search stopped after 2 of 4 cities. Try again later.");
}

TEST_F(SearchRun, TodaysOptionsFilterTheAds)
{
    SampleSite many({"--ads", "40"});
    ASSERT_TRUE(many.started());
    platform::settings().siteDomain = many.domain();
    writeList("springfield\r\n");
    search::SearchDefinition s;
    s.categoryCode = "sss";
    s.words = "lamp";
    run(s, "sss");
    const size_t all = count(results(), "<p class=\"ad\">");
    s.priceMin = "$100";
    s.priceMax = "250.00";
    run(s, "sss");
    const std::string page = results();
    const size_t inRange = count(page, "<p class=\"ad\">");
    EXPECT_GT(inRange, 0u);
    EXPECT_LT(inRange, all);
    for (size_t at = page.find("</a> $"); at != std::string::npos; at = page.find("</a> $", at + 1)) {
        const int price = std::atoi(page.c_str() + at + 6);
        EXPECT_TRUE(price >= 100 && price <= 250) << price;
    }

    search::SearchDefinition flats;
    flats.categoryCode = "apa";
    run(flats, "hhh");
    const size_t every = count(results(), "<p class=\"ad\">");
    flats.catsOk = 1;
    run(flats, "hhh");
    const size_t withCats = count(results(), "<p class=\"ad\">");
    EXPECT_GT(withCats, 0u);
    EXPECT_LT(withCats, every);
}

// The same ads under three cities: the first lists them, the second (the same posts) and the third (posted again
// under ids of their own) fold them into one line each.
TEST_F(SearchRun, CrossPostsFoldUnderTheFirstCity)
{
    writeList("crossa\r\ncrossb\r\nrepost\r\n");
    run(0, "chair");
    const std::string page = results();
    const size_t second = page.find(heading("crossb", "CROSSB"));
    const size_t third = page.find(heading("repost", "REPOST"));
    ASSERT_TRUE(second != std::string::npos && third != std::string::npos) << page;
    EXPECT_EQ(count(page.substr(0, second), "<p class=\"ad\">"), 3u);
    for (const std::string& block : {page.substr(second, third - second), page.substr(third)}) {
        EXPECT_EQ(count(block, "<p class=\"ad\">"), 0u) << block;
        EXPECT_EQ(count(block, "<p class=\"also\">Also under CROSSA: <a href=\"http://"), 3u) << block;
    }
}

TEST_F(SearchRun, ExcludedWordsLeaveAdsOut)
{
    writeList("springfield\r\n");
    SampleSite many({"--ads", "24"});
    ASSERT_TRUE(many.started());
    platform::settings().siteDomain = many.domain();
    run(0, "desk");
    const std::string all = results();
    const size_t vintage = count(all, ">Vintage desk</a>");
    ASSERT_GT(vintage, 0u) << all;
    run(0, "desk -VINTAGE -");
    const std::string page = results();
    EXPECT_EQ(page.find("Vintage"), std::string::npos);
    EXPECT_EQ(count(page, "<p class=\"ad\">"), count(all, "<p class=\"ad\">") - vintage);
    EXPECT_NE(page.find("<p class=\"left-out\">" + std::to_string(vintage) + " left out by excluded words</p><br>"),
              std::string::npos);
}

// The page's JSON-LD gives each ad its picture, matched by name; the sample site leaves out every seventh entry.
TEST_F(SearchRun, AdsTakeThePicturesOfTheirEntries)
{
    SampleSite many({"--ads", "8"});
    ASSERT_TRUE(many.started());
    platform::settings().siteDomain = many.domain();
    writeList("springfield\r\n");
    run(0, "lamp");
    const std::string page = results();
    EXPECT_EQ(count(page, "<p class=\"ad\">"), 8u);
    EXPECT_EQ(count(page, "<p class=\"ad\"><img src=\"http://www.localhost:"), 7u) << page;
    // Each picture is its own ad's: the picture's name is made from the title.
    static const std::regex ad(
        R"(<img src="[^"]*/images/([a-z0-9-]+)\.svg" loading="lazy" alt=""> <a href="[^"]*">([^<]*)</a>)");
    int matched = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), ad); it != std::sregex_iterator(); ++it, ++matched) {
        std::string slug;
        for (char c : (*it)[2].str())
            slug += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '-';
        EXPECT_NE(slug.find((*it)[1].str().substr(0, 4)), std::string::npos) << (*it)[0];
    }
    EXPECT_EQ(matched, 7);
}

// The site's own address: one connection for every city, today's names only, the same page as the city's host.
TEST_F(SearchRun, SitesOwnAddressIsAskedOverOneConnection)
{
    const struct {
        const char* form;
        size_t connections;
        std::string firstRequest;
    } rows[] = {
        {"area", 1,
         "www." + site->domain()
             + " /search/area/springfield?cat=apa&query=two+bed&min_price=1000&min_bedrooms=2"
               "&max_bedrooms=2&pets_cat=1"},
        {"city", 4,
         "springfield." + site->domain()
             + " /search/apa?query=two+bed&srchType=A&minAsk=1000&maxAsk=&bedrooms=2"
               "&addTwo=purrr&min_price=1000&min_bedrooms=2&max_bedrooms=2&pets_cat=1"},
    };
    search::SearchDefinition flats;
    flats.categoryCode = "apa";
    flats.words = "two bed";
    flats.rentMin = "1000";
    flats.bedrooms = "2";
    flats.catsOk = 1;
    writeList("springfield\r\nshelbyville\r\nogdenville\r\ncapitalcity\r\n");
    std::vector<std::string> pages;
    for (const auto& row : rows) {
        platform::settings().urlForm = row.form;
        fs::remove(requestLog);
        fs::remove(connectionLog);
        const search::RunOutcome outcome = run(flats, "hhh");
        EXPECT_EQ(outcome.citiesAsked, 4);
        EXPECT_EQ(outcome.pagesRead, 4);
        const std::vector<std::string> asked = requests();
        ASSERT_EQ(asked.size(), 4u) << row.form;
        EXPECT_EQ(asked[0], row.firstRequest);
        EXPECT_EQ(requests(connectionLog).size(), row.connections) << row.form;
        // Both forms name the search alike, so the NEW marks carry over from one to the other.
        EXPECT_NE(storeMemoryText(folder + "ads.db", search::buildSearchTail(flats, "hhh", site->domain()))
                      .find("[springfield]\r\n"),
                  std::string::npos);
        pages.push_back(results());
    }
    EXPECT_EQ(pages[0], pages[1]); // headings and links as before, whichever address was asked
}

TEST_F(SearchRun, PagesNotReadAreCountedAndSaid)
{
    const struct {
        const char* list;
        int asked, notRead, read;
        const char* message;
    } rows[] = {
        {"nomarker\r\nspringfield\r\ngone\r\nnomarker\r\n", 4, 2, 1,
         "The site answered 2 of 4 cities with pages that Quillobrand could not read. The site may have changed its "
         "pages; the user guide says what to do."},
        {"springfield\r\nlocalonly\r\nemptylist\r\n", 3, 0, 3, nullptr},
    };
    for (const auto& row : rows) {
        writeList(row.list);
        const search::RunOutcome outcome = run();
        EXPECT_EQ(outcome.citiesAsked, row.asked) << row.list;
        EXPECT_EQ(outcome.notReadCount, row.notRead) << row.list;
        EXPECT_EQ(outcome.pagesRead, row.read) << row.list;
        if (row.message) {
            EXPECT_EQ(search::notReadMessage(outcome), row.message);
        }
        EXPECT_EQ(count(results(), std::string(search::notReadLine)), static_cast<size_t>(row.notRead));
    }
}

// A page not read, and a list whose end never came, leave the city's memory as it was.
TEST_F(SearchRun, CityNotReadOrCutShortKeepsItsMemory)
{
    search::SearchDefinition s;
    s.categoryCode = "sss";
    s.words = "lamp";
    const std::string tail = search::buildSearchTail(s, "sss", site->domain());
    writeList("cutlist\r\nnomarker\r\n");
    run(s, "sss");
    std::string page = results();
    EXPECT_EQ(count(page, "<p class=\"ad\">"), 2u) << page;
    EXPECT_NE(page.find("</p><p>Not searched: the site's answer was cut short.</p>" + std::string(search::adListStyle)
                        + "\r\n"),
              std::string::npos)
        << page;
    EXPECT_EQ(storeMemoryText(folder + "ads.db", tail), ""); // nothing to remember: neither city gave a whole list

    const std::string kept = "[cutlist]\r\nkeep1\r\n[nomarker]\r\nkeep2\r\n";
    ASSERT_TRUE(setStoreMemory(folder + "ads.db", tail, kept));
    writeList("springfield\r\ncutlist\r\nnomarker\r\n");
    platform::settings().urlForm = "area";
    const search::RunOutcome outcome = run(s, "sss");
    EXPECT_EQ(outcome.newCount, 2); // the ads read are shown, marked against the memory
    const std::string after = storeMemoryText(folder + "ads.db", tail);
    EXPECT_NE(after.find(kept), std::string::npos) << after;
    EXPECT_NE(after.find("[springfield]\r\n"), std::string::npos) << after;
}

// The site puts "$0" on ads without a price; only a jobs search leaves it out.
TEST_F(SearchRun, ZeroPricesStayButForJobs)
{
    const struct {
        const char* category;
        const char* mainCode;
        size_t zeros;
    } rows[] = {{"apa", "hhh", 3}, {"sss", "sss", 3}, {"jjj", "jjj", 0}};
    writeList("freebies\r\n");
    for (const auto& row : rows) {
        search::SearchDefinition s;
        s.categoryCode = row.category;
        run(s, row.mainCode);
        const std::string page = results();
        EXPECT_EQ(count(page, "<p class=\"ad\">"), 3u) << page;
        EXPECT_EQ(count(page, "</a> $0 ("), row.zeros) << row.mainCode;
    }
}

TEST(DownloadFailure, GivesItsReason)
{
    const struct {
        int result;
        const char* reason;
    } rows[] = {
        {1403, "the site refused the request (HTTP 403)"},
        {1429, "the site refused the request (HTTP 429)"},
        {1503, "the site refused the request (HTTP 503)"},
        {1404, "the site answered HTTP 404"},
        {1500, "the site answered HTTP 500"},
        {6, "the site could not be reached"}, // name not found
        {7, "the site could not be reached"}, // connection refused
        {60, "the site's certificate could not be verified"},
        {28, "the site did not answer in time"},
        {23, "the page could not be saved on this computer"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::downloadFailureReason(row.result), row.reason) << row.result;
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
    // The empty line asks nothing and writes nothing.
    EXPECT_EQ(requests().size(), 2u);
    EXPECT_EQ(count(results(), "<h2>"), 2u);
    EXPECT_NE(results().find(heading("xyz", "XYZ")), std::string::npos);
}

// A full disk under the results page: the block it cut off goes, and the page says why it ends there.
struct FullDiskCase {
    const char* name;
    int freePages;
    const char* list;
    const char* page; // g: the gone city's block; l: the line that says the disk is full
    int passes;
    bool interrupted;
};

class SearchRunFullDisk : public SearchRun, public ::testing::WithParamInterface<FullDiskCase> { };

TEST_P(SearchRunFullDisk, EndsThePageWithWhyWhereItCan)
{
    const FullDiskCase& c = GetParam();
    // Forty ads make a block of several pages.
    SampleSite bigSite({"--ads", "40"});
    ASSERT_TRUE(bigSite.started());
    platform::settings().siteDomain = bigSite.domain();
    const std::string disk = folder + "disk";
    fs::create_directory(disk);
    SmallDisk small(disk, 8);
    if (!small.mounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    ASSERT_TRUE(small.fill(c.freePages));
    writeList(c.list);
    search::SearchDefinition s;
    s.categoryCode = "sss";
    s.words = "red car";
    const search::RunOutcome outcome
        = search::runSearchPasses(s, "sss", folder + "citydata/test.city", {}, {disk + "/page.html", folder + "temp"});
    EXPECT_TRUE(outcome.diskFull);
    EXPECT_FALSE(outcome.pageComplete);
    EXPECT_EQ(outcome.passes, c.passes);
    EXPECT_EQ(outcome.interrupted, c.interrupted);
    std::string expected;
    for (const char part : std::string(c.page))
        expected += part == 'g' ? "<h2><a href=http://gone." + bigSite.domain()
                + ">GONE</a><h4>\r\n<p>Not searched: the site answered HTTP 404.</p>\r\n"
                                : std::string(search::diskFullLine) + "\r\n";
    std::ifstream in(disk + "/page.html", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SearchRunFullDisk,
    ::testing::Values(FullDiskCase{"noRoomEvenForTheLine", 0, "gone\r\nspringfield\r\n", "", 1, true},
                      FullDiskCase{"roomForOneBlock", 1, "gone\r\nspringfield\r\nshelbyville\r\n", "gl", 2, true},
                      FullDiskCase{"theLastCity", 1, "gone\r\nspringfield\r\n", "gl", 2, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A small compressed answer that would expand without end is cut off; the next city is searched as usual.
TEST_F(SearchRun, PageTooLargeIsNotSearched)
{
    writeList("bomb\r\nabc\r\n");
    platform::setMaximumPageBytes(1024 * 1024);
    run();
    platform::setMaximumPageBytes(platform::maximumPageBytes);
    const std::string page = results();
    EXPECT_EQ(page.rfind(heading("bomb", "BOMB") + "<p>Not searched: the site's page was too large.</p>\r\n", 0), 0u)
        << page.substr(0, 300);
    EXPECT_NE(page.find(heading("abc", "ABC")), std::string::npos);
}

} // namespace
