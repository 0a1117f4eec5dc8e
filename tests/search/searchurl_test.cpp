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

class SearchUrl : public ::testing::TestWithParam<UrlCase> { };

TEST_P(SearchUrl, IsBuiltPieceByPiece)
{
    const UrlCase& c = GetParam();
    SearchDefinition s = withCategory(c.mainCode);
    c.fill(s);
    const std::string tail = search::buildSearchTail(s, c.mainCode, "example.org");
    EXPECT_EQ(search::buildCityUrl("city", tail), std::string("http://city.example.org") + c.pathAndQuery);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchUrl,
    ::testing::Values(
        UrlCase{"rentExample", "hhh",
                [](SearchDefinition& s) {
                    s.words = "two bed";
                    s.entirePost = 1;
                    s.rentMin = "1000";
                    s.rentMax = "2000";
                    s.bedrooms = "2";
                    s.catsOk = 1;
                    s.hasPicture = 1;
                },
                "/search/hhh?query=two+bed&srchType=A&minAsk=1000&maxAsk=2000&bedrooms=2&addTwo=purrr&hasPic=1"},
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
                "/search/sss?query=&srchType=A&minAsk=1%20000&maxAsk=50%20"},
        UrlCase{"rentAndBedroomBlanksEscapedWordsKeepPlus", "hhh",
                [](SearchDefinition& s) {
                    s.words = "two bed";
                    s.rentMin = " 900";
                    s.rentMax = "1  200";
                    s.bedrooms = "2 ";
                },
                "/search/hhh?query=two+bed&srchType=A&minAsk=%20900&maxAsk=1%20%20200&bedrooms=2%20"},
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
                "/search/sss?query=&srchType=A&minAsk=5&maxAsk=50"},
        UrlCase{"bothPetsThenPicture", "hhh",
                [](SearchDefinition& s) {
                    s.catsOk = 1;
                    s.dogsOk = 1;
                    s.hasPicture = 1;
                },
                "/search/hhh?query=&srchType=A&minAsk=&maxAsk=&bedrooms=&addTwo=purrr&addThree=wooof&hasPic=1"},
        UrlCase{"pay", "ggg",
                [](SearchDefinition& s) {
                    s.payPaid = 1;
                    s.payNone = 1;
                },
                "/search/ggg?query=&srchType=A&addThree=forpay"},
        UrlCase{"noPay", "ggg", [](SearchDefinition& s) { s.payNone = 1; },
                "/search/ggg?query=&srchType=A&addThree=nopay"},
        UrlCase{"allPay", "ggg", [](SearchDefinition& s) { s.payAll = 1; }, "/search/ggg?query=&srchType=A"},
        UrlCase{"contractAndNonProfit", "jjj",
                [](SearchDefinition& s) {
                    s.contract = 1;
                    s.nonProfit = 1;
                },
                "/search/jjj?query=&srchType=A&addTwo=contract&addFive=non-profit"},
        UrlCase{
            "everyJobType", "jjj",
            [](SearchDefinition& s) { s.telecommute = s.contract = s.internship = s.partTime = s.nonProfit = 1; },
            "/search/jjj?query=&srchType=A&addOne=telecommuting&addTwo=contract&addThree=internship&addFour=part-time"
            "&addFive=non-profit"},
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

TEST(CityUrl, UsesTheCityCodeVerbatim)
{
    EXPECT_EQ(search::buildCityUrl("New York ", ".x.org/search/sss"), "http://New York .x.org/search/sss");
    EXPECT_EQ(search::buildCityUrl("", ".x.org"), "http://.x.org");
}

} // namespace
