#include "ads/adsource.h"

#include "platform/settings.h"
#include "search/categorytree.h"
#include "search/savedsearch.h"
#include "shell/filelist.h"
#include "shell/programstate.h"
#include "watch/watchfile.h"

#include <malloc.h>

#include <algorithm>
#include <unordered_set>

namespace ads {

namespace {

std::optional<std::string> tailOf(const std::string& name, const std::vector<search::CategoryEntry>& categories)
{
    const std::optional<search::SearchDefinition> definition
        = search::readSavedSearch(shell::programFolder + search::savedSearchFile(name));
    if (!definition)
        return std::nullopt;
    const std::string mainCode = search::mainCodeAt(
        categories, search::findCategory(categories, definition->categoryCode), definition->categoryCode);
    return search::buildSearchTail(*definition, mainCode, platform::settings().siteDomain);
}

std::vector<search::CategoryEntry> categories()
{
    return search::readCategoryFile(shell::suppliedFile("CategoryTree.dat"));
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The link as its href holds it: a '"' is written "&quot;" there.
std::string linkText(const std::string& href)
{
    std::string link;
    link.reserve(href.size());
    for (size_t at = 0; at < href.size(); ++at) {
        if (href.compare(at, 6, "&quot;") == 0) {
            link += '"';
            at += 5;
        } else {
            link += href[at];
        }
    }
    return link;
}

} // namespace

std::optional<std::string> savedSearchTail(const std::string& name)
{
    return tailOf(name, categories());
}

std::vector<SearchChoice> searchChoices(const std::vector<std::string>& storedTails)
{
    const std::vector<search::CategoryEntry> table = categories();
    const std::unordered_set<std::string> stored(storedTails.begin(), storedTails.end());
    std::vector<SearchChoice> choices;
    std::unordered_set<std::string> named;
    auto add = [&](const std::string& name, bool onlyWithAds) {
        if (!named.insert(name).second)
            return;
        const std::optional<std::string> tail = tailOf(name, table);
        if (tail && (!onlyWithAds || stored.count(*tail)))
            choices.push_back({name, *tail, false});
    };
    add(lastSearchName, false);
    for (const std::string& name : watch::activeWatches())
        add(name, false);
    for (const std::string& name : shell::listDataFiles(shell::programFolder + "savedsearch/", ".search"))
        add(name, true);
    if (choices.empty() || choices.front().name != lastSearchName)
        choices.insert(choices.begin(), {lastSearchName, std::string(), false});
    choices.push_back({starredAdsName, std::string(), true});
    return choices;
}

std::vector<AdRow> rowsOf(std::vector<search::StoredAd> stored, bool oncePerKey)
{
    std::vector<AdRow> rows;
    rows.reserve(stored.size());
    std::unordered_set<std::string> keys;
    for (search::StoredAd& ad : stored) {
        if (ad.folded)
            continue;
        if (oncePerKey && !keys.insert(ad.key).second)
            continue;
        AdRow row;
        const std::string city = upper(ad.cityCode);
        const std::string link = linkText(ad.link);
        // In the order of Text.
        row.setTexts({ad.key, city, link, ad.title, ad.price, ad.place, ad.picture, ad.oldPrice, ad.marks.note});
        row.cityPosition = ad.cityPosition;
        row.pagePosition = ad.pagePosition;
        row.priceNumber = ad.priceNumber;
        row.firstSeen = ad.firstSeen;
        row.lastSeen = ad.lastSeen;
        row.isNew = ad.isNew;
        row.starred = ad.marks.starred;
        row.hidden = ad.marks.hidden;
        rows.push_back(std::move(row));
        // The store's copy goes as soon as it has been taken: 100,000 ads are held once, not twice.
        ad = search::StoredAd{};
    }
    rows.shrink_to_fit();
    stored.clear();
    stored.shrink_to_fit();
    // The store's copies were many small blocks among the rows' own: hand the freed pages back to the system.
    ::malloc_trim(0);
    return rows;
}

std::vector<std::string> cityChoices(const std::vector<std::string>& storedCities, const std::vector<AdRow>& rows)
{
    std::vector<std::string> cities;
    std::unordered_set<std::string> seen;
    for (const std::string& city : storedCities)
        if (seen.insert(upper(city)).second)
            cities.push_back(upper(city));
    for (const AdRow& row : rows)
        if (seen.insert(std::string(row.city())).second)
            cities.push_back(std::string(row.city()));
    return cities;
}

} // namespace ads
