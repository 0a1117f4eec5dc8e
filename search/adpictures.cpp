#include "search/adpictures.h"

#include "search/adlist.h"
#include "search/searchdefinition.h"

#include "platform/htmltag.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>

namespace search {

namespace {

using platform::startsWithIgnoringCase;

// Far beyond a page of 360 ads (about 1 MB); a larger block is not parsed at all.
constexpr size_t maximumJsonBytes = 8 * 1024 * 1024;

// Just after the ">" of the pictures' script tag in the line, or npos.
size_t picturesTagEnd(std::string_view line)
{
    if (line.find("ld_searchpage_results") == std::string_view::npos)
        return std::string_view::npos;
    for (size_t at = line.find('<'); at != std::string_view::npos; at = line.find('<', at + 1)) {
        const std::string_view rest = line.substr(at + 1);
        if (!startsWithIgnoringCase(rest, "script") || rest.size() < 7
            || !(platform::isHtmlSpace(rest[6]) || rest[6] == '>' || rest[6] == '/'))
            continue;
        bool typeFits = false;
        bool idFits = false;
        const size_t end = platform::forEachTagAttribute(line, at, [&](std::string_view name, std::string_view value) {
            std::string lowered;
            for (char c : name)
                lowered.push_back(platform::asciiLower(c));
            if (lowered == "type")
                typeFits = value.size() == 19 && startsWithIgnoringCase(value, "application/ld+json");
            else if (lowered == "id")
                idFits = value == "ld_searchpage_results";
        });
        if (typeFits && idFits)
            return end;
    }
    return std::string_view::npos;
}

// Where the script's content ends: its "</script", else the end of the line.
size_t scriptEnd(std::string_view line, size_t from)
{
    for (size_t at = line.find("</", from); at != std::string_view::npos; at = line.find("</", at + 2)) {
        if (startsWithIgnoringCase(line.substr(at + 2), "script"))
            return at;
    }
    return line.size();
}

// The entry's place in the list: a number, or a string of digits as today's site writes it.
std::optional<double> positionOf(const nlohmann::json& entry)
{
    const auto found = entry.find("position");
    if (found == entry.end())
        return std::nullopt;
    if (found->is_number())
        return found->get<double>();
    if (!found->is_string())
        return std::nullopt;
    const std::string& text = found->get_ref<const std::string&>();
    if (text.empty() || text.size() > 15
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stod(text);
}

// The whole number of the entry's price (item.offers.price, or that of its first offer), when it has one.
std::optional<std::string> priceOf(const nlohmann::json& item)
{
    auto offers = item.find("offers");
    if (offers == item.end())
        return std::nullopt;
    const nlohmann::json* offer = &*offers;
    if (offer->is_array()) {
        if (offer->empty())
            return std::nullopt;
        offer = &offer->front();
    }
    if (!offer->is_object())
        return std::nullopt;
    const auto price = offer->find("price");
    if (price == offer->end())
        return std::nullopt;
    if (price->is_string())
        return wholeNumber(price->get_ref<const std::string&>());
    if (price->is_number()) {
        const double value = price->get<double>();
        if (value >= 0 && value < 1e15)
            return std::to_string(static_cast<long long>(value));
    }
    return std::nullopt;
}

// The first http(s) address among the entry's pictures, written safe for a double-quoted attribute.
std::string pictureOf(const nlohmann::json& item)
{
    const auto images = item.find("image");
    if (images == item.end())
        return {};
    std::vector<const nlohmann::json*> candidates;
    if (images->is_array()) {
        for (const nlohmann::json& image : *images)
            candidates.push_back(&image);
    } else {
        candidates.push_back(&*images);
    }
    for (const nlohmann::json* image : candidates) {
        if (!image->is_string())
            continue;
        const std::string& address = image->get_ref<const std::string&>();
        const bool control = std::any_of(address.begin(), address.end(),
                                         [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; });
        if (control || !(startsWithIgnoringCase(address, "http:") || startsWithIgnoringCase(address, "https:")))
            continue;
        std::string safe;
        for (char c : address) {
            switch (c) {
            case '&':
                safe += "&amp;";
                break;
            case '"':
                safe += "&quot;";
                break;
            case '<':
                safe += "&lt;";
                break;
            case '>':
                safe += "&gt;";
                break;
            default:
                safe.push_back(c);
            }
        }
        return safe;
    }
    return {};
}

} // namespace

bool AdPictures::isPicturesLine(std::string_view line)
{
    return picturesTagEnd(line) != std::string_view::npos;
}

bool AdPictures::parse(std::string_view line)
{
    m_entries.clear();
    m_next = 0;
    m_adsWithout = 0;
    const size_t start = picturesTagEnd(line);
    if (start == std::string_view::npos)
        return false;
    const std::string_view json = line.substr(start, scriptEnd(line, start) - start);
    if (json.size() > maximumJsonBytes)
        return false;

    // Only the names, prices and pictures are kept while parsing: places and the like are dropped as they come.
    const auto keep = [](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event != nlohmann::json::parse_event_t::key)
            return true;
        const std::string& key = parsed.get_ref<const std::string&>();
        return key == "itemListElement" || key == "position" || key == "item" || key == "name" || key == "image"
            || key == "offers" || key == "price";
    };
    const nlohmann::json document = nlohmann::json::parse(json.begin(), json.end(), keep, false);
    if (document.is_discarded())
        return false;
    if (!document.is_object())
        return true;
    const auto list = document.find("itemListElement");
    if (list == document.end() || !list->is_array())
        return true;

