// The CSV export: cells quoted as RFC 4180 asks, the formula guard, the page's texts as plain text, and the whole
// file with its byte-order mark, header and CR LF records in the order shown.

#include "ads/adcsv.h"

#include <gtest/gtest.h>

namespace {

struct CellCase {
    std::string text;
    std::string cell;
};

class CsvCells : public ::testing::TestWithParam<CellCase> { };

TEST_P(CsvCells, QuotesAndGuards)
{
    EXPECT_EQ(ads::csvCell(GetParam().text), GetParam().cell);
}

INSTANTIATE_TEST_SUITE_P(Table, CsvCells,
                         ::testing::Values(CellCase{"plain desk", "plain desk"}, CellCase{"", ""},
                                           CellCase{"a, b", "\"a, b\""}, CellCase{"say \"hi\"", "\"say \"\"hi\"\"\""},
                                           CellCase{"two\r\nlines", "\"two\r\nlines\""},
                                           CellCase{"line\nfeed", "\"line\nfeed\""},
                                           CellCase{"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
                                           CellCase{"+1 555", "'+1 555"}, CellCase{"-50% off", "'-50% off"},
                                           CellCase{"@SUM(A1)", "'@SUM(A1)"}, CellCase{"\tcmd", "'\tcmd"},
                                           CellCase{"\rcmd", "\"'\rcmd\""}, CellCase{"a=b", "a=b"},
                                           CellCase{"Café €5", "Café €5"}, CellCase{"'quoted", "'quoted"}));

struct TextCase {
    std::string html;
    std::string text;
};

class CsvPlainText : public ::testing::TestWithParam<TextCase> { };

TEST_P(CsvPlainText, DecodesEntitiesAndDropsMarkup)
{
    EXPECT_EQ(ads::plainText(GetParam().html), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, CsvPlainText,
                         ::testing::Values(TextCase{"Tom &amp; Jerry", "Tom & Jerry"},
                                           TextCase{"a &lt;b&gt; c", "a <b> c"},
                                           TextCase{"&quot;new&quot; &#39;x&#39;", "\"new\" 'x'"},
                                           TextCase{"caf&#233; &#x20AC;5", "café €5"},
                                           TextCase{"$1,200 <s>$1,350</s>", "$1,200 $1,350"},
                                           TextCase{"<b>bold</b>text", "bold text"},
                                           TextCase{"a&nbsp;b",
                                                    "a\xC2\xA0"
                                                    "b"},
                                           TextCase{"  many   blanks ", "many blanks"}, TextCase{"cut <span", "cut"},
                                           TextCase{"&amp;lt;", "&lt;"}));

TEST(CsvFile, BomHeaderAndRecordsInTheOrderShown)
{
    std::vector<ads::AdRow> rows(2);
    const std::pair<ads::Text, const char*> first[] = {
        {ads::Text::city, "BOSTON"},
        {ads::Text::title, "Desk, oak"},
        {ads::Text::price, "$1,200"},
        {ads::Text::place, "Back Bay"},
        {ads::Text::link, "https://boston.site.org/d/1.html"},
        {ads::Text::picture, "https://images.site.org/1.jpg"},
        {ads::Text::oldPrice, "$1,350"},
        {ads::Text::note, "=ask \"why\""},
    };
    for (const auto& [which, value] : first)
        rows[0].setText(which, value);
    rows[0].priceNumber = 1200;
    rows[0].firstSeen = 1767225600; // 2026-01-01T00:00:00Z
    rows[0].lastSeen = 1767312001;
    rows[0].isNew = true;
    rows[0].starred = true;
    rows[1].setText(ads::Text::city, "AUSTIN");
    rows[1].setText(ads::Text::title, "-free chair");
    rows[1].setText(ads::Text::price, "free");
    rows[1].hidden = true;
    const std::string csv = ads::adsCsv(rows, {1, 0});
    EXPECT_EQ(
        csv,
        "\xEF\xBB\xBF"
        "city,title,price,price number,place,link,picture,first seen,last seen,new,old price,starred,hidden,note\r\n"
        "AUSTIN,'-free chair,free,,,,,,,no,,no,yes,\r\n"
        "BOSTON,\"Desk, oak\",\"$1,200\",1200,Back Bay,https://boston.site.org/d/1.html,"
        "https://images.site.org/1.jpg,2026-01-01T00:00:00Z,2026-01-02T00:00:01Z,yes,\"$1,350\",yes,no,"
        "\"'=ask \"\"why\"\"\"\r\n");
    EXPECT_EQ(ads::adsCsv(rows, {}), "\xEF\xBB\xBF" + ads::csvHeader());
}

} // namespace
