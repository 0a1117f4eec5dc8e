#include "watch/alerttext.h"

#include <algorithm>
#include <cctype>

namespace watch {

namespace {

std::string upperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Page text is data: a line break or other control byte in it must not shape the message.
std::string flattened(const std::string& text)
{
    std::string line;
    for (char c : text) {
        const bool control = static_cast<unsigned char>(c) < 32 || c == 127;
        if (control && (line.empty() || line.back() == ' '))
            continue;
        line += control ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

bool isWebLink(const std::string& link)
{
    auto startsWith = [&](const char* prefix) {
        const std::string start = link.substr(0, std::char_traits<char>::length(prefix));
        return std::equal(start.begin(), start.end(), prefix, prefix + std::char_traits<char>::length(prefix),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    };
    return startsWith("http://") || startsWith("https://");
}

std::string countOfAds(size_t count, size_t cheaper)
{
    return std::to_string(count) + (count == 1 ? " new ad" : " new ads")
        + (cheaper > 0 ? ", " + std::to_string(cheaper) + " cheaper" : "");
}

void addCities(std::vector<std::string>& cities, const std::vector<NewAd>& ads)
{
    for (const NewAd& ad : ads) {
        std::string city = upperCase(flattened(ad.city));
        if (std::find(cities.begin(), cities.end(), city) == cities.end())
            cities.push_back(std::move(city));
    }
}

std::string blocks(const std::vector<NewAd>& ads)
{
    static const std::string dash = " \xE2\x80\x93 "; // an en dash between blanks
    std::string message;
    for (const NewAd& ad : ads) {
        if (!message.empty())
            message += "\r\n";
        std::string price = flattened(ad.priceText);
        const std::string oldPrice = flattened(ad.oldPriceText);
        if (!oldPrice.empty())
            price += (price.empty() ? "(was " : " (was ") + oldPrice + ")";
        std::string line;
        for (const std::string& text : {flattened(ad.titleText), price, flattened(ad.placeText)}) {
            if (!text.empty())
                line += (line.empty() ? "" : dash) + text;
        }
        message += line + " (" + upperCase(flattened(ad.city)) + ")\r\n";
        const std::string link = flattened(ad.link);
        if (isWebLink(link))
            message += link + "\r\n";
    }
    return message;
}

} // namespace

bool noteUnreadPages(UnreadPages& state, int citiesAsked, int notRead, int pagesRead)
{
    if (citiesAsked > 0 && notRead == citiesAsked) {
        ++state.runsInARow;
        if (state.runsInARow < 2 || state.told)
            return false;
        state.told = true;
        return true;
    }
    // A run whose cities all failed to download says nothing about the pages' form: only the streak ends.
    state.runsInARow = 0;
    if (pagesRead > 0)
        state.told = false;
    return false;
}

std::string unreadBody(const std::string& searchName)
{
    return searchName + ": the site's pages could not be read";
}

std::string alertSummary(size_t count, size_t cheaper)
{
    return countOfAds(count, cheaper);
}

std::string alertBody(const std::string& searchName, const std::vector<NewAd>& ads, const std::vector<NewAd>& cheaper)
{
    std::vector<std::string> cities;
    addCities(cities, ads);
    addCities(cities, cheaper);
    std::string body = searchName + ": " + std::to_string(ads.size()) + " new"
        + (cheaper.empty() ? "" : ", " + std::to_string(cheaper.size()) + " cheaper") + " in ";
    for (size_t i = 0; i < cities.size() && i < 3; ++i)
        body += (i ? ", " : "") + cities[i];
    if (cities.size() > 3)
        body += " and " + std::to_string(cities.size() - 3) + " more";
    return body;
}

std::string digestSubject(const std::string& searchName, size_t count, size_t cheaper, size_t notSentBefore)
{
    return countOfAds(count, cheaper)
        + (notSentBefore > 0 ? ", " + std::to_string(notSentBefore) + " not sent before" : "") + " for " + searchName;
}

std::string digestMessage(const std::vector<NewAd>& ads, const std::vector<NewAd>& cheaper,
                          const std::vector<NewAd>& notSentBefore)
{
    std::string message = blocks(ads);
    for (const auto& [heading, section] : {std::pair<const char*, const std::vector<NewAd>*>{"Price drops", &cheaper},
                                           {"Not sent before", &notSentBefore}}) {
        if (section->empty())
            continue;
        message += (message.empty() ? "" : "\r\n") + std::string(heading) + "\r\n\r\n" + blocks(*section);
    }
    return message;
}

} // namespace watch
