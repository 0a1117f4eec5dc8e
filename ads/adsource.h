#pragma once
// Where the Ads window's rows come from: the searches it offers and their ads in the ad store.

#include "ads/adrules.h"
#include "search/adstore.h"

#include <optional>
#include <string>
#include <vector>

namespace ads {

inline constexpr const char* lastSearchName = "Last Search";
inline constexpr const char* starredAdsName = "Starred Ads";

// One entry of the window's "Search" drop-down.
struct SearchChoice {
    std::string name; // a saved search's name, or starredAdsName
    std::string tail; // the search's URL tail, as the store knows it; empty for the starred ads
    bool starredAds = false;
};

// The URL tail a run of the saved search builds (the category file decides its options); nothing when the saved
// search can't be read.
std::optional<std::string> savedSearchTail(const std::string& name);

// "Last Search", then each watched search, then each other saved search the store holds ads for (its tail among
// storedTails), then "Starred Ads". A search that can't be read is left out, "Last Search" only when it has no ads.
std::vector<SearchChoice> searchChoices(const std::vector<std::string>& storedTails);

// The rows the list shows for the store's ads: each cross-post once, under the city where the page shows it in
// full; with oncePerKey (the starred ads of every search) each ad key once, where it comes first.
std::vector<AdRow> rowsOf(const std::vector<search::StoredAd>& stored, bool oncePerKey);
// The rows of a search's ads, read from the store one ad at a time, in the merged page's order.
std::vector<AdRow> searchRows(search::AdStore& store, const std::string& tail);

// The City box's cities, upper case: the store's cities of the search in its area list's order, then those of the
// rows that are not among them, in the rows' order.
std::vector<std::string> cityChoices(const std::vector<std::string>& storedCities, const std::vector<AdRow>& rows);

} // namespace ads
