// The pictures of today's pages: which line carries them, and which ad takes which picture.

#include "search/adpictures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string tag = "<script type=\"application/ld+json\" id=\"ld_searchpage_results\">";

struct LineCase {
    const char* name;
    std::string line;
    bool holds;
};

class PicturesLine : public ::testing::TestWithParam<LineCase> { };

TEST_P(PicturesLine, IsFoundByItsTag)
{
    EXPECT_EQ(search::AdPictures::isPicturesLine(GetParam().line), GetParam().holds);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PicturesLine,
    ::testing::Values(LineCase{"asTheSiteWritesIt", "    " + tag + "{}</script>", true},
                      LineCase{"otherOrderAndQuotes", "<SCRIPT id='ld_searchpage_results' TYPE=application/ld+json>",
                               true},
                      LineCase{"otherScript", "<script type=\"application/ld+json\" id=\"ld_searchpage_data\">", false},
                      LineCase{"otherType", "<script type=\"text/javascript\" id=\"ld_searchpage_results\">", false},
                      LineCase{"idAsText", "<p>ld_searchpage_results</p><script type=\"application/ld+json\">", false}),
    [](const auto& info) { return std::string(info.param.name); });

// An entry of the list: position as JSON (or "" for none), name as JSON text, the images as a JSON value.
std::string entry(const std::string& position, const std::string& name, const std::string& images)
{
    std::string json = "{\"@type\": \"ListItem\", ";
    if (!position.empty())
        json += "\"position\": " + position + ", ";
    return json + "\"item\": {\"name\": \"" + name + "\", \"offers\": {\"price\": \"1.00\"}, \"image\": " + images
        + "}}";
}

std::string picturesLine(const std::vector<std::string>& entries)
{
    std::string json = "{\"@context\": \"https://schema.org\", \"@type\": \"ItemList\", \"itemListElement\": [";
    for (size_t i = 0; i < entries.size(); ++i)
        json += (i ? ", " : "") + entries[i];
    return tag + json + "]}</script><script>var x = \"</script>\";</script>";
}

std::string image(const std::string& name)
{
    return "[\"https://img.example/" + name + ".jpg\", \"https://img.example/" + name + "-2.jpg\"]";
}

struct MatchCase {
    const char* name;
    std::vector<std::string> entries;
    std::vector<std::string> titles; // the ads' titles as text, in the list's order
    std::vector<std::string> pictures;
};

class PictureMatch : public ::testing::TestWithParam<MatchCase> { };