    struct Placed {
        std::optional<double> position;
        Entry entry;
    };
    std::vector<Placed> placed;
    for (const nlohmann::json& element : *list) {
        if (!element.is_object())
            continue;
        const auto item = element.find("item");
        if (item == element.end() || !item->is_object())
            continue;
        const auto name = item->find("name");
        if (name == item->end() || !name->is_string())
            continue;
        placed.push_back(
            {positionOf(element),
             {foldBlanks(htmlToText(name->get_ref<const std::string&>())), priceOf(*item), pictureOf(*item)}});
    }
    // By position; entries without one keep their order after the others.
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        if (a.position && b.position)
            return *a.position < *b.position;
        return a.position.has_value() && !b.position.has_value();
    });
    m_entries.reserve(placed.size());
    for (Placed& p : placed)
        m_entries.push_back(std::move(p.entry));
    return true;
}

// The alignment works as the list streams, one ad at a time, against the entries known from the head. An ad takes
// the first entry from m_next on that fits it, passing over the entries before it (items without an ad in the
// list), but only a few: every entry passed over is a claim that no later ad will want it. The reach is one entry,
// and two more for each ad in a row before this one that took none: an ad missing from the entries (the common
// case, seen on real pages) then costs that ad alone its picture, since the next ad fits the entry waiting at
// m_next; and a run of entries missing from the list is crossed after an ad or two, rather than costing every ad
// after it. The bound also keeps the work per ad small. What can't be told apart this way is two ads of the same
// title and price where one lacks its entry: those are as a rule the same thing posted twice, with like pictures.
std::string AdPictures::pictureFor(std::string_view titleText, std::string_view priceText)
{
    constexpr size_t furthestReach = 16;
    const std::string name = foldBlanks(titleText);
    const std::optional<std::string> price = priceText.empty() ? std::nullopt : wholeNumber(htmlToText(priceText));
    const size_t reach = std::min<size_t>(furthestReach, 1 + 2 * static_cast<size_t>(m_adsWithout));
    for (size_t at = m_next; at < m_entries.size() && at <= m_next + reach; ++at) {
        const Entry& entry = m_entries[at];
        if (entry.name != name || (price && entry.price && *price != *entry.price))
            continue;
        m_next = at + 1;
        m_adsWithout = 0;
        return entry.picture;
    }
    ++m_adsWithout;
    return {};
}

} // namespace search
