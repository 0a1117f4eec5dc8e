#include "search/savedsearch.h"

#include "platform/files.h"
#include "platform/linereader.h"

#include <optional>

namespace search {

namespace {

// One table serves writing and reading, so the two can never disagree on the order.
struct Item {
    std::string SearchDefinition::*text = nullptr;
    std::int32_t SearchDefinition::*flag = nullptr;
};

const Item items[] = {
    {&SearchDefinition::categoryCode, nullptr}, {&SearchDefinition::words, nullptr},
    {&SearchDefinition::areaListName, nullptr}, {&SearchDefinition::priceMin, nullptr},
    {&SearchDefinition::priceMax, nullptr},     {nullptr, &SearchDefinition::titleOnly},
    {nullptr, &SearchDefinition::entirePost},   {nullptr, &SearchDefinition::hasPicture},
    {nullptr, &SearchDefinition::payPaid},      {nullptr, &SearchDefinition::payNone},
    {nullptr, &SearchDefinition::payAll},       {nullptr, &SearchDefinition::telecommute},
    {nullptr, &SearchDefinition::contract},     {nullptr, &SearchDefinition::internship},
    {nullptr, &SearchDefinition::partTime},     {nullptr, &SearchDefinition::nonProfit},
    {&SearchDefinition::rentMin, nullptr},      {&SearchDefinition::rentMax, nullptr},
    {nullptr, &SearchDefinition::catsOk},       {nullptr, &SearchDefinition::dogsOk},
    {&SearchDefinition::bedrooms, nullptr},     {&SearchDefinition::ageMin, nullptr},
    {&SearchDefinition::ageMax, nullptr},
};

} // namespace

std::string savedSearchFile(const std::string& name)
{
    return "savedsearch/" + name + ".search";
}

std::string encodeSavedSearch(const SearchDefinition& search)
{
    std::string bytes;
    for (const Item& item : items) {
        if (item.text) {
            bytes += search.*item.text + "\r\n";
            continue;
        }
        const auto value = static_cast<std::uint32_t>(search.*item.flag);
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((value >> shift) & 0xFF);
    }
    return bytes;
}

bool writeSavedSearch(const std::string& path, const SearchDefinition& search)
{
    return platform::writeFileAtomically(path, encodeSavedSearch(search));
}

std::optional<SearchDefinition> readSavedSearch(const std::string& path)
{
    if (platform::isDirectory(path))
        return std::nullopt;
    platform::LineReader file(path);
    if (!file.isOpen())
        return std::nullopt;
    SearchDefinition search;
    for (const Item& item : items) {
        if (item.text)
            search.*item.text = file.readLine();
        else
            search.*item.flag = file.readInt32();
    }
    return search;
}

} // namespace search
