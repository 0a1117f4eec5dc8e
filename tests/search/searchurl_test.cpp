#include "search/searchdefinition.h"

#include <gtest/gtest.h>

#include <functional>

using search::SearchDefinition;

namespace {

struct UrlCase {
    const char* name;
    const char* mainCode;
    std::function<void(SearchDefinition&)> fill;
    const char* pathAndQuery; // after "http://city.example.org"
};

SearchDefinition withCategory(const char* code)
{
    SearchDefinition s;
    s.categoryCode = code;
    return s;
}

// One search of every kind of field, read by both forms of address.
void rentExample(SearchDefinition& s)
{
    s.words = "two bed";
    s.entirePost = 1;
    s.rentMin = "1000";
    s.rentMax = "2000";
    s.bedrooms = "2";
    s.catsOk = 1;
    s.hasPicture = 1;
}

class SearchUrl : public ::testing::TestWithParam<UrlCase> { };

TEST_P(SearchUrl, IsBuiltPieceByPiece)
{
    const UrlCase& c = GetParam();
    SearchDefinition s = withCategory(c.mainCode);
    c.fill(s);
    const std::string tail = search::buildSearchTail(s, c.mainCode, "example.org");
    EXPECT_EQ(search::buildCityUrl("city", tail, "http"), std::string("http://city.example.org") + c.pathAndQuery);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchUrl,
    ::testing::Values(
        UrlCase{"rentExample", "hhh",
                rentExample,
                "/search/hhh?query=two+bed&srchType=A&minAsk=1000&maxAsk=2000&bedrooms=2&addTwo=purrr&hasPic=1"
                "&min_price=1000&max_price=2000&min_bedrooms=2&max_bedrooms=2&pets_cat=1"},
        UrlCase{"doubleBlank", "xyz", [](SearchDefinition& s) { s.words = "a  b"; },
                "/search/xyz?query=a++b&srchType=A"},
        UrlCase{"leadingBlank", "xyz", [](SearchDefinition& s) { s.words = " a"; }, "/search/xyz?query=+a&srchType=A"},
        UrlCase{"titleOnly", "xyz",
                [](SearchDefinition& s) {
                    s.titleOnly = 1;
                    s.entirePost = 1;
                },
                "/search/xyz?query=&srchType=T"},
        UrlCase{"flagMustBeOne", "xyz",
                [](SearchDefinition& s) {
                    s.titleOnly = 2;
                    s.hasPicture = -1;
                },
                "/search/xyz?query=&srchType=A"},
        UrlCase{"emptyPriceRange", "sss", [](SearchDefinition&) {}, "/search/sss?query=&srchType=A&minAsk=&maxAsk="},
        UrlCase{"priceBlanksTravelEscaped", "sss",
                [](SearchDefinition& s) {
                    s.priceMin = "1 000";
                    s.priceMax = "50 ";
                },
                "/search/sss?query=&srchType=A&minAsk=1%20000&maxAsk=50%20&min_price=1000&max_price=50"},
        UrlCase{"rentAndBedroomBlanksEscapedWordsKeepPlus", "hhh",
                [](SearchDefinition& s) {
                    s.words = "two bed";
                    s.rentMin = " 900";
                    s.rentMax = "1  200";
                    s.bedrooms = "2 ";
                },
                "/search/hhh?query=two+bed&srchType=A&minAsk=%20900&maxAsk=1%20%20200&bedrooms=2%20"
                "&min_price=900&max_price=1200&min_bedrooms=2&max_bedrooms=2"},
        UrlCase{"ageBlanksEscaped", "ppp",
                [](SearchDefinition& s) {
                    s.ageMin = "3 0";
                    s.ageMax = " ";
                },
                "/search/ppp?query=&srchType=A&minAsk=3%200&maxAsk=%20"},
        UrlCase{"rentLeftoversIgnoredForSss", "sss",
                [](SearchDefinition& s) {
                    s.rentMin = "900";
                    s.bedrooms = "3";
                    s.catsOk = 1;
                    s.priceMin = "5";
                    s.priceMax = "50";
                },
                "/search/sss?query=&srchType=A&minAsk=5&maxAsk=50&min_price=5&max_price=50"},
        UrlCase{
            "bothPetsThenPicture", "hhh",
            [](SearchDefinition& s) {
                s.catsOk = 1;
                s.dogsOk = 1;
                s.hasPicture = 1;
            },
            "/search/hhh?query=&srchType=A&minAsk=&maxAsk=&bedrooms=&addTwo=purrr&addThree=wooof&hasPic=1&pets_cat=1"
            "&pets_dog=1"},
        UrlCase{"pay", "ggg",
                [](SearchDefinition& s) {
                    s.payPaid = 1;
                    s.payNone = 1;
                },
                "/search/ggg?query=&srchType=A&addThree=forpay&is_paid=yes"},
        UrlCase{"noPay", "ggg", [](SearchDefinition& s) { s.payNone = 1; },
                "/search/ggg?query=&srchType=A&addThree=nopay&is_paid=no"},
        UrlCase{"allPay", "ggg", [](SearchDefinition& s) { s.payAll = 1; }, "/search/ggg?query=&srchType=A"},
        UrlCase{"contractAndNonProfit", "jjj",
                [](SearchDefinition& s) {
                    s.contract = 1;
                    s.nonProfit = 1;
                },
                "/search/jjj?query=&srchType=A&addTwo=contract&addFive=non-profit&employment_type=3&is_nonprofit=1"},
        UrlCase{
            "everyJobType", "jjj",
            [](SearchDefinition& s) { s.telecommute = s.contract = s.internship = s.partTime = s.nonProfit = 1; },
            "/search/jjj?query=&srchType=A&addOne=telecommuting&addTwo=contract&addThree=internship&addFour=part-time"
            "&addFive=non-profit&is_telecommuting=1&employment_type=3&is_internship=1&employment_type=2&is_nonprofit="
            "1"},
        UrlCase{"age", "ppp",
                [](SearchDefinition& s) {
                    s.ageMin = "30";
                    s.ageMax = "40";
                    s.priceMin = "1";
                },
                "/search/ppp?query=&srchType=A&minAsk=30&maxAsk=40"},
        UrlCase{"otherLetterCaseAddsNothing", "SSS",
                [](SearchDefinition& s) {
                    s.priceMin = "1";
                    s.hasPicture = 1;
                },
                "/search/SSS?query=&srchType=A&hasPic=1"},
        UrlCase{"emptyCategory", "", [](SearchDefinition& s) { s.words = "x"; }, "/search/?query=x&srchType=A"},
        UrlCase{"ampersandAndPlusEncoded", "xyz", [](SearchDefinition& s) { s.words = "AT&T c++"; },
                "/search/xyz?query=AT%26T+c%2B%2B&srchType=A"},
        UrlCase{"fragmentMarkEncoded", "xyz", [](SearchDefinition& s) { s.words = "#1 50%"; },
                "/search/xyz?query=%231+50%25&srchType=A"},
        UrlCase{"controlAndHighBytesEncoded", "xyz", [](SearchDefinition& s) { s.words = "caf\xC3\xA9\t\x7F"; },
                "/search/xyz?query=caf%C3%A9%09%7F&srchType=A"},
        UrlCase{"otherPunctuationUnchanged", "xyz", [](SearchDefinition& s) { s.words = "a?b=c/d\"e'"; },
                "/search/xyz?query=a?b=c/d\"e'&srchType=A"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CityUrl, UsesTheCityCodeVerbatimAndTheSiteScheme)
{
    EXPECT_EQ(search::buildCityUrl("New York ", ".x.org/search/sss", "https"), "https://New York .x.org/search/sss");
    EXPECT_EQ(search::buildCityUrl("", ".x.org", "http"), "http://.x.org");
}

// The site's own address: the category and the words in the query, today's names only.
class AreaUrl : public ::testing::TestWithParam<UrlCase> { };

TEST_P(AreaUrl, CarriesTodaysNamesOnly)
{
    const UrlCase& c = GetParam();
    SearchDefinition s = withCategory(c.mainCode);
    c.fill(s);
    const std::string url = search::buildAreaUrl("city", search::buildAreaQuery(s, c.mainCode), "http", "example.org");
    EXPECT_EQ(url, std::string("http://www.example.org/search/area/city") + c.pathAndQuery);
    for (const char* old : {"minAsk", "maxAsk", "&bedrooms=", "addOne", "addTwo", "addThree", "srchType=A"})
        EXPECT_EQ(url.find(old), std::string::npos) << old;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AreaUrl,
    ::testing::Values(
        UrlCase{
            "rentExample", "hhh",
            rentExample,
            "?cat=hhh&query=two+bed&hasPic=1&min_price=1000&max_price=2000&min_bedrooms=2&max_bedrooms=2&pets_cat=1"},
        UrlCase{"titleOnlyBeforeThePicture", "sss",
                [](SearchDefinition& s) {
                    s.titleOnly = 1;
                    s.hasPicture = 1;
                    s.priceMax = "$50";
                },
                "?cat=sss&query=&srchType=T&hasPic=1&max_price=50"},
        UrlCase{"entirePostSendsNoType", "xyz",
                [](SearchDefinition& s) {
                    s.entirePost = 1;
                    s.words = "AT&T  #1";
                },
                "?cat=xyz&query=AT%26T++%231"},
        UrlCase{"jobTypes", "jjj", [](SearchDefinition& s) { s.contract = s.nonProfit = 1; },
                "?cat=jjj&query=&employment_type=3&is_nonprofit=1"},
        UrlCase{"categoryStaysOneValue", "", [](SearchDefinition& s) { s.categoryCode = "a&b c"; },
                "?cat=a%26b+c&query="}),
    [](const auto& info) { return std::string(info.param.name); });

struct TodaysCase {
    const char* name;
    const char* mainCode;
    std::function<void(SearchDefinition&)> fill;
    const char* appended; // what follows the old names in the tail
};

class TodaysNames : public ::testing::TestWithParam<TodaysCase> { };

TEST_P(TodaysNames, FollowTheOldOnes)
{
    const TodaysCase& c = GetParam();
    SearchDefinition s = withCategory("cat");
    c.fill(s);
    const std::string tail = search::buildSearchTail(s, c.mainCode, "x.org");
    const std::string appended = search::todaysOptions(s, c.mainCode);
    EXPECT_EQ(appended, c.appended);
    ASSERT_TRUE(tail.ends_with(appended));
    // The old tail stays as it was, "&hasPic=1" included, in front of today's names.
    const std::string old = tail.substr(0, tail.size() - appended.size());
    EXPECT_TRUE(s.hasPicture != 1 || old.ends_with("&hasPic=1")) << tail;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TodaysNames,
    ::testing::Values(
        TodaysCase{"priceRange", "sss",
                   [](SearchDefinition& s) {
                       s.priceMin = "$1,200";
                       s.priceMax = "99.99";
                       s.hasPicture = 1;
                   },
                   "&min_price=1200&max_price=99"},
        TodaysCase{"priceFromOnly", "sss", [](SearchDefinition& s) { s.priceMin = "50"; }, "&min_price=50"},
        TodaysCase{"badPriceAddsNothing", "sss", [](SearchDefinition& s) { s.priceMax = "cheap"; }, ""},
        TodaysCase{"rentBedroomsPets", "hhh",
                   [](SearchDefinition& s) {
                       s.rentMin = "1000";
                       s.rentMax = "2 000";
                       s.bedrooms = "2";
                       s.catsOk = 1;
                       s.dogsOk = 1;
                   },
                   "&min_price=1000&max_price=2000&min_bedrooms=2&max_bedrooms=2&pets_cat=1&pets_dog=1"},
        TodaysCase{"dogsOnly", "hhh", [](SearchDefinition& s) { s.dogsOk = 1; }, "&pets_dog=1"},
        TodaysCase{"paid", "ggg", [](SearchDefinition& s) { s.payPaid = 1; }, "&is_paid=yes"},
        TodaysCase{"unpaid", "ggg", [](SearchDefinition& s) { s.payNone = 1; }, "&is_paid=no"},
        TodaysCase{"allPay", "ggg", [](SearchDefinition& s) { s.payAll = 1; }, ""},
        TodaysCase{
            "everyJobType", "jjj",
            [](SearchDefinition& s) { s.telecommute = s.contract = s.internship = s.partTime = s.nonProfit = 1; },
            "&is_telecommuting=1&employment_type=3&is_internship=1&employment_type=2&is_nonprofit=1"},
        TodaysCase{"personalsAreGone", "ppp",
                   [](SearchDefinition& s) {
                       s.ageMin = "20";
                       s.ageMax = "30";
                   },
                   ""},
        TodaysCase{"otherFieldsOfAnotherGroup", "sss",
                   [](SearchDefinition& s) {
                       s.rentMin = "1000";
                       s.catsOk = 1;
                   },
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WholeNumber, IsWhatTheSiteTakes)
{
    const struct {
        const char* field;
        const char* number; // nullptr: none
    } rows[] = {
        {"500", "500"},
        {" 500 ", "500"},
        {"$1,200", "1200"},
        {"1 200", "1200"},
        {"1.200", "1200"},
        {"99.99", "99"},
        {"99,5", "99"},
        {"50\xE2\x82\xAC", "50"},
        {"\xC2\xA3"
         "75",
         "75"},
        {"1,234,567", "1234567"},
        {"1.200,50", "1200"},
        {"0", "0"},
        {"", nullptr},
        {"cheap", nullptr},
        {"5-10", nullptr},
        {"-5", nullptr},
        {"1e3", nullptr},
        {"$$5", nullptr},
        {"1..2", nullptr},
        {"12.", nullptr},
        {"1.23.4", nullptr},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> number = search::wholeNumber(row.field);
        if (row.number)
            EXPECT_EQ(number.value_or("(none)"), row.number) << row.field;
        else
            EXPECT_FALSE(number.has_value()) << row.field << " gave " << *number;
    }
}

TEST(WholeNumber, FieldsTheSiteWouldIgnoreAreTheFilledOnesOfTheGroupInEffect)
{
    SearchDefinition s;
    s.priceMin = "cheap";
    s.priceMax = "";
    s.rentMin = "lots";
    s.bedrooms = "two";
    EXPECT_EQ(search::fieldsTheSiteWouldIgnore(s, "sss"), std::vector<std::string>{"cheap"});
    EXPECT_EQ(search::fieldsTheSiteWouldIgnore(s, "hhh"), (std::vector<std::string>{"lots", "two"}));
    EXPECT_TRUE(search::fieldsTheSiteWouldIgnore(s, "jjj").empty());
}

} // namespace
