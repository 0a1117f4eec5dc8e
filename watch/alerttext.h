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
    std::string oldPriceText = {}; // a price drop: the price before; empty for a new ad
};

// "N new ads", "1 new ad" for one; with price drops ", K cheaper" after it.
std::string alertSummary(size_t count, size_t cheaper = 0);
// "NAME: N new in CITY, CITY, CITY" and " and K more" past three cities; each city in upper case, in the order of
// the ads, which the run lists in the area list's order. With price drops "NAME: N new, K cheaper in ...", the
// drops' cities after those of the new ads.
std::string alertBody(const std::string& searchName, const std::vector<NewAd>& ads,
                      const std::vector<NewAd>& cheaper = {});
// "N new ads for NAME" ("1 new ad for NAME"); ", K cheaper" and ", P not sent before" before " for" when there are.
std::string digestSubject(const std::string& searchName, size_t count, size_t cheaper = 0, size_t notSentBefore = 0);
// One block per ad: "TITLE – PRICE – PLACE (CITY)" (an empty part is left out with its dash; a drop's price reads
// "PRICE (was OLD)"), then the link on the next line; blocks apart by a blank line, lines ended by CR LF. Only an
// http or https link is given. The drops, then the ads of digests that failed, follow under headings of their own,
// "Price drops" and "Not sent before", each apart from what goes before and after it by a blank line.
std::string digestMessage(const std::vector<NewAd>& ads, const std::vector<NewAd>& cheaper = {},
                          const std::vector<NewAd>& notSentBefore = {});

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
