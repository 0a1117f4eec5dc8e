// City blocks of pages in today's shape (the ads in one list over many lines), byte for byte, and the scan's pauses;
// the list read as HTML, hostile and odd markup included; the texts, links and words the run writes and compares.

#include "search/adlist.h"
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

const std::string heading = "<h2><a href=https://abc.site.org>ABC</a><h4>\r\n";

class CityBlock : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-block");
        shell::programFolder = folder;
        shell::resultsPagePath = folder + "Last Search.html";
        platform::settings().siteDomain = "site.org";
        platform::settings().siteScheme = "https";
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
    // The page's one style element follows the first list of ads; the block is compared without it.
    std::string block = blockFor(GetParam().page);
    const size_t style = block.find(search::adListStyle);
    if (style != std::string::npos) {
        EXPECT_TRUE(block.compare(style - 4, 4, "<br>") == 0 || block.compare(style - 4, 4, "</p>") == 0) << block;
        block.erase(style, search::adListStyle.size());
    }
    EXPECT_EQ(block, heading + GetParam().block);
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
                 "<p class=\"ad\"><a href=\"https://www.site.org/view/d/desk-chair/AbC123xyz\">Desk &amp; chair</a> "
                 "\xC2\xA5"
                 "2,000 (Old Town)</p><p class=\"ad\"><a href=\"https://abc.site.org/abc/d/work/7012345678.html\">Work "
                 "Monday\xE2\x80\x93"
                 "Friday</a></p><br>\r\n"},
        PageCase{"itemsSharingTheListsLine",
                 head
                     + "<ol class=\"cl-static-search-results\"><li class=\"cl-static-search-result\" title=\"Lamp\">"
                       "<a href=\"https://x.example/view/d/lamp/L1\"><div class=\"details\"><div class=\"location\">"
                       "Here</div></div></a></li><li class=\"cl-static-search-result\" title=\"x\">"
                       "<a href='https://x.example/view/d/sofa/S\"2'><div class=\"title\">Sofa</div>"
                       "<div class=\"price\">$5</div></a><li class=\"cl-static-search-result\">no link</li></ol>\n",
                 "<p class=\"ad\"><a href=\"https://x.example/view/d/lamp/L1\">Lamp</a> (Here)</p>"
                 "<p class=\"ad\"><a href=\"https://x.example/view/d/sofa/S&quot;2\">Sofa</a> $5</p><br>\r\n"},
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
                 "<p class=\"ad\"><a href=\"https://x.example/a/1\">A</a></p>"
                 "<p class=\"ad\"><a href=\"https://x.example/b/2\">B</a> $1</p>"
                 "<p>Not searched: the site's answer was cut short.</p>\r\n"},
        PageCase{"titlesHoldingMarkersOnTheListsLine",
                 head
                     + "<ol class=\"cl-static-search-results\">"
                       "<li class=\"cl-static-search-result\"><a href=\"/a/1.html\"><div class=\"title\">"
                       "Nothing found like it</div></a></li><li class=\"cl-static-search-result\">"
                       "<a href=\"/a/2.html\"><div class=\"title\">data-pid=&quot;7&quot; 3 LOCAL results found.</div>"
                       "</a></li></ol>\n",
                 "<p class=\"ad\"><a href=\"https://abc.site.org/a/1.html\">Nothing found like it</a></p>"
                 "<p class=\"ad\"><a href=\"https://abc.site.org/a/2.html\">data-pid=&quot;7&quot; 3 LOCAL results "
                 "found.</a></p><br>\r\n"},
        PageCase{"aFormNotKnownIsSaid",
                 head
                     + "<ol class=\"cl-search-results-v2\">\n<li class=\"result\"><a href=\"/a/1.html\">A</a></li>\n"
                       "</ol>\n</body></html>\n",
                 std::string(search::notReadLine) + "\r\n"},
        PageCase{"emptyAnswerBodyIsNotRead", "\n\n", std::string(search::notReadLine) + "\r\n"},
        // As a real housing page has it: the pictures' JSON-LD without prices and one entry short of the list, a
        // row whose details hold only its price, a "$0" rent.
        PageCase{
            "realHousingPage",
            "<!doctype html><html><head><title>us_abc_housing</title>\n"
            "<script type=\"application/ld+json\" id=\"ld_searchpage_results\">{\"@context\": "
            "\"https://schema.org\", \"@type\": \"ItemList\", \"itemListElement\": [{\"item\": {\"@type\": "
            "\"Apartment\", \"name\": \"Sunny 2br near the park\", \"image\": [\"https://img.example/h0.jpg\"], "
            "\"numberOfBedrooms\": \"2\"}, \"position\": \"0\", \"@type\": \"ListItem\"}, {\"item\": {\"@type\": "
            "\"Apartment\", \"name\": \"Room for rent\", \"image\": [\"https://img.example/h2.jpg\"]}, "
            "\"position\": \"1\", \"@type\": \"ListItem\"}]}</script>\n"
            "</head><body class=\"no-js\">\n<div class=\"cl-static-header\">\n<a href=\"/\">classifieds</a>\n"
            "<h1>Apartments / Housing For Rent in ABC</h1>\n</div>\n"
            "<ol class=\"cl-static-search-results\">\n"
            "<li class=\"cl-static-hub-links\"><div>see also</div></li>\n"
            "<li class=\"cl-static-search-result\" title=\"Sunny 2br near the park\">\n"
            "<a href=\"https://www.site.org/view/d/abc-sunny-2br/Q1w2E3r4T5y6U7i8O9p0Aa\">\n"
            "<div class=\"title\">Sunny 2br near the park</div>\n<div class=\"details\">\n"
            "<div class=\"price\">$1,850</div>\n<div class=\"location\">\n                        Eastside\n"
            "                    </div>\n</div>\n</a>\n</li>\n"
            "<li class=\"cl-static-search-result\" title=\"Garage space\">\n"
            "<a href=\"https://www.site.org/view/d/abc-garage/Zz9Yy8Xx7Ww6Vv5Uu4Tt3S\">\n"
            "<div class=\"title\">Garage space</div>\n<div class=\"details\">\n"
            "<div class=\"price\">$0</div>\n</div>\n</a>\n</li>\n"
            "<li class=\"cl-static-search-result\" title=\"Room for rent\">\n"
            "<a href=\"https://www.site.org/view/d/abc-room/Rr1Ss2Tt3Uu4Vv5Ww6Xx7Y\">\n"
            "<div class=\"title\">Room for rent</div>\n<div class=\"details\">\n"
            "<div class=\"price\">$700</div>\n<div class=\"location\">\n                        Old Town\n"
            "                    </div>\n</div>\n</a>\n</li>\n"
            "</ol>\n</body>\n</html>\n",
            "<p class=\"ad\"><img src=\"https://img.example/h0.jpg\" loading=\"lazy\" alt=\"\"> "
            "<a href=\"https://www.site.org/view/d/abc-sunny-2br/Q1w2E3r4T5y6U7i8O9p0Aa\">Sunny 2br near the park</a> "
            "$1,850 (Eastside)</p>"
            "<p class=\"ad\"><a href=\"https://www.site.org/view/d/abc-garage/Zz9Yy8Xx7Ww6Vv5Uu4Tt3S\">Garage "
            "space</a> $0</p>"
            "<p class=\"ad\"><img src=\"https://img.example/h2.jpg\" loading=\"lazy\" alt=\"\"> "
            "<a href=\"https://www.site.org/view/d/abc-room/Rr1Ss2Tt3Uu4Vv5Ww6Xx7Y\">Room for rent</a> $700 (Old "
            "Town)</p><br>\r\n"},
        PageCase{"oldMarkerBeforeTheListTakesTheOldForm",
                 head
                     + "<p class=\"row\" data-pid=\"7\"><a href=\"/x.html\">x</a></p>\n"
                       "<ol class=\"cl-static-search-results\">\n<li class=\"cl-static-hub-links\"></li></ol>\n",
                 "<p class=\"row\" data-pid=\"7\"><a href=\"https://abc.site.org/x.html\">x</a></p><br>\r\n"}),
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

