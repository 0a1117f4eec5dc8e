#include "search/searchdefinition.h"

namespace search {

std::string encodeSearchWords(const std::string& words)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(words.size());
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') {
            encoded += '+';
        } else if (byte == '&' || byte == '#' || byte == '+' || byte == '%' || byte < 0x20 || byte >= 0x7F) {
            encoded += '%';
            encoded += hexDigits[byte >> 4];
            encoded += hexDigits[byte & 0x0F];
        } else {
            encoded += c;
        }
    }
    return encoded;
}

// A range or bedroom field goes out as typed, but a URL can't carry a blank: the download refuses it, so a blank
// travels as "%20" (the server reads it back as the blank that was typed).
static std::string escapeBlanks(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == ' ')
            escaped += "%20";
        else
            escaped += c;
    }
    return escaped;
}

static std::string rangeOptions(const std::string& min, const std::string& max)
{
    return "&minAsk=" + escapeBlanks(min) + "&maxAsk=" + escapeBlanks(max);
}

static std::string categoryOptions(const SearchDefinition& s, const std::string& mainCode)
{
    if (mainCode == "ppp")
        return rangeOptions(s.ageMin, s.ageMax);
    if (mainCode == "hhh") {
        std::string options = rangeOptions(s.rentMin, s.rentMax) + "&bedrooms=" + escapeBlanks(s.bedrooms);
        if (s.catsOk == 1)
            options += "&addTwo=purrr";
        if (s.dogsOk == 1)
            options += "&addThree=wooof";
        return options;
    }
    if (mainCode == "ggg") {
        if (s.payPaid == 1)
            return "&addThree=forpay";
        if (s.payNone == 1)
            return "&addThree=nopay";
        return {};
    }
    if (mainCode == "sss")
        return rangeOptions(s.priceMin, s.priceMax);
    if (mainCode == "jjj") {
        std::string options;
        if (s.telecommute == 1)
            options += "&addOne=telecommuting";
        if (s.contract == 1)
            options += "&addTwo=contract";
        if (s.internship == 1)
            options += "&addThree=internship";
        if (s.partTime == 1)
            options += "&addFour=part-time";
        if (s.nonProfit == 1)
            options += "&addFive=non-profit";
        return options;
    }
    return {};
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A currency sign at the start or the end of text, in UTF-8 or in windows-1252; its length, 0 when none.
size_t currencySignAt(std::string_view text, bool atEnd)
{
    static const std::string_view signs[] = {"$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5", "\x80", "\xA3", "\xA5"};
    for (std::string_view sign : signs) {
        if (atEnd ? text.ends_with(sign) : text.starts_with(sign))
            return sign.size();
    }
    return 0;
}

} // namespace

std::optional<std::string> wholeNumber(std::string_view field)
{
    std::string text;
    for (char c : field) {
        if (c != ' ' && c != '\t')
            text += c;
    }
    std::string_view rest = text;
    if (const size_t sign = currencySignAt(rest, false))
        rest.remove_prefix(sign);
    else if (const size_t sign = currencySignAt(rest, true))
        rest.remove_suffix(sign);

    // Digits in groups: a "," or "." followed by exactly three digits (and then the end or another separator)
    // groups thousands; any other separator starts the decimal part, which must be the last.
    std::string digits;
    size_t i = 0;
    while (i < rest.size() && isDigit(rest[i]))
        digits += rest[i++];
    if (digits.empty())
        return std::nullopt;
    while (i < rest.size()) {
        if (rest[i] != ',' && rest[i] != '.')
            return std::nullopt;
        size_t end = i + 1;
        while (end < rest.size() && isDigit(rest[end]))
            ++end;
        const size_t groupLength = end - i - 1;
        if (groupLength == 0)
            return std::nullopt;
        if (groupLength == 3 && (end == rest.size() || rest[end] == ',' || rest[end] == '.')) {
            digits.append(rest.substr(i + 1, 3));
            i = end;
            continue;
        }
        if (end != rest.size())
            return std::nullopt;
        break; // the decimal part, dropped
    }
    const size_t firstNonZero = digits.find_first_not_of('0');
    return firstNonZero == std::string::npos ? std::string("0") : digits.substr(firstNonZero);
}

