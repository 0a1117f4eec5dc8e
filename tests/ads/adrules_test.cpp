// The Ads window's filter and sort rules over plain rows: words and excluded words in any letter case, the price
// limits and their blank rule, city and ticks; every column's order, the ties and the ads without a price.

#include "ads/adrules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ads::AdRow row(const std::string& title, const std::string& city, int cityPosition, int pagePosition,
               std::optional<std::int64_t> price = std::nullopt)
{
    ads::AdRow r;
    r.setText(ads::Text::key, title + "-" + city);
    r.setText(ads::Text::title, title);
    r.setText(ads::Text::city, city);
    r.cityPosition = cityPosition;
    r.pagePosition = pagePosition;
    r.priceNumber = price;
    r.setText(ads::Text::price, price ? "$" + std::to_string(*price) : "free");
    return r;
}

// The titles of the rows shown, in order.
std::vector<std::string> titlesShown(const std::vector<ads::AdRow>& rows, const ads::AdFilter& filter,
                                     int column = ads::defaultOrder, bool descending = false)
{
    std::vector<std::string> titles;
    for (int index : ads::shownRows(rows, filter, column, descending))
        titles.push_back(std::string(rows[size_t(index)].title()));
    return titles;
}

struct FilterCase {
    const char* name;
    ads::AdFilter filter;
    std::vector<std::string> shown;
};

class FilterRules : public ::testing::TestWithParam<FilterCase> {
protected:
    static std::vector<ads::AdRow> sample()
    {
        std::vector<ads::AdRow> rows = {
            row("Oak Desk", "BOSTON", 0, 0, 120), row("Standing desk, electric", "BOSTON", 0, 1, 450),
            row("Kids desk", "CHICAGO", 1, 0),    row("Grüner Schreibtisch", "CHICAGO", 1, 1, 80),
            row("Desk lamp", "DENVER", 2, 0, 0),  row("Corner DESK", "DENVER", 2, 1, 99),
        };
        rows[1].isNew = true;
        rows[2].isNew = true;
        rows[3].starred = true;
        rows[5].hidden = true;
        rows[5].starred = true;
        return rows;
    }
};

TEST_P(FilterRules, ShowsTheRowsThatPass)
{
    EXPECT_EQ(titlesShown(sample(), GetParam().filter), GetParam().shown) << GetParam().name;
}