// What the reader hands over for a page, one "link|title|price|place" line per ad, and its counts.
struct ListRead {
    std::string ads;
    int items = 0;
    bool seeAlso = false;
};

// The same reading with every line fed in pieces of `size` bytes.
ListRead readListInPieces(const std::string& page, size_t size)
{
    ListRead read;
    search::AdListReader reader([&](const search::ListedAd& ad) {
        read.ads += ad.link + "|" + ad.title + "|" + ad.price + "|" + ad.place + "\n";
    });
    size_t at = 0;
    bool started = false;
    while (at <= page.size() && !reader.listEnded()) {
        const size_t end = std::min(page.find('\n', at), page.size());
        const std::string_view line = std::string_view(page).substr(at, end - at);
        at = end + 1;
        if (!started && !search::startsAdList(line))
            continue;
        started = true;
        size_t from = 0;
        do {
            const std::string_view piece = line.substr(from, size);
            from += piece.size();
            reader.feedPiece(piece, from == line.size());
        } while (from < line.size() && !reader.listEnded());
    }
    reader.finish();
    read.items = reader.itemCount();
    read.seeAlso = reader.sawSeeAlso();
    return read;
}

// The list read from whole lines.
ListRead readList(const std::string& page)
{
    return readListInPieces(page, std::string::npos);
}



