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

static std::string categoryOptions(const SearchDefinition& s, const std::string& mainCode)
{
    if (mainCode == "ppp")
        return "&minAsk=" + s.ageMin + "&maxAsk=" + s.ageMax;
    if (mainCode == "hhh") {
        std::string options = "&minAsk=" + s.rentMin + "&maxAsk=" + s.rentMax + "&bedrooms=" + s.bedrooms;
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
        return "&minAsk=" + s.priceMin + "&maxAsk=" + s.priceMax;
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
