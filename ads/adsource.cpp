#include "ads/adsource.h"

#include "platform/settings.h"
#include "search/categorytree.h"
#include "search/savedsearch.h"
#include "shell/filelist.h"
#include "shell/programstate.h"
#include "watch/watchfile.h"

#include <algorithm>
#include <tuple>
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

AdRow rowOf(const search::StoredAd& ad)
{
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
    return row;
}

std::vector<AdRow> rowsOf(const std::vector<search::StoredAd>& stored, bool oncePerKey)
{
    std::vector<AdRow> rows;
    std::unordered_set<std::string> keys;
    for (const search::StoredAd& ad : stored)
        if (!ad.folded && (!oncePerKey || keys.insert(ad.key).second))
            rows.push_back(rowOf(ad));
    return rows;
}

std::vector<AdRow> searchRows(search::AdStore& store, const std::string& tail)
{
    std::vector<AdRow> rows;
    store.forEachSearchAd(tail, [&rows](const search::StoredAd& ad) {
        if (!ad.folded)
            rows.push_back(rowOf(ad));
    });
    rows.shrink_to_fit();
    std::sort(rows.begin(), rows.end(), [](const AdRow& a, const AdRow& b) {
        return std::make_tuple(a.cityPosition, a.city(), a.pagePosition)
            < std::make_tuple(b.cityPosition, b.city(), b.pagePosition);
    });
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