struct ListCase {
    const char* name;
    std::string page;
    std::string ads;
    int items;
    bool seeAlso = false;
};

class ListReading : public ::testing::TestWithParam<ListCase> { };

TEST_P(ListReading, GivesTheAdsABrowserWouldShow)
{
    const ListRead read = readList(GetParam().page);
    EXPECT_EQ(read.ads, GetParam().ads);
    EXPECT_EQ(read.items, GetParam().items);
    EXPECT_EQ(read.seeAlso, GetParam().seeAlso);
}

const std::string listTag = "<ol class=\"cl-static-search-results\">\n";
const std::string seeAlso = "<li class=\"cl-static-hub-links\"><div>see also</div>"
                            "<p><a href=\"https://www.site.org/search/area/abc?hub=deals\">deals</a></p></li>\n";

std::string item(const std::string& title, const std::string& link, const std::string& extra = "")
{
    return "<li class=\"cl-static-search-result\" title=\"" + title + "\">\n<a href=\"" + link
        + "\">\n<div class=\"title\">" + title + "</div>" + extra + "</a>\n</li>\n";
}

const std::string lamp = item("Lamp", "/abc/d/lamp/1.html");
const std::string lampRead = "/abc/d/lamp/1.html|Lamp||\n";
const std::string filler(1100 * 1024, 'x');

std::string manyFillerLines()
{
    std::string lines;
    for (int i = 0; i < 2000; ++i)
        lines += std::string(600, 'y') + "\n";
    return lines;
}

