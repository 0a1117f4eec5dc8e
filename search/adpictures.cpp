#include "search/adpictures.h"

#include "search/adlist.h"

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
    m_pictures.clear();
    m_byName.clear();
    m_nextEntry = 0;
    const size_t start = picturesTagEnd(line);
    if (start == std::string_view::npos)
        return false;
    const std::string_view json = line.substr(start, scriptEnd(line, start) - start);
    if (json.size() > maximumJsonBytes)
        return false;

    // Only the names and pictures are kept while parsing: offers, places and the like are dropped as they come.
    const auto keep = [](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event != nlohmann::json::parse_event_t::key)
            return true;
        const std::string& key = parsed.get_ref<const std::string&>();
        return key == "itemListElement" || key == "position" || key == "item" || key == "name" || key == "image";
    };
    const nlohmann::json document = nlohmann::json::parse(json.begin(), json.end(), keep, false);
    if (document.is_discarded())
        return false;
    if (!document.is_object())
        return true;
    const auto list = document.find("itemListElement");
    if (list == document.end() || !list->is_array())
        return true;

    struct Entry {
        std::optional<double> position;
        size_t order;
        std::string name;
        std::string picture;
    };
    std::vector<Entry> entries;
    for (const nlohmann::json& element : *list) {
        if (!element.is_object())
            continue;
        const auto item = element.find("item");
        if (item == element.end() || !item->is_object())
            continue;
        const auto name = item->find("name");
        if (name == item->end() || !name->is_string())
            continue;
        entries.push_back({positionOf(element), entries.size(),
                           foldBlanks(htmlToText(name->get_ref<const std::string&>())), pictureOf(*item)});
    }
    // By position; entries without one keep their order after the others.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.position && b.position)
            return *a.position < *b.position;
        return a.position.has_value() && !b.position.has_value();
    });
    for (Entry& entry : entries) {
        m_byName[std::move(entry.name)].entries.push_back(m_pictures.size());
        m_pictures.push_back(std::move(entry.picture));
    }
    return true;
}

std::string AdPictures::pictureFor(std::string_view titleText)
{
    const auto found = m_byName.find(foldBlanks(titleText));
    if (found == m_byName.end())
        return {};
    SameName& same = found->second;
    // Entries passed over by an earlier match are gone for good; each list only moves forward.
    while (same.next < same.entries.size() && same.entries[same.next] < m_nextEntry)
        ++same.next;
    if (same.next == same.entries.size())
        return {};
    const size_t entry = same.entries[same.next++];
    m_nextEntry = entry + 1;
    return m_pictures[entry];
}

} // namespace search
