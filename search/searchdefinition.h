#pragma once
// The search record and the URLs built from it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// Flags are 1 for ticked or selected and 0 for not; every test compares with 1. Texts are kept as typed.
struct SearchDefinition {
    std::string categoryCode;
    std::string words;
    std::string areaListName;
    std::string priceMin;
    std::string priceMax;
    std::int32_t titleOnly = 0;
    std::int32_t entirePost = 0;
    std::int32_t hasPicture = 0;
    std::int32_t payPaid = 0;
    std::int32_t payNone = 0;
    std::int32_t payAll = 0;
    std::int32_t telecommute = 0;
    std::int32_t contract = 0;
    std::int32_t internship = 0;
    std::int32_t partTime = 0;
    std::int32_t nonProfit = 0;
    std::string rentMin;
    std::string rentMax;
    std::int32_t catsOk = 0;
    std::int32_t dogsOk = 0;
    std::string bedrooms;
    std::string ageMin;
    std::string ageMax;

    bool operator==(const SearchDefinition&) const = default;
};

// The search words as the query value: each blank becomes "+"; "&", "#", "+", "%", control bytes and bytes above
// 127 become "%" and two upper-case hexadecimal digits, so that they reach the site as part of the words.
std::string encodeSearchWords(const std::string& words);

// "." + siteDomain + "/search/" + category, the query, the search type, the options of mainCode (compared
// case-sensitively) and the picture flag. Range and bedroom values go in as typed, empty ones too, with each
// blank as "%20". Then the same options under the names today's site reads (see todaysOptions).
std::string buildSearchTail(const SearchDefinition& search, const std::string& mainCode, const std::string& siteDomain);

// The options of mainCode under today's names: min_price/max_price, min_bedrooms/max_bedrooms, pets_cat/pets_dog,
// is_paid, the job types. Ranges and bedrooms go in only when their field holds a whole number.
std::string todaysOptions(const SearchDefinition& search, const std::string& mainCode);

// The whole number a range or bedroom field stands for, as the site takes it (digits only): blanks, one currency
// sign ($ € £ ¥, before or after) and thousands separators removed, a decimal part dropped. "$1,200" gives
// "1200", "99.99" gives "99"; "", "cheap", "5-10", "-5" and "1e3" give nothing.
std::optional<std::string> wholeNumber(std::string_view field);

// The texts of the range and bedroom fields of mainCode's options that are not empty and give no whole number,
// in the order of the fields: the site would ignore them.
std::vector<std::string> fieldsTheSiteWouldIgnore(const SearchDefinition& search, const std::string& mainCode);

// The query of the site's own address of a search: "?cat=" + category, "&query=" + the encoded words, "&srchType=T"
// for titles only (nothing for the entire post), "&hasPic=1", then todaysOptions. None of the old names.
std::string buildAreaQuery(const SearchDefinition& search, const std::string& mainCode);

// The site's own address of a city's search, where the city's host redirects to: siteScheme + "://www." +
// siteDomain + "/search/area/" + cityCode + areaQuery. The city code is used as it stands.
std::string buildAreaUrl(const std::string& cityCode, const std::string& areaQuery, const std::string& siteScheme,
                         const std::string& siteDomain);

// siteScheme + "://" + cityCode + tail; the city code is used as it stands.
std::string buildCityUrl(const std::string& cityCode, const std::string& tail, const std::string& siteScheme);

// siteScheme + "://" + cityCode + "." + siteDomain: the city's host, where its site-relative links lead.
std::string cityOrigin(const std::string& cityCode, const std::string& siteScheme, const std::string& siteDomain);

} // namespace search