const std::vector<ListCase> hostileLists = {
        ListCase{"scriptInTheTitleDivIsNotText",
                 listTag
                     + "<li class=\"cl-static-search-result\"><a href=\"/a/1.html\"><div class=\"title\">Desk"
                       "<script>alert(\"</div></li></ol>\")</script> &amp; <b>chair</b><style>p{}</style> 3 < 4 > 2"
                       "</div></a></li>\n"
                     + lamp + "</ol>",
                 "/a/1.html|Desk &amp; chair 3 &lt; 4 &gt; 2||\n" + lampRead, 2},
        ListCase{"titleAttributeHoldingMarkupIsText",
                 listTag
                     + "<li class=\"cl-static-search-result\" title=\"<img src=x onerror=alert(1)>&amp; & co\">"
                       "<a href=\"/a/2.html\"></a></li></ol>",
                 "/a/2.html|&lt;img src=x onerror=alert(1)&gt;&amp; &amp; co||\n", 1},
        ListCase{"entitiesStayAndStrayAmpersandsAreEscaped",
                 listTag + item("Tom & Jerry &amp; &#39;s &#x41; &copy; &nosemicolon", "/t/1.html") + "</ol>",
                 "/t/1.html|Tom &amp; Jerry &amp; &#39;s &#x41; &copy; &amp;nosemicolon||\n", 1},
        ListCase{"javascriptLinkIsReadAsItStands", listTag + item("Evil", "javascript:alert(1)") + "</ol>",
                 "javascript:alert(1)|Evil||\n", 1},
        ListCase{"greaterThanInAQuotedAttribute",
                 listTag
                     + "<li class=\"cl-static-search-result\" title='a > b'><a data-x=\"1>2\" href=\"/g/1.html\">"
                       "<div class=\"title\" data-y='>'>G</div><div class=\"price\">$1</div></a></li></ol>",
                 "/g/1.html|G|$1|\n", 1},
        ListCase{"listEndAndItemStartInAnAttribute",
                 listTag
                     + "<li class=\"cl-static-search-result\" title=\"</ol><li class='cl-static-search-result'>\">"
                       "<a href=\"/o/1.html\" data-z='</li><li>'><div class=\"title\">O</div></a></li>\n"
                     + lamp + "</ol>",
                 "/o/1.html|O||\n" + lampRead, 2},
        ListCase{"listEndAndItemStartInAComment",
                 listTag + lamp + "<!-- </ol> <li class=\"cl-static-search-result\"><a href=\"/bad\">bad</a>\n"
                     + "</li> --!>" + item("Sofa", "/s/2.html") + "<!--></ol>--></ol>",
                 lampRead + "/s/2.html|Sofa||\n", 2},
        ListCase{"commentedOutItem", listTag + "<!--\n" + item("Gone", "/g/9.html") + "-->\n" + lamp + "</ol>",
                 lampRead, 1},
        ListCase{"upperCaseTagsAndAttributes",
                 "<OL CLASS=\"cl-static-search-results\">\n<LI CLASS=\"cl-static-search-result\" TITLE=\"Up\">"
                 "<A HREF=\"/u/1.html\"><DIV CLASS=\"price\">$2</DIV></A></LI></OL>",
                 "/u/1.html|Up|$2|\n", 1},
        ListCase{"classSingleQuoted", "<ol class='cl-static-search-results'>" + lamp + "</ol>", lampRead, 1},
        ListCase{"classUnquoted", "<ol class=cl-static-search-results>" + lamp + "</ol>", lampRead, 1},
        ListCase{"classBesideOthers",
                 "<p>before</p><ol id=r class=\"wide cl-static-search-results\tbig\">" + lamp + "</ol>", lampRead, 1},
        ListCase{"nestedListBelongsToItsItem",
                 listTag
                     + "<li class=\"cl-static-search-result\"><a href=\"/n/1.html\"><div class=\"title\">Outer</div>"
                       "</a><ol><li>inner</li><li>two</ol><div class=\"price\">$5</div></li>\n"
                     + lamp + "</ol>",
                 "/n/1.html|Outer|$5|\n" + lampRead, 2},
        ListCase{"itemWithoutALinkIsLeftOut",
                 listTag + "<li class=\"cl-static-search-result\" title=\"no link\"><a name=x><div>x</div></a></li>"
                     + "<li class=\"cl-static-search-result\"><a href=\"  \">blank</a></li>" + lamp + "</ol>",
                 lampRead, 3},
        ListCase{"itemOverOneMegabyteOnOneLine", listTag + item(filler, "/big/1.html") + lamp + "</ol>", lampRead, 2},
        ListCase{"itemOverOneMegabyteOverManyLines",
                 listTag + item("Big", "/big/2.html", manyFillerLines()) + lamp + "</ol>", lampRead, 2},
        ListCase{"tagOverOneMegabyteStartingAnItem",
                 listTag + "<li class=\"cl-static-search-result\" title=\"" + filler + "\"><a href=\"/t/1.html\">"
                     + "t</a></li>" + lamp + "</ol>",
                 lampRead, 2},
        ListCase{"oneLineListWithItemsEndedByTheNext",
                 "<ol class=\"cl-static-search-results\"><li class=\"cl-static-hub-links\">see also"
                 "<li class=\"cl-static-search-result\"><a href=/a/1.html><div class=title>A</div></a>"
                 "<li class=\"cl-static-search-result\"><a href='/b/2.html'><div class=title>B</div>"
                 "<div class=location>Here</div></a></ol><li class=\"cl-static-search-result\">"
                 "<a href=\"/after\">after</a></li>",
                 "/a/1.html|A||\n/b/2.html|B||Here\n", 2},
        ListCase{
            "itemsSplitAnywhereOverLines",
            "<ol class=\"cl-static-search-results\"\n><li class=\"cl-static-search-result\"\ntitle=\"two\nlines >\">"
            "<a\nhref=\"/m/1.html\"><div class=\"title\">M</div><div\nclass=\"price\">$\n3</div></a></li\n>"
            "</ol\n>",
            "/m/1.html|M|$ 3|\n", 1},
        ListCase{"rawTextDoesNotEndTheItem",
                 listTag
                     + "<li class=\"cl-static-search-result\"><a href=\"/r/1.html\"><div class=\"title\">R</div>"
                       "<style>li:after{content:\"</li></ol>\"}</style><textarea></li></ol></textarea>"
                       "<div class=\"price\">$9</div></a></li></ol>",
                 "/r/1.html|R|$9|\n", 1},
        ListCase{"seeAlsoAlone", listTag + seeAlso + "</ol>", "", 0, true},
        ListCase{"seeAlsoAndItemsNoneReadable",
                 listTag + seeAlso + "<li class=\"cl-static-search-result\"><div class=\"title\">x</div></li></ol>", "",
                 1},
        ListCase{"pageEndsInsideAnItem", listTag + lamp + "<li class=\"cl-static-search-result\"><a href=\"/c/1\">cut",
                 lampRead + "/c/1|||\n", 2}};

