#include "watch/alerttext.h"

#include <gtest/gtest.h>

using namespace watch;

namespace {

NewAd adIn(const char* city)
{
    return {city, "Bike", "$10", "Downtown", "https://example.org/1.html"};
}

struct BodyCase {
    const char* name;
    std::vector<const char*> cities; // one ad each, in the run's order
    const char* summary;
    const char* body;
    const char* subject;
};

class AlertText : public ::testing::TestWithParam<BodyCase> { };

TEST_P(AlertText, NamesAtMostThreeCitiesInTheirOrder)
{
    const BodyCase& c = GetParam();
    std::vector<NewAd> ads;
    for (const char* city : c.cities)
        ads.push_back(adIn(city));
    EXPECT_EQ(alertSummary(ads.size()), c.summary);
    EXPECT_EQ(alertBody("Red Cars", ads), c.body);
    EXPECT_EQ(digestSubject("Red Cars", ads.size()), c.subject);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlertText,
    ::testing::Values(BodyCase{"oneAd", {"boston"}, "1 new ad", "Red Cars: 1 new in BOSTON", "1 new ad for Red Cars"},
                      BodyCase{"threeCities",
                               {"sfbay", "boston", "sfbay", "austin"},
                               "4 new ads",
                               "Red Cars: 4 new in SFBAY, BOSTON, AUSTIN",
                               "4 new ads for Red Cars"},
                      BodyCase{"fourCities",
                               {"sfbay", "boston", "austin", "denver"},
                               "4 new ads",
                               "Red Cars: 4 new in SFBAY, BOSTON, AUSTIN and 1 more",
                               "4 new ads for Red Cars"},
                      BodyCase{"fiveCities",
                               {"sfbay", "Boston", "austin", "denver", "austin", "miami"},
                               "6 new ads",
                               "Red Cars: 6 new in SFBAY, BOSTON, AUSTIN and 2 more",
                               "6 new ads for Red Cars"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DigestCase {
    const char* name;
    NewAd ad;
    const char* block;
};

class DigestBlock : public ::testing::TestWithParam<DigestCase> { };

TEST_P(DigestBlock, TitlePricePlaceCityThenTheLink)
{
    EXPECT_EQ(digestMessage({GetParam().ad}), GetParam().block);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DigestBlock,
    ::testing::Values(
        DigestCase{
            "everyPart",
            {"sfbay", "Blue bike", "$120", "Oakland", "https://sfbay.example.org/bik/1.html"},
            "Blue bike \xE2\x80\x93 $120 \xE2\x80\x93 Oakland (SFBAY)\r\nhttps://sfbay.example.org/bik/1.html\r\n"},
        DigestCase{"noPrice",
                   {"boston", "Free couch", "", "Cambridge", "http://boston.example.org/2.html"},
                   "Free couch \xE2\x80\x93 Cambridge (BOSTON)\r\nhttp://boston.example.org/2.html\r\n"},
        DigestCase{"noPlace",
                   {"boston", "Lamp", "$5", "", "HTTPS://boston.example.org/3.html"},
                   "Lamp \xE2\x80\x93 $5 (BOSTON)\r\nHTTPS://boston.example.org/3.html\r\n"},
        DigestCase{"neitherPriceNorPlace",
                   {"austin", "Cat", "", "", "https://a.example.org/4"},
                   "Cat (AUSTIN)\r\nhttps://a.example.org/4\r\n"},
        DigestCase{"scriptLinkLeftOut", {"austin", "Cat", "", "", "javascript:alert(1)"}, "Cat (AUSTIN)\r\n"},
        DigestCase{"lineBreaksInPageTextFlattened",
                   {"austin", "Cat\r\nBcc: x@y.z", "$1\n", "", "https://a.example.org/5\r\nhttps://evil"},
                   "Cat Bcc: x@y.z \xE2\x80\x93 $1 (AUSTIN)\r\nhttps://a.example.org/5 https://evil\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DigestMessage, BlocksAreApartByABlankLine)
{
    const std::vector<NewAd> ads
        = {{"sfbay", "A", "$1", "", "https://x.example.org/a"}, {"boston", "B", "", "", "https://x.example.org/b"}};
    EXPECT_EQ(digestMessage(ads),
              "A \xE2\x80\x93 $1 (SFBAY)\r\nhttps://x.example.org/a\r\n\r\n"
              "B (BOSTON)\r\nhttps://x.example.org/b\r\n");
    EXPECT_EQ(digestMessage({}), "");
}

// Runs of a watch over three cities, each as (pages not read, pages read); whether each run notifies.
TEST(UnreadPages, NotifyOnceAtTheSecondRunInARowThatReadsNoCity)
{
    const struct {
        const char* name;
        std::vector<std::pair<int, int>> runs;
        std::vector<bool> notified;
    } rows[] = {
        {"twoInARow", {{3, 0}, {3, 0}}, {false, true}},
        {"onceOnlyWhileItLasts", {{3, 0}, {3, 0}, {3, 0}, {3, 0}}, {false, true, false, false}},
        {"aCityReadBreaksTheRow", {{3, 0}, {2, 1}, {3, 0}, {3, 0}}, {false, false, false, true}},
        {"againAfterAPageWasRead", {{3, 0}, {3, 0}, {0, 3}, {3, 0}, {3, 0}}, {false, true, false, false, true}},
        {"failedDownloadsEndTheRowButNotTheTelling",
         {{3, 0}, {3, 0}, {0, 0}, {3, 0}, {3, 0}},
         {false, true, false, false, false}},
        {"someCitiesNotReadIsNotEnough", {{2, 1}, {2, 1}, {2, 1}}, {false, false, false}},
    };
    for (const auto& row : rows) {
        UnreadPages state;
        std::vector<bool> notified;
        for (const auto& [notRead, read] : row.runs)
            notified.push_back(noteUnreadPages(state, 3, notRead, read));
        EXPECT_EQ(notified, row.notified) << row.name;
    }
    EXPECT_EQ(unreadBody("Desks"), "Desks: the site's pages could not be read");
}

NewAd dropIn(const char* city, const char* oldPrice)
{
    return {city, "Sofa", "$90", "Uptown", "https://example.org/9.html", oldPrice};
}

struct DropCase {
    const char* name;
    std::vector<const char*> newCities;
    std::vector<const char*> cheaperCities;
    size_t notSentBefore;
    const char* summary;
    const char* body;
    const char* subject;
};

class AlertWithDrops : public ::testing::TestWithParam<DropCase> { };

TEST_P(AlertWithDrops, CountTheDropsBesideTheNewAds)
{
    const DropCase& c = GetParam();
    std::vector<NewAd> ads, cheaper;
    for (const char* city : c.newCities)
        ads.push_back(adIn(city));
    for (const char* city : c.cheaperCities)
        cheaper.push_back(dropIn(city, "$120"));
    EXPECT_EQ(alertSummary(ads.size(), cheaper.size()), c.summary);
    EXPECT_EQ(alertBody("Flats", ads, cheaper), c.body);
    EXPECT_EQ(digestSubject("Flats", ads.size(), cheaper.size(), c.notSentBefore), c.subject);
}

INSTANTIATE_TEST_SUITE_P(Table, AlertWithDrops,
                         ::testing::Values(DropCase{"noDropsAsBefore",
                                                    {"boston", "chicago"},
                                                    {},
                                                    0,
                                                    "2 new ads",
                                                    "Flats: 2 new in BOSTON, CHICAGO",
                                                    "2 new ads for Flats"},
                                           DropCase{"oneDropInACityOfTheNewAds",
                                                    {"boston", "chicago"},
                                                    {"boston"},
                                                    0,
                                                    "2 new ads, 1 cheaper",
                                                    "Flats: 2 new, 1 cheaper in BOSTON, CHICAGO",
                                                    "2 new ads, 1 cheaper for Flats"},
                                           DropCase{"theDropsCitiesAfter",
                                                    {"boston"},
                                                    {"austin", "boston", "denver", "miami"},
                                                    0,
                                                    "1 new ad, 4 cheaper",
                                                    "Flats: 1 new, 4 cheaper in BOSTON, AUSTIN, DENVER and 1 more",
                                                    "1 new ad, 4 cheaper for Flats"},
                                           DropCase{"dropsAlone",
                                                    {},
                                                    {"austin"},
                                                    0,
                                                    "0 new ads, 1 cheaper",
                                                    "Flats: 0 new, 1 cheaper in AUSTIN",
                                                    "0 new ads, 1 cheaper for Flats"},
                                           DropCase{"withAdsNotSentBefore",
                                                    {"boston"},
                                                    {},
                                                    3,
                                                    "1 new ad",
                                                    "Flats: 1 new in BOSTON",
                                                    "1 new ad, 3 not sent before for Flats"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SectionCase {
    const char* name;
    std::vector<NewAd> ads;
    std::vector<NewAd> cheaper;
    std::vector<NewAd> notSentBefore;
    const char* message;
};

class DigestSections : public ::testing::TestWithParam<SectionCase> { };

TEST_P(DigestSections, DropsAndAdsNotSentBeforeUnderTheirOwnHeadings)
{
    const SectionCase& c = GetParam();
    EXPECT_EQ(digestMessage(c.ads, c.cheaper, c.notSentBefore), c.message);
}

const NewAd bike{"sfbay", "A", "$1", "", "https://x.example.org/a"};
const NewAd sofa{"boston", "Sofa", "$90", "", "https://x.example.org/s", "$120"};
const NewAd freeSofa{"boston", "Sofa", "", "", "https://x.example.org/f", "$5"};

INSTANTIATE_TEST_SUITE_P(
    Table, DigestSections,
    ::testing::Values(
        SectionCase{"newOnlyAsBefore", {bike}, {}, {}, "A \xE2\x80\x93 $1 (SFBAY)\r\nhttps://x.example.org/a\r\n"},
        SectionCase{"newThenDrops",
                    {bike},
                    {sofa},
                    {},
                    "A \xE2\x80\x93 $1 (SFBAY)\r\nhttps://x.example.org/a\r\n\r\n"
                    "Price drops\r\n\r\n"
                    "Sofa \xE2\x80\x93 $90 (was $120) (BOSTON)\r\nhttps://x.example.org/s\r\n"},
        SectionCase{"dropsAlone",
                    {},
                    {sofa},
                    {},
                    "Price drops\r\n\r\nSofa \xE2\x80\x93 $90 (was $120) (BOSTON)\r\n"
                    "https://x.example.org/s\r\n"},
        SectionCase{"dropToNoPrice",
                    {},
                    {freeSofa},
                    {},
                    "Price drops\r\n\r\nSofa \xE2\x80\x93 (was $5) (BOSTON)\r\n"
                    "https://x.example.org/f\r\n"},
        SectionCase{"allThree",
                    {bike},
                    {sofa},
                    {bike, sofa},
                    "A \xE2\x80\x93 $1 (SFBAY)\r\nhttps://x.example.org/a\r\n\r\n"
                    "Price drops\r\n\r\n"
                    "Sofa \xE2\x80\x93 $90 (was $120) (BOSTON)\r\nhttps://x.example.org/s\r\n\r\n"
                    "Not sent before\r\n\r\n"
                    "A \xE2\x80\x93 $1 (SFBAY)\r\nhttps://x.example.org/a\r\n\r\n"
                    "Sofa \xE2\x80\x93 $90 (was $120) (BOSTON)\r\nhttps://x.example.org/s\r\n"},
        SectionCase{"notSentBeforeAlone",
                    {},
                    {},
                    {bike},
                    "Not sent before\r\n\r\nA \xE2\x80\x93 $1 (SFBAY)\r\n"
                    "https://x.example.org/a\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
