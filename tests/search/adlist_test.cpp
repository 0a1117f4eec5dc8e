// City blocks of pages in today's shape (the ads in one list over many lines), byte for byte, and the scan's pauses.

#include "search/searchrun.h"

#include "platform/settings.h"
#include "platform/timing.h"
#include "shell/programstate.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string heading = "<h2><a href=http://abc.site.org>ABC</a><h4>\r\n";

class CityBlock : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-block");
        shell::programFolder = folder;
        shell::resultsPagePath = folder + "Last Search.html";
        platform::settings().siteDomain = "site.org";
    }
    void TearDown() override { fs::remove_all(folder); }

    // The block that appendCityResults writes for a page holding these bytes.
    std::string blockFor(const std::string& page)
    {
        std::ofstream(folder + "temp.html", std::ios::binary) << page;
        fs::remove(shell::resultsPagePath);
        search::appendCityResults(folder + "temp.html", "abc");
        std::ifstream in(shell::resultsPagePath, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    std::string folder;
};

struct PageCase {
    const char* name;
    std::string page;
    std::string block; // after the heading
};

class TodaysPage : public CityBlock, public ::testing::WithParamInterface<PageCase> { };

TEST_P(TodaysPage, GivesItsBlock)
{
    EXPECT_EQ(blockFor(GetParam().page), heading + GetParam().block);
}

const std::string head = "<!DOCTYPE html>\n<html><head><style>ol.cl-static-search-results { display:none }</style>\n"
                         "</head><body class=\"no-js\">\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, TodaysPage,
    ::testing::Values(
        PageCase{"adsOverManyLines",
                 head
                     + "<ol class=\"cl-static-search-results\">\n"
                       "<li class=\"cl-static-hub-links\"><div>see also</div>\n"
                       "  <p><a href=\"https://www.site.org/search/area/abc?hub=deals\">deals</a></p></li>\n"
                       "<li class=\"cl-static-search-result\" title=\"Desk &amp; chair\">\r\n"
                       "    <a href=\"https://www.site.org/view/d/desk-chair/AbC123xyz\">\r\n"
                       "        <div class=\"title\">Desk &amp; chair</div>\r\n"
                       "        <div class=\"details\">\r\n"
                       "            <div class=\"price\">\xC2\xA5"
                       "2,000</div>\r\n"
                       "            <div class=\"location\">\r\n"
                       "                     Old \t  Town\r"
                       "                 </div>\n"
                       "        </div>\n    </a>\n</li>\n"
                       "<li class=\"cl-static-search-result\" title=\"Work\">\n"
                       "<a href=\"/abc/d/work/7012345678.html\"><div class=\"title\">Work\n"
                       "  Monday\xE2\x80\x93"
                       "Friday</div><div class=\"details\"><div class=\"price\"></div>"
                       "<div class=\"location\">\n  </div></div></a></li>\n"
                       "</ol>\n<p class=\"row\" data-pid=\"1\">after the list</p>\n</body></html>\n",
                 "<p><a href=\"https://www.site.org/view/d/desk-chair/AbC123xyz\">Desk &amp; chair</a> \xC2\xA5"
                 "2,000 (Old Town)</p><p><a href=\"http://abc.site.org/abc/d/work/7012345678.html\">Work "
                 "Monday\xE2\x80\x93"
                 "Friday</a></p><br>\r\n"},
        PageCase{"itemsSharingTheListsLine",
                 head
                     + "<ol class=\"cl-static-search-results\"><li class=\"cl-static-search-result\" title=\"Lamp\">"
                       "<a href=\"https://x.example/view/d/lamp/L1\"><div class=\"details\"><div class=\"location\">"
                       "Here</div></div></a></li><li class=\"cl-static-search-result\" title=\"x\">"
                       "<a href='https://x.example/view/d/sofa/S\"2'><div class=\"title\">Sofa</div>"
                       "<div class=\"price\">$5</div></a><li class=\"cl-static-search-result\">no link</li></ol>\n",
                 "<p><a href=\"https://x.example/view/d/lamp/L1\">Lamp</a> (Here)</p>"
                 "<p><a href=\"https://x.example/view/d/sofa/S&quot;2\">Sofa</a> $5</p><br>\r\n"},
        PageCase{"seeAlsoAloneIsNothingFound",
                 head
                     + "<ol class=\"cl-static-search-results\">\n  <li class=\"cl-static-hub-links\">\n"
                       "    <div>see also</div>\n  </li>\n</ol>\n",
                 "<p>Nothing found.</p>\r\n"},
        PageCase{"emptyListGivesTheHeadingAlone",
                 head
                     + "<ol class=\"cl-static-search-results\">\n    \n</ol>\n"
                       "<script>{\"data-pid\":\"Nothing found\"}</script>\n",
                 ""},
        PageCase{"listCutOffByTheEndOfThePage",
                 head
                     + "<ol class=\"cl-static-search-results\">\n"
                       "<li class=\"cl-static-search-result\" title=\"A\"><a href=\"https://x.example/a/1\">\n"
                       "<div class=\"title\"> </div></a></li>\n"
                       "<li class=\"cl-static-search-result\" title=\"B\"><a href=\"https://x.example/b/2\">\n"
                       "<div class=\"title\">B</div><div class=\"price\">$1",
                 "<p><a href=\"https://x.example/a/1\">A</a></p><p><a href=\"https://x.example/b/2\">B</a> $1</p>"
                 "<br>\r\n"},
        PageCase{"oldMarkerBeforeTheListTakesTheOldForm",
                 head
                     + "<p class=\"row\" data-pid=\"7\"><a href=\"/x.html\">x</a></p>\n"
                       "<ol class=\"cl-static-search-results\">\n<li class=\"cl-static-hub-links\"></li></ol>\n",
                 "<p class=\"row\" data-pid=\"7\"><a href=\"http://abc.site.org/x.html\">x</a></p><br>\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PauseCase {
    const char* name;
    std::string page;
    unsigned long pauses;
};

class ScanPauses : public CityBlock, public ::testing::WithParamInterface<PauseCase> { };

TEST_P(ScanPauses, EndWhereTheScanEnds)
{
    const unsigned long before = platform::pausesMade();
    blockFor(GetParam().page);
    EXPECT_EQ(platform::pausesMade() - before, GetParam().pauses);
}

std::string manyLines(int count, const std::string& line)
{
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += line;
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanPauses,
    ::testing::Values(
        PauseCase{"listLineEndsThePauses",
                  "<html>\n<body>\n<ol class=\"cl-static-search-results\">\n"
                      + manyLines(3000, "<li class=\"cl-static-search-result\"><a href=\"/a/1\">a</a></li>\n")
                      + "</ol>\n" + manyLines(3000, "<p>after</p>\n"),
                  3},
        PauseCase{"markerLineEndsThePauses", manyLines(4, "<p>x</p>\n") + "<p data-pid=1>\n" + manyLines(50, "\n"), 5},
        PauseCase{"manyShortLinesPauseForTheFirst2000", manyLines(20000, "\r"), 2000}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