INSTANTIATE_TEST_SUITE_P(Cases, ListReading, ::testing::ValuesIn(hostileLists),
                         [](const auto& info) { return std::string(info.param.name); });

struct PiecesCase {
    std::string name;
    std::string page;
    int adsWhole; // the ads read from whole lines; -1: as many as they give
};

void PrintTo(const PiecesCase& c, std::ostream* os)
{
    *os << c.name;
}

class ListInPieces : public ::testing::TestWithParam<PiecesCase> { };

TEST_P(ListInPieces, GivesTheAdsOfTheWholeLine)
{
    const ListRead whole = readList(GetParam().page);
    if (GetParam().adsWhole >= 0)
        EXPECT_EQ(std::count(whole.ads.begin(), whole.ads.end(), '\n'), GetParam().adsWhole) << whole.ads;
    std::vector<size_t> sizes;
    for (size_t size = 1; size <= 64; ++size)
        sizes.push_back(size);
    sizes.push_back(64 * 1024);
    for (size_t size : sizes) {
        const ListRead pieces = readListInPieces(GetParam().page, size);
        ASSERT_EQ(pieces.ads, whole.ads) << "pieces of " << size << " bytes";
        ASSERT_EQ(pieces.items, whole.items) << "pieces of " << size << " bytes";
        ASSERT_EQ(pieces.seeAlso, whole.seeAlso) << "pieces of " << size << " bytes";
    }
}

std::string shortItem(const std::string& title, const std::string& link)
{
    return "<li class=\"cl-static-search-result\"><a href=\"" + link + "\"><div class=\"title\">" + title
        + "</div></a></li>";
}