namespace {

std::string numberOption(const char* name, const std::string& field)
{
    const std::optional<std::string> number = wholeNumber(field);
    return number ? std::string("&") + name + "=" + *number : std::string();
}

// The range and bedroom fields that mainCode's options send.
std::vector<const std::string*> numberFields(const SearchDefinition& s, const std::string& mainCode)
{
    if (mainCode == "sss")
        return {&s.priceMin, &s.priceMax};
    if (mainCode == "hhh")
        return {&s.rentMin, &s.rentMax, &s.bedrooms};
    return {};
}

} // namespace

std::string todaysOptions(const SearchDefinition& s, const std::string& mainCode)
{
    if (mainCode == "sss")
        return numberOption("min_price", s.priceMin) + numberOption("max_price", s.priceMax);
    if (mainCode == "hhh") {
        std::string options = numberOption("min_price", s.rentMin) + numberOption("max_price", s.rentMax);
        if (const std::optional<std::string> bedrooms = wholeNumber(s.bedrooms))
            options += "&min_bedrooms=" + *bedrooms + "&max_bedrooms=" + *bedrooms;
        if (s.catsOk == 1)
            options += "&pets_cat=1";
        if (s.dogsOk == 1)
            options += "&pets_dog=1";
        return options;
    }
    if (mainCode == "ggg") {
        if (s.payPaid == 1)
            return "&is_paid=yes";
        if (s.payNone == 1)
            return "&is_paid=no";
        return {};
    }
    if (mainCode == "jjj") {
        std::string options;
        if (s.telecommute == 1)
            options += "&is_telecommuting=1";
        if (s.contract == 1)
            options += "&employment_type=3";
        if (s.internship == 1)
            options += "&is_internship=1";
        if (s.partTime == 1)
            options += "&employment_type=2";
        if (s.nonProfit == 1)
            options += "&is_nonprofit=1";
        return options;
    }
    return {}; // the site has no personals any more: "ppp" sends nothing new
}

std::vector<std::string> fieldsTheSiteWouldIgnore(const SearchDefinition& search, const std::string& mainCode)
{
    std::vector<std::string> ignored;
    for (const std::string* field : numberFields(search, mainCode)) {
        if (!field->empty() && !wholeNumber(*field))
            ignored.push_back(*field);
    }
    return ignored;
}

std::string buildSearchTail(const SearchDefinition& search, const std::string& mainCode, const std::string& siteDomain)
{
    std::string tail = "." + siteDomain + "/search/" + search.categoryCode;
    tail += "?query=" + encodeSearchWords(search.words);
    tail += search.titleOnly == 1 ? "&srchType=T" : "&srchType=A";
    tail += categoryOptions(search, mainCode);
    if (search.hasPicture == 1)
        tail += "&hasPic=1";
    // The old names stay, as saved searches and their memories know the tail; today's site reads only these.
    tail += todaysOptions(search, mainCode);
    return tail;
}

std::string buildAreaQuery(const SearchDefinition& search, const std::string& mainCode)
{
    // The category goes into a query value here rather than a path: the words' encoding keeps it one value.
    std::string query = "?cat=" + encodeSearchWords(search.categoryCode);
    query += "&query=" + encodeSearchWords(search.words);
    if (search.titleOnly == 1)
        query += "&srchType=T";
    if (search.hasPicture == 1)
        query += "&hasPic=1";
    return query + todaysOptions(search, mainCode);
}

std::string buildAreaUrl(const std::string& cityCode, const std::string& areaQuery, const std::string& siteScheme,
                         const std::string& siteDomain)
{
    return siteScheme + "://www." + siteDomain + "/search/area/" + cityCode + areaQuery;
}

std::string buildCityUrl(const std::string& cityCode, const std::string& tail, const std::string& siteScheme)
{
    return siteScheme + "://" + cityCode + tail;
}

std::string cityOrigin(const std::string& cityCode, const std::string& siteScheme, const std::string& siteDomain)
{
    return siteScheme + "://" + cityCode + "." + siteDomain;
}

} // namespace search