TEST_P(PictureMatch, GivesEachAdItsOwnPictureOrNone)
{
    search::AdPictures pictures;
    ASSERT_TRUE(pictures.parse(picturesLine(GetParam().entries)));
    std::vector<std::string> given;
    for (const std::string& title : GetParam().titles)
        given.push_back(pictures.pictureFor(title));
    EXPECT_EQ(given, GetParam().pictures);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PictureMatch,
    ::testing::Values(
        MatchCase{"positionsAsStrings",
                  {entry("\"1\"", "B", image("b")), entry("\"0\"", "A", image("a"))},
                  {"A", "B"},
                  {"https://img.example/a.jpg", "https://img.example/b.jpg"}},
        MatchCase{"positions23To28OutOfOrder",
                  {entry("25", "C", image("c")), entry("23", "A", image("a")), entry("28", "F", image("f")),
                   entry("24", "B", image("b")), entry("27", "E", image("e")), entry("26", "D", image("d"))},
                  {"A", "B", "C", "D", "E", "F"},
                  {"https://img.example/a.jpg", "https://img.example/b.jpg", "https://img.example/c.jpg",
                   "https://img.example/d.jpg", "https://img.example/e.jpg", "https://img.example/f.jpg"}},
        MatchCase{"entryLeftOut",
                  {entry("0", "A", image("a")), entry("1", "C", image("c")), entry("2", "D", image("d"))},
                  {"A", "B", "C", "D"},
                  {"https://img.example/a.jpg", "", "https://img.example/c.jpg", "https://img.example/d.jpg"}},
        MatchCase{"sameNameTwice",
                  {entry("0", "Lamp", image("l1")), entry("1", "Lamp", image("l2"))},
                  {"Lamp", "Lamp", "Lamp"},
                  {"https://img.example/l1.jpg", "https://img.example/l2.jpg", ""}},
        MatchCase{"passedOverEntriesAreNotTakenLater",
                  {entry("0", "A", image("a")), entry("1", "B", image("b"))},
                  {"B", "A"},
                  {"https://img.example/b.jpg", ""}},
        MatchCase{"withoutPositionAfterTheOthersInDocumentOrder",
                  {entry("", "Y", image("y")), entry("5", "A", image("a")), entry("", "Z", image("z"))},
                  {"A", "Y", "Z"},
                  {"https://img.example/a.jpg", "https://img.example/y.jpg", "https://img.example/z.jpg"}},
        MatchCase{"namesAsText",
                  {entry("0", "Desk &amp; chair", image("d")), entry("1", "Caf\\u00e9  \\t table", image("c")),
                   entry("2", "\\\"Q\\\" &#39;s", image("q"))},
                  {"Desk & chair", "Caf\xC3\xA9 table", "\"Q\" 's"},
                  {"https://img.example/d.jpg", "https://img.example/c.jpg", "https://img.example/q.jpg"}},
        MatchCase{"onlyWebPicturesWrittenSafe",
                  {entry("0", "A", "[\"javascript:alert(1)\", \"data:image/png,x\", \"HTTPS://i/a\\\"b&c<d>.jpg\"]"),
                   entry("1", "B", "\"http://i/b.jpg\""), entry("2", "C", "[\"ftp://i/c.jpg\", 7]"),
                   entry("3", "D", "[\"https://i/d\\n.jpg\"]")},
                  {"A", "B", "C", "D"},
                  {"HTTPS://i/a&quot;b&amp;c&lt;d&gt;.jpg", "http://i/b.jpg", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

// An entry with a price ("" for none) and one picture named after pic.
std::string priced(int position, const std::string& name, const std::string& price, const std::string& pic)
{
    const std::string offers = price.empty() ? "" : "\"offers\": {\"@type\": \"Offer\", \"price\": " + price + "}, ";
    return "{\"position\": \"" + std::to_string(position) + "\", \"item\": {\"name\": \"" + name + "\", " + offers
        + "\"image\": [\"https://img.example/" + pic + ".jpg\"]}}";
}

struct AlignCase {
    const char* name;
    std::vector<std::string> entries;
    std::vector<std::pair<std::string, std::string>> ads; // title and price as the list gives them
    std::vector<std::string> pictures; // the picture names taken, "" for none
};

class PictureAlignment : public ::testing::TestWithParam<AlignCase> { };

TEST_P(PictureAlignment, NeverGivesAnAdAnotherAdsPicture)
{
    search::AdPictures pictures;
    ASSERT_TRUE(pictures.parse(picturesLine(GetParam().entries)));
    std::vector<std::string> given;
    for (const auto& [title, price] : GetParam().ads) {
        const std::string picture = pictures.pictureFor(title, price);
        given.push_back(picture.empty() ? "" : picture.substr(20, picture.size() - 24)); // the name alone
    }
    EXPECT_EQ(given, GetParam().pictures);
}

INSTANTIATE_TEST_SUITE_P(Lists, PictureAlignment,
                         ::testing::Values(
                             // The case seen: ad 7 has no entry, and ad 10 has ad 7's title (and here its price too).
                             AlignCase{"adSevenWithoutEntryTitledAsAdTen",
                                       {priced(8, "Desk", "\"40.00\"", "p8"), priced(9, "Chair", "\"15.00\"", "p9"),
                                        priced(10, "Lamp", "\"20.00\"", "p10")},
                                       {{"Lamp", "$20"}, {"Desk", "$40"}, {"Chair", "$15"}, {"Lamp", "$20"}},
                                       {"", "p8", "p9", "p10"}},
                             AlignCase{"theSameWithoutPrices",
                                       {priced(8, "Desk", "", "p8"), priced(9, "Chair", "", "p9"),
                                        priced(10, "Lamp", "", "p10")},
                                       {{"Lamp", ""}, {"Desk", ""}, {"Chair", ""}, {"Lamp", ""}},
                                       {"", "p8", "p9", "p10"}},
                             AlignCase{"priceTellsTheSameTitlesApart",
                                       {priced(8, "Lamp", "\"20.00\"", "p8"), priced(9, "Desk", "\"40.00\"", "p9")},
                                       {{"Lamp", "$35"}, {"Lamp", "$20"}, {"Desk", "$40"}},
                                       {"", "p8", "p9"}},
                             // The mirror: entry 7 has no ad, and entry 10 has entry 7's title.
                             AlignCase{"entrySevenWithoutAdTitledAsEntryTen",
                                       {priced(7, "Lamp", "\"20.00\"", "p7"), priced(8, "Desk", "\"40.00\"", "p8"),
                                        priced(9, "Chair", "\"15.00\"", "p9"), priced(10, "Lamp", "\"20.00\"", "p10")},
                                       {{"Desk", "$40"}, {"Chair", "$15"}, {"Lamp", "$20"}},
                                       {"p8", "p9", "p10"}},
                             AlignCase{"twoEntriesWithoutAdsCostOneAdItsPicture",
                                       {priced(1, "X", "", "x"), priced(2, "Y", "", "y"), priced(4, "A", "", "a"),
                                        priced(5, "B", "", "b"), priced(6, "C", "", "c")},
                                       {{"A", ""}, {"B", ""}, {"C", ""}},
                                       {"", "b", "c"}},
                             AlignCase{"housingEntriesCarryNoPrice",
                                       {priced(0, "2br - sunny flat", "", "h0"), priced(1, "Studio", "", "h1")},
                                       {{"2br - sunny flat", "$1,850"}, {"Studio", "$0"}},
                                       {"h0", "h1"}},
                             AlignCase{"pricesAsTheSiteWritesThem",
                                       {priced(0, "Plates", "\"30000.00\"", "a"), priced(1, "Trailer", "8395", "b"),
                                        priced(2, "Gloves", "20.5", "c")},
                                       {{"Plates", "$30,000"}, {"Trailer", "$8,395"}, {"Gloves", "$20"}},
                                       {"a", "b", "c"}},
                             AlignCase{"theListLongerAtItsEnd",
                                       {priced(0, "A", "\"1.00\"", "a"), priced(1, "B", "\"2.00\"", "b")},
                                       {{"A", "$1"}, {"B", "$2"}, {"A", "$1"}},
                                       {"a", "b", ""}},
                             AlignCase{"theEntriesLongerAtTheirEnd",
                                       {priced(0, "A", "", "a"), priced(1, "B", "", "b"), priced(2, "C", "", "c")},
                                       {{"A", ""}, {"B", ""}},
                                       {"a", "b"}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
    const char* name;
    std::string line;
};

class BadPictures : public ::testing::TestWithParam<BadCase> { };

TEST_P(BadPictures, GiveNoPictures)
{
    search::AdPictures pictures;
    ASSERT_TRUE(pictures.parse(picturesLine({entry("0", "A", image("a"))})));
    EXPECT_FALSE(pictures.parse(GetParam().line));
    EXPECT_EQ(pictures.pictureFor("A"), "");
}

std::string oversized()
{
    std::string line = picturesLine({entry("0", "A", image("a"))});
    return line.insert(line.find("[") + 1, std::string(8 * 1024 * 1024, ' '));
}

INSTANTIATE_TEST_SUITE_P(Lines, BadPictures,
                         ::testing::Values(BadCase{"cutShort", tag + "{\"itemListElement\": [{\"item\": "},
                                           BadCase{"notJson", tag + "<!-- nothing -->"},
                                           BadCase{"invalidUtf8", tag + "{\"a\": \"\xff\"}"},
                                           BadCase{"overEightMegabytes", oversized()},
                                           BadCase{"noTag", "<p>ld_searchpage_results</p>"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Pictures, JsonToTheEndOfTheLineWithoutItsEndTag)
{
    search::AdPictures pictures;
    std::string line = picturesLine({entry("0", "A", image("a"))});
    line.resize(line.find("</script>"));
    ASSERT_TRUE(pictures.parse(line));
    EXPECT_EQ(pictures.pictureFor("A"), "https://img.example/a.jpg");
}

} // namespace
