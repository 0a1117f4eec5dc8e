#pragma once
// The texts that tell the user about a watch run's new ads: the desktop notification and the digest mail.

#include <string>
#include <vector>

namespace watch {

// One new ad as the run found it; texts are plain (no markup), in UTF-8, as the mail's message is.
struct NewAd {
    std::string city; // the city code
    std::string titleText;
    std::string priceText;
    std::string placeText;
    std::string link;
};

// "N new ads", "1 new ad" for one.
std::string alertSummary(size_t count);
// "NAME: N new in CITY, CITY, CITY" and " and K more" past three cities; each city in upper case, in the order of
// the ads, which the run lists in the area list's order.
std::string alertBody(const std::string& searchName, const std::vector<NewAd>& ads);
// "N new ads for NAME" ("1 new ad for NAME").
std::string digestSubject(const std::string& searchName, size_t count);
// One block per ad: "TITLE – PRICE – PLACE (CITY)" (an empty part is left out with its dash), then the
// link on the next line; blocks apart by a blank line, lines ended by CR LF. Only an http or https link is given.
std::string digestMessage(const std::vector<NewAd>& ads);

// A watch's runs in a row in which no city's page could be read (each had a form the program does not know).
struct UnreadPages {
    int runsInARow = 0;
    bool told = false;
};
// Notes a run that asked for citiesAsked pages, of which notRead could not be read and pagesRead could. True once,
// at the second run in a row in which every city's page could not be read; a run that reads a page starts over.
bool noteUnreadPages(UnreadPages& state, int citiesAsked, int notRead, int pagesRead);
// The notification for that: "Search needs attention", and "NAME: the site's pages could not be read".
inline constexpr const char* unreadSummary = "Search needs attention";
std::string unreadBody(const std::string& searchName);

} // namespace watch