// Lists of two or three ads on one line, each with a construct that a piece's end may cut.
std::vector<PiecesCase> piecesCases()
{
    const std::string ol = "<ol class=\"cl-static-search-results\">";
    const std::string a = shortItem("A", "/a/1.html");
    const std::string b = shortItem("B &amp; b", "/b/2.html");
    const std::string c = shortItem("C \xE2\x80\x93 \xC3\xA9", "/c/3.html");
    std::vector<PiecesCase> cases = {
        {"commentOpener", ol + a + "<!-- x -->" + b + "</ol>", 2},
        {"commentEnd", ol + a + "<!-- note -->" + b + "<!-- <li> --!>" + c + "</ol>", 3},
        {"commentGoesOnPastAGreaterThan", ol + a + "<!-- <li>-!><li>->" + b + " -->" + c + "</ol>", 2},
        {"commentOfItsOwnDashes", ol + a + "<!-->" + b + "<!--->" + c + "</ol>", 3},
        {"rawTextEndTag", ol + a + "<script>x = \"</li></ol>\";</SCRIPT >" + b + "<style></st</style/>" + c + "</ol>", 3},
        {"tagStart", ol + a + " < " + b + "<" + c.substr(1) + "</ol>", 3},
        {"endTagStart", ol + a + "</li>" + b + "</ >" + c + "</ol>", 3},
        {"entitiesAndUtf8", ol + c + b + shortItem("&#x263a;&copy;\xF0\x9F\x98\x80", "/d/4.html") + "</ol>", 3},
        {"bogusComments", ol + a + "<!DOCTYPE x><?x?></ x>" + b + "</ol>", 2},
    };
    for (const ListCase& hostile : hostileLists)
        cases.push_back({hostile.name, hostile.page, -1});
    // Real pages when a copy of them lies beside the sources, and a page of the same shape of our own.
    for (const char* folder : {QB_REAL_PAGES_DIR, QB_TEST_DATA_DIR "/pages"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.path().extension() != ".html")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            std::string name = entry.path().stem().string();
            std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
            cases.push_back({"page_" + name, content.str(), -1});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, ListInPieces, ::testing::ValuesIn(piecesCases()),
                         [](const auto& info) { return info.param.name; });

TEST(ListInPieces, PageEndingOnALessThanKeepsIt)
{
    std::string ads;
    search::AdListReader reader([&](const search::ListedAd& ad) { ads += ad.link + "|" + ad.title + "\n"; });
    reader.feedPiece("<ol class=\"cl-static-search-results\"><li class=\"cl-static-search-result\">", false);
    reader.feedPiece("<a href=\"/c/1\"><div class=\"title\">cut <", false);
    reader.finish();
    EXPECT_EQ(ads, "/c/1|cut &lt;\n");
}

TEST(ListInPieces, OwnPageIsRead)
{
    std::ifstream in(QB_TEST_DATA_DIR "/pages/lakeside-sss.html", std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    const ListRead read = readList(content.str());
    EXPECT_EQ(read.ads, "https://www.site.example/view/d/lakeside-oak-desk-chair/Q1w2E3r4T5y6|Oak desk &amp; chair|"
                        "$120|Lakeside\n"
                        "https://www.site.example/view/d/lakeside-cafe-table/Z9x8C7v6B5n4|Caf\xC3\xA9 table \xE2\x80\x93 "
                        "two seats|$45|north shore\n"
                        "https://www.site.example/view/d/lakeside-bike/P0o9I8u7Y6t5|Bike fast 3 &lt; 4||Old Town\n"
                        "/lak/fuo/d/lamp/7712345678.html|Lamp|$5|\n");
    EXPECT_EQ(read.items, 4);
}

struct ListStartCase {
    const char* name;
    std::string line;
    size_t start;
};

class ListStart : public ::testing::TestWithParam<ListStartCase> { };

TEST_P(ListStart, IsTheListsOwnTag)
{
    EXPECT_EQ(search::adListStart(GetParam().line), GetParam().start);
}

constexpr size_t none = std::string_view::npos;

INSTANTIATE_TEST_SUITE_P(
    Lines, ListStart,
    ::testing::Values(ListStartCase{"doubleQuoted", "<ol class=\"cl-static-search-results\">", 0},
                      ListStartCase{"afterOtherTags", "<p>a</p><OL Class='x cl-static-search-results'>", 8},
                      ListStartCase{"tagGoingOnOnTheNextLine", "x <ol\tclass=cl-static-search-results", 2},
                      ListStartCase{"styleRule", "    ol.cl-static-search-results { display:none }", none},
                      ListStartCase{"styleElement", "<style>ol.cl-static-search-results{}</style>", none},
                      ListStartCase{"longerClass", "<ol class=\"cl-static-search-results-x\">", none},
                      ListStartCase{"inAComment", "<!-- <ol class=\"cl-static-search-results\"> -->", none},
                      ListStartCase{"anotherTag", "<div class=\"cl-static-search-results\">", none},
                      ListStartCase{"inAnAttribute", "<p title='<ol class=\"cl-static-search-results\">'>", none}),
    [](const auto& info) { return std::string(info.param.name); });

struct LinkCase {
    const char* name;
    std::string link;
    std::optional<std::string> absolute;
};

class AdLink : public ::testing::TestWithParam<LinkCase> { };

TEST_P(AdLink, KeepsOnlyWebLinks)
{
    EXPECT_EQ(search::absoluteAdLink(GetParam().link, "http", "abc.site.org"), GetParam().absolute);
}

INSTANTIATE_TEST_SUITE_P(
    Links, AdLink,
    ::testing::Values(LinkCase{"https", "https://x.example/a?b=1&amp;c=2", "https://x.example/a?b=1&amp;c=2"},
                      LinkCase{"httpUpperCase", "HTTP://x.example/a", "HTTP://x.example/a"},
                      LinkCase{"siteRelative", "/abc/d/x/1.html", "http://abc.site.org/abc/d/x/1.html"},
                      LinkCase{"schemeRelative", "//cdn.example/x", "http://cdn.example/x"},
                      LinkCase{"blanksAround", "  https://x.example/a ", "https://x.example/a"},
                      LinkCase{"quoteCannotEndTheAttribute", "https://x/\" onmouseover=\"go()",
                               "https://x/&quot; onmouseover=&quot;go()"},
                      LinkCase{"javascript", "javascript:alert(1)", std::nullopt},
                      LinkCase{"javascriptMixedCase", "JavaScript:alert(1)", std::nullopt},
                      LinkCase{"javascriptAsReference", "&#106;avascript:alert(1)", std::nullopt},
                      LinkCase{"javascriptSplitByALineBreak", "java\nscript:alert(1)", std::nullopt},
                      LinkCase{"controlByteInside", "/a\tb.html", std::nullopt},
                      LinkCase{"data", "data:text/html,<script>x</script>", std::nullopt},
                      LinkCase{"mailto", "mailto:a@b.example", std::nullopt},
                      LinkCase{"pathRelative", "d/x/1.html", std::nullopt},
                      LinkCase{"httpsLookalike", "https-x://y", std::nullopt}, LinkCase{"empty", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AdLinkScheme, IsTheOneGiven)
{
    EXPECT_EQ(search::absoluteAdLink("/a.html", "https", "abc.site.org"), "https://abc.site.org/a.html");
    EXPECT_EQ(search::absoluteAdLink("//b/c", "https", "abc.site.org"), "https://b/c");
}

struct ItemCase {
    const char* name;
    search::ListedAd ad;
    std::optional<std::string> link;
    std::string picture;
    bool newMark;
    std::string html;
};

class ItemHtml : public ::testing::TestWithParam<ItemCase> { };

TEST_P(ItemHtml, IsWrittenExactly)
{
    const ItemCase& c = GetParam();
    EXPECT_EQ(search::adItemHtml(c.ad, c.link, c.picture, c.newMark), c.html);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ItemHtml,
    ::testing::Values(ItemCase{"everything",
                               {"/x", "Desk &amp; chair", "$5", "Old Town"},
                               "http://h/x",
                               "https://i/1.jpg",
                               true,
                               "<p class=\"ad\"><img src=\"https://i/1.jpg\" loading=\"lazy\" alt=\"\"> <b>NEW</b> "
                               "<a href=\"http://h/x\">Desk &amp; chair</a> $5 (Old Town)</p>"},
                      ItemCase{"titleAlone",
                               {"/x", "Lamp", "", ""},
                               "http://h/x",
                               "",
                               false,
                               "<p class=\"ad\"><a href=\"http://h/x\">Lamp</a></p>"},
                      ItemCase{"refusedLinkGivesPlainTitle",
                               {"javascript:x", "Evil", "", "Here"},
                               std::nullopt,
                               "",
                               true,
                               "<p class=\"ad\"><b>NEW</b> Evil (Here)</p>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AlsoUnder, NamesTheEarlierCity)
{
    EXPECT_EQ(search::alsoUnderHtml("NYC", std::string("https://h/a"), "Lamp &amp; shade"),
              "<p class=\"also\">Also under NYC: <a href=\"https://h/a\">Lamp &amp; shade</a></p>");
    EXPECT_EQ(search::alsoUnderHtml("SF", std::nullopt, "Lamp"), "<p class=\"also\">Also under SF: Lamp</p>");
}

struct TextCase {
    const char* name;
    std::string html;
    std::string text;
};

class PlainText : public ::testing::TestWithParam<TextCase> { };

TEST_P(PlainText, DecodesTheEntitiesThatMatter)
{
    EXPECT_EQ(search::htmlToText(GetParam().html), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PlainText,
    ::testing::Values(TextCase{"named", "&amp;&lt;&gt;&quot;&apos;&nbsp;", "&<>\"'\xC2\xA0"},
                      TextCase{"numeric", "&#39;&#x41;&#X263a;&#128512;", "'A\xE2\x98\xBA\xF0\x9F\x98\x80"},
                      TextCase{"invalidNumbers", "&#0;&#xD800;&#1114112;&#99999999999999999999;",
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      TextCase{"othersStayAsTheyStand", "&copy; &amp &#; &#x; a&b", "&copy; &amp &#; &#x; a&b"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FingerprintCase {
    const char* name;
    search::ListedAd a;
    search::ListedAd b;
    bool same;
};

class Fingerprint : public ::testing::TestWithParam<FingerprintCase> { };

TEST_P(Fingerprint, FoldsCaseAndPunctuation)
{
    EXPECT_EQ(search::adFingerprint(GetParam().a) == search::adFingerprint(GetParam().b), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Fingerprint,
    ::testing::Values(
        FingerprintCase{"caseBlanksAndPunctuation",
                        {"/1", "Desk &amp; Chair!!", "$5", "A"},
                        {"/2", " desk -- chair ", "$5", "B"},
                        true},
        FingerprintCase{
            "nonAsciiLettersCount", {"/1", "Caf\xC3\xA9 table", "", ""}, {"/2", "caf table", "", ""}, false},
        FingerprintCase{"punctuationSplitsWords", {"/1", "ab", "", ""}, {"/2", "a-b", "", ""}, false},
        FingerprintCase{"priceCounts", {"/1", "Desk", "$5", ""}, {"/2", "Desk", "$6", ""}, false},
        FingerprintCase{"titleAndPriceKeptApart", {"/1", "Desk 1", "2", ""}, {"/2", "Desk", "12", ""}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExcludedWords, AreTheWordsAfterADash)
{
    EXPECT_EQ(search::excludedWords("bike -kids -Electric"), (std::vector<std::string>{"kids", "electric"}));
    EXPECT_EQ(search::excludedWords("- a-b --y\t-x -X"), (std::vector<std::string>{"-y", "x"}));
    EXPECT_TRUE(search::excludedWords("bike  ").empty());
}

struct ExcludedCase {
    const char* name;
    std::string title;
    std::vector<std::string> excluded;
    bool leftOut;
};

class Excluded : public ::testing::TestWithParam<ExcludedCase> { };

TEST_P(Excluded, MatchesInAnyLetterCase)
{
    EXPECT_EQ(search::hasExcludedWord(GetParam().title, GetParam().excluded), GetParam().leftOut);
}

INSTANTIATE_TEST_SUITE_P(Titles, Excluded,
                         ::testing::Values(ExcludedCase{"upperCase", "KIDS bike", {"electric", "kids"}, true},
                                           ExcludedCase{"insideAWord", "E-Electric-bike", {"electric"}, true},
                                           ExcludedCase{"absent", "Road bike", {"kids"}, false},
                                           ExcludedCase{"noWords", "Road bike", {}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
