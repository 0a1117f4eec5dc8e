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

std::string buildSearchTail(const SearchDefinition& search, const std::string& mainCode, const std::string& siteDomain)
{
    std::string tail = "." + siteDomain + "/search/" + search.categoryCode;
    tail += "?query=" + encodeSearchWords(search.words);
    tail += search.titleOnly == 1 ? "&srchType=T" : "&srchType=A";
    tail += categoryOptions(search, mainCode);
    if (search.hasPicture == 1)
        tail += "&hasPic=1";
    return tail;
}

std::string buildCityUrl(const std::string& cityCode, const std::string& tail)
{
    return "http://" + cityCode + tail;
}

} // namespace search
