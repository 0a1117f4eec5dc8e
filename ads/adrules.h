#pragma once
// The ads of the Ads window as plain rows, and the rules that pick and order the rows it shows.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ads {

// The texts of an ad row.
enum class Text {
    key, // the last part of its link: stars, hidden marks and notes are kept by it
    city, // the city code in upper case, as the page heads its block
    link,
    title,
    price, // as shown
    place,
    picture,
    oldPrice, // the price before a drop, as shown then; empty without a drop
    note,
    foldedTitle, // the case-folded title when it is not all ASCII; empty for an ASCII title
    count
};
inline constexpr size_t textCount = static_cast<size_t>(Text::count);

// One ad as the window lists it. Texts are plain UTF-8 text, never HTML. They are kept one after another in one
// string: a list of 100,000 ads then takes a third of the memory that ten strings a row would.
struct AdRow {
    int cityPosition = 0; // the city's place in the search's area list
    int pagePosition = 0; // the ad's place in its city's block
    std::optional<std::int64_t> priceNumber; // where the price reads as a whole number
    std::int64_t firstSeen = 0; // seconds since the epoch, UTC
    std::int64_t lastSeen = 0;
    bool isNew = false;
    bool starred = false;
    bool hidden = false;

    std::string_view text(Text which) const
    {
        const size_t i = static_cast<size_t>(which);
        const std::uint32_t start = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_texts).substr(start, m_ends[i] - start);
    }
    std::string_view key() const { return text(Text::key); }
    std::string_view city() const { return text(Text::city); }
    std::string_view link() const { return text(Text::link); }
    std::string_view title() const { return text(Text::title); }
    std::string_view price() const { return text(Text::price); }
    std::string_view place() const { return text(Text::place); }
    std::string_view oldPrice() const { return text(Text::oldPrice); }
    std::string_view note() const { return text(Text::note); }
    std::string_view foldedTitle() const { return text(Text::foldedTitle); }
    // Whether the title holds the word, which is case-folded already. An ASCII title keeps no folded copy (it would
    // be a sixth of a list's text): it is compared with its letters lowered as it is read.
    bool titleHolds(std::string_view foldedWord) const;
    // The title as sorting compares it with ASCII letters in any case: the folded copy, or the ASCII title itself.
    std::string_view comparedTitle() const
    {
        const std::string_view folded = foldedTitle();
        return folded.empty() ? title() : folded;
    }

    // Replaces one text; setting the title sets its folded form too.
    void setText(Text which, std::string_view value);
    // Sets every text at once, in one allocation of the exact size (the folded title is made from the title).
    void setTexts(const std::array<std::string_view, textCount - 1>& values);

private:
    std::string m_texts;
    std::array<std::uint32_t, textCount> m_ends{};
};

// The filter row as typed.
struct AdFilter {
    std::string words;
    std::string minPrice;
    std::string maxPrice;
    std::string city; // empty for all cities
    bool newOnly = false;
    bool starredOnly = false;
    bool showHidden = false;
};

// The filter made ready for many rows: the words split and case-folded, the prices read.
struct PreparedFilter {
    std::vector<std::string> wanted; // each must be in the folded title
    std::vector<std::string> unwanted; // the words after a leading "-": none may be
    bool priceLimited = false; // Min or Max is not empty
    std::optional<std::int64_t> minPrice;
    std::optional<std::int64_t> maxPrice;
    bool impossible = false; // a limit that reads as no whole number: no ad fits
    std::string city;
    bool newOnly = false;
    bool starredOnly = false;
    bool showHidden = false;
};

// Unicode case folding of UTF-8 text ("Straße" and "STRASSE" fold alike).
std::string foldCase(std::string_view text);

PreparedFilter prepareFilter(const AdFilter& filter);
bool passesFilter(const AdRow& row, const PreparedFilter& filter);

// The list's columns, in order.
enum Column { StarColumn, TitleColumn, PriceColumn, PlaceColumn, CityColumn, FirstSeenColumn, columnCount };
// No column: the merged page's order, the area list's order and the page's order within a city.
inline constexpr int defaultOrder = -1;

// Puts the indexes into rows in the order of the column. Price: by the whole number, ads without one last in
// either direction. First Seen: by time. City: in the area list's order. Title and Place: case-folded text. Star:
// starred first. Ties keep the default order, which no direction turns round.
void sortRows(std::vector<int>& order, const std::vector<AdRow>& rows, int column, bool descending);

// The indexes of the rows that pass, sorted by the column.
std::vector<int> shownRows(const std::vector<AdRow>& rows, const AdFilter& filter, int column, bool descending);

} // namespace ads