ads::AdFilter words(const char* text)
{
    ads::AdFilter f;
    f.words = text;
    return f;
}
ads::AdFilter prices(const char* min, const char* max)
{
    ads::AdFilter f;
    f.minPrice = min;
    f.maxPrice = max;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilterRules,
    ::testing::Values(
        FilterCase{"empty filter hides the hidden row only",
                   {},
                   {"Oak Desk", "Standing desk, electric", "Kids desk", "Grüner Schreibtisch", "Desk lamp"}},
        FilterCase{"a word in any letter case",
                   words("DESK"),
                   {"Oak Desk", "Standing desk, electric", "Kids desk", "Desk lamp"}},
        FilterCase{"every word must be there", words("desk  oak"), {"Oak Desk"}},
        FilterCase{"a word is found inside a longer one", words("electr"), {"Standing desk, electric"}},
        FilterCase{"an excluded word in any case", words("desk -KIDS -Lamp"), {"Oak Desk", "Standing desk, electric"}},
        FilterCase{"a lone dash excludes nothing",
                   words("desk -"),
                   {"Oak Desk", "Standing desk, electric", "Kids desk", "Desk lamp"}},
        FilterCase{"only excluded words", words("-desk"), {"Grüner Schreibtisch"}},
        FilterCase{"accented letters fold", words("GRÜNER"), {"Grüner Schreibtisch"}},
        FilterCase{"min alone drops ads without a number", prices("100", ""), {"Oak Desk", "Standing desk, electric"}},
        FilterCase{"max alone keeps a price of 0", prices("", "99"), {"Grüner Schreibtisch", "Desk lamp"}},
        FilterCase{"limits are inclusive", prices("80", "120"), {"Oak Desk", "Grüner Schreibtisch"}},
        FilterCase{"min above max shows nothing", prices("200", "100"), {}},
        FilterCase{"a limit of 0 is a limit",
                   prices("0", ""),
                   {"Oak Desk", "Standing desk, electric", "Grüner Schreibtisch", "Desk lamp"}},
        FilterCase{"blanks alone count as empty",
                   prices("  ", " "),
                   {"Oak Desk", "Standing desk, electric", "Kids desk", "Grüner Schreibtisch", "Desk lamp"}},
        FilterCase{
            "a written price reads as its number", prices("$100", "$450"), {"Oak Desk", "Standing desk, electric"}},
        FilterCase{"a limit that is no number shows nothing", prices("cheap", ""), {}},
        FilterCase{"one city",
                   ads::AdFilter{"", "", "", "CHICAGO", false, false, false},
                   {"Kids desk", "Grüner Schreibtisch"}},
        FilterCase{
            "new only", ads::AdFilter{"", "", "", "", true, false, false}, {"Standing desk, electric", "Kids desk"}},
        FilterCase{"starred only leaves a hidden star out",
                   ads::AdFilter{"", "", "", "", false, true, false},
                   {"Grüner Schreibtisch"}},
        FilterCase{"show hidden", ads::AdFilter{"corner", "", "", "", false, false, true}, {"Corner DESK"}},
        FilterCase{"everything together",
                   ads::AdFilter{"desk -oak", "90", "500", "DENVER", false, true, true},
                   {"Corner DESK"}}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

struct SortCase {
    const char* name;
    int column;
    bool descending;
    std::vector<std::string> order;
};

class SortRules : public ::testing::TestWithParam<SortCase> { };

TEST_P(SortRules, OrdersTheRows)
{
    // Given out of the default order on purpose: the page's order is the cities' and the ads' positions.
    std::vector<ads::AdRow> rows = {
        row("b", "CHICAGO", 1, 1, 300), row("a", "BOSTON", 0, 1),       row("C", "CHICAGO", 1, 0, 20),
        row("d", "BOSTON", 0, 0, 300),  row("e", "AUSTIN", 2, 0, 1000), row("f", "AUSTIN", 2, 1),
    };
    rows[0].firstSeen = 500;
    rows[1].firstSeen = 100;
    rows[2].firstSeen = 500;
    rows[3].firstSeen = 900;
    rows[4].firstSeen = 50;
    rows[5].firstSeen = 700;
    rows[1].starred = rows[4].starred = true;
    rows[0].setText(ads::Text::place, "queens");
    rows[2].setText(ads::Text::place, "Bronx");
    rows[3].setText(ads::Text::place, "brooklyn");
    EXPECT_EQ(titlesShown(rows, {}, GetParam().column, GetParam().descending), GetParam().order) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SortRules,
    ::testing::Values(
        SortCase{"default is the area list then the page", ads::defaultOrder, false, {"d", "a", "C", "b", "e", "f"}},
        SortCase{"price ascending, no number last", ads::PriceColumn, false, {"C", "d", "b", "e", "a", "f"}},
        SortCase{"price descending, no number still last", ads::PriceColumn, true, {"e", "d", "b", "C", "a", "f"}},
        SortCase{"the default order has no direction", ads::defaultOrder, true, {"d", "a", "C", "b", "e", "f"}},
        SortCase{"first seen by time", ads::FirstSeenColumn, false, {"e", "a", "C", "b", "f", "d"}},
        SortCase{"first seen newest first", ads::FirstSeenColumn, true, {"d", "f", "C", "b", "a", "e"}},
        SortCase{"city in the area list's order, not by name", ads::CityColumn, false, {"d", "a", "C", "b", "e", "f"}},
        SortCase{"city backwards", ads::CityColumn, true, {"e", "f", "C", "b", "d", "a"}},
        SortCase{"title in any letter case", ads::TitleColumn, false, {"a", "b", "C", "d", "e", "f"}},
        SortCase{"place in any letter case, empty first", ads::PlaceColumn, false, {"a", "e", "f", "C", "d", "b"}},
        SortCase{"starred first", ads::StarColumn, false, {"a", "e", "d", "C", "b", "f"}}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST(AdRowTexts, EachTextKeepsItsOwnWhenAnotherChanges)
{
    ads::AdRow r;
    r.setText(ads::Text::title, "Oak Desk");
    r.setText(ads::Text::key, "123");
    r.setText(ads::Text::note, "call after six");
    r.setText(ads::Text::title, "Walnut DESK, large");
    r.setText(ads::Text::key, "");
    r.setText(ads::Text::note, "call after six, ask for Ann");
    EXPECT_EQ(r.key(), "");
    EXPECT_EQ(r.title(), "Walnut DESK, large");
    EXPECT_EQ(r.foldedTitle(), "") << "an ASCII title keeps no folded copy";
    r.setText(ads::Text::title, "Walnut DESK, école");
    EXPECT_EQ(r.foldedTitle(), "walnut desk, école");
    EXPECT_EQ(r.note(), "call after six, ask for Ann");
    EXPECT_EQ(r.city(), "");
    r.setTexts({"k", "BOSTON", "https://x/k.html", "Oak DESK É", "$5", "", "pic", "$7", "note"});
    const std::string_view all[]
        = {r.key(),      r.city(), r.link(),       r.title(), r.price(), r.place(), r.text(ads::Text::picture),
           r.oldPrice(), r.note(), r.foldedTitle()};
    EXPECT_EQ(std::vector<std::string_view>(std::begin(all), std::end(all)),
              (std::vector<std::string_view>{"k", "BOSTON", "https://x/k.html", "Oak DESK É", "$5", "", "pic", "$7",
                                             "note", "oak desk é"}));
}

TEST(AdRowTexts, TitleHoldsAFoldedWordInAnyLetterCase)
{
    struct Case {
        const char* title;
        const char* word; // as the filter folds it
        bool holds;
    };
    const Case cases[] = {
        {"Oak DESK", "desk", true},        {"Oak DESK", "k d", true},         {"Oak DESK", "desks", false},
        {"Oak DESK", "oak", true},         {"Oak DESK", "", true},            {"", "", true},
        {"", "a", false},                  {"STRASSE 5", "strasse", true},    {"Straße 5", "strasse", true},
        {"ÉCOLE desk", "école", true},     {"ÉCOLE desk", "ecole", false},    {"Ecole desk", "école", false},
        {"Desk [A-Z]", "[a-z]", true},     {"Desk_1", "desk_1", true},        {"DESK.x", "desk.x", true},
    };
    for (const Case& c : cases) {
        ads::AdRow row;
        row.setText(ads::Text::title, c.title);
        EXPECT_EQ(row.titleHolds(c.word), c.holds) << c.title << " / " << c.word;
    }
}

TEST(FoldCase, FoldsAsciiAndBeyond)
{
    const std::pair<std::string, std::string> cases[]
        = {{"Oak DESK 12", "oak desk 12"}, {"ÉCOLE", "école"}, {"ΣΟΦΊΑΣ", "σοφίασ"}, {"σοφίας", "σοφίασ"}, {"", ""},
           {"Straße", "strasse"}, {"STRASSE", "strasse"}, {"ẞ", "ss"}, {"ﬁne", "fine"}};
    for (const auto& [text, folded] : cases)
        EXPECT_EQ(ads::foldCase(text), folded) << text;
}

} // namespace
