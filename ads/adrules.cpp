#include "ads/adrules.h"

#include "search/searchdefinition.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <tuple>

namespace ads {

namespace {

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// What the folded-title slot holds for this title.
std::string foldedCopy(std::string_view title)
{
    return isAscii(title) ? std::string() : foldCase(title);
}

} // namespace

std::string foldCase(std::string_view text)
{
    // ASCII alone needs no trip through UTF-16.
    if (isAscii(text)) {
        std::string folded(text);
        for (char& c : folded)
            c = lowerAscii(c);
        return folded;
    }
    // Qt folds one character to one; through upper case the foldings that change the length are made too ("ß"
    // becomes "SS", and "ẞ" folds to "ß" first).
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toCaseFolded()
        .toUpper()
        .toCaseFolded()
        .toUtf8()
        .toStdString();
}

void AdRow::setText(Text which, std::string_view value)
{
    const size_t i = static_cast<size_t>(which);
    const std::uint32_t start = i == 0 ? 0 : m_ends[i - 1];
    const auto oldSize = static_cast<std::int64_t>(m_ends[i] - start);
    m_texts.replace(start, size_t(oldSize), value);
    const std::int64_t change = static_cast<std::int64_t>(value.size()) - oldSize;
    for (size_t j = i; j < textCount; ++j)
        m_ends[j] = static_cast<std::uint32_t>(m_ends[j] + change);
    if (which == Text::title)
        setText(Text::foldedTitle, foldedCopy(value));
}

void AdRow::setTexts(const std::array<std::string_view, textCount - 1>& values)
{
    const std::string folded = foldedCopy(values[static_cast<size_t>(Text::title)]);
    size_t size = folded.size();
    for (std::string_view value : values)
        size += value.size();
    std::string texts;
    texts.reserve(size);
    for (size_t i = 0; i < values.size(); ++i) {
        texts += values[i];
        m_ends[i] = static_cast<std::uint32_t>(texts.size());
    }
    texts += folded;
    m_ends[textCount - 1] = static_cast<std::uint32_t>(texts.size());
    m_texts = std::move(texts);
}

bool AdRow::titleHolds(std::string_view foldedWord) const
{
    const std::string_view folded = foldedTitle();
    if (!folded.empty() || title().empty())
        return folded.find(foldedWord) != std::string_view::npos;
    const std::string_view ascii = title();
    return std::search(ascii.begin(), ascii.end(), foldedWord.begin(), foldedWord.end(),
                       [](char t, char w) { return lowerAscii(t) == w; })
        != ascii.end();
}

namespace {

std::optional<std::int64_t> readLimit(const std::string& field, bool& impossible)
{
    if (field.find_first_not_of(" \t") == std::string::npos)
        return std::nullopt;
    const std::optional<std::string> digits = search::wholeNumber(field);
    if (!digits || digits->size() > 15) {
        impossible = true;
        return std::nullopt;
    }
    return std::stoll(*digits);
}

} // namespace

PreparedFilter prepareFilter(const AdFilter& filter)
{
    PreparedFilter prepared;
    const std::string folded = foldCase(filter.words);
    size_t at = 0;
    while (at < folded.size()) {
        const size_t start = folded.find_first_not_of(" \t", at);
        if (start == std::string::npos)
            break;
        size_t end = folded.find_first_of(" \t", start);
        if (end == std::string::npos)
            end = folded.size();
        const std::string word = folded.substr(start, end - start);
        if (word[0] == '-') {
            if (word.size() > 1) // a "-" alone excludes nothing
                prepared.unwanted.push_back(word.substr(1));
        } else {
            prepared.wanted.push_back(word);
        }
        at = end;
    }
    prepared.minPrice = readLimit(filter.minPrice, prepared.impossible);
    prepared.maxPrice = readLimit(filter.maxPrice, prepared.impossible);
    prepared.priceLimited = prepared.impossible || prepared.minPrice || prepared.maxPrice;
    prepared.city = filter.city;
    prepared.newOnly = filter.newOnly;
    prepared.starredOnly = filter.starredOnly;
    prepared.showHidden = filter.showHidden;
    return prepared;
}

bool passesFilter(const AdRow& row, const PreparedFilter& filter)
{
    if (filter.impossible)
        return false;
    if ((row.hidden && !filter.showHidden) || (filter.newOnly && !row.isNew) || (filter.starredOnly && !row.starred))
        return false;
    if (!filter.city.empty() && row.city() != filter.city)
        return false;
    if (filter.priceLimited) {
        if (!row.priceNumber)
            return false;
        if ((filter.minPrice && *row.priceNumber < *filter.minPrice)
            || (filter.maxPrice && *row.priceNumber > *filter.maxPrice))
            return false;
    }
    for (const std::string& word : filter.wanted)
        if (!row.titleHolds(word))
            return false;
    for (const std::string& word : filter.unwanted)
        if (row.titleHolds(word))
            return false;
    return true;
}

namespace {

// Negative, zero or positive as a is before, with or after b; ASCII letters in any case.
int compareText(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T> int compareValues(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareBy(const AdRow& a, const AdRow& b, int column)
{
    switch (column) {
    case StarColumn:
        return compareValues(!a.starred, !b.starred);
    case TitleColumn:
        return compareText(a.comparedTitle(), b.comparedTitle());
    case PriceColumn:
        return compareValues(*a.priceNumber, *b.priceNumber);
    case PlaceColumn:
        return compareText(a.place(), b.place());
    case CityColumn:
        return compareValues(a.cityPosition, b.cityPosition);
    case FirstSeenColumn:
        return compareValues(a.firstSeen, b.firstSeen);
    default:
        return 0;
    }
}

} // namespace

void sortRows(std::vector<int>& order, const std::vector<AdRow>& rows, int column, bool descending)
{
    auto pageOrder = [&rows](int x, int y) {
        const AdRow& a = rows[size_t(x)];
        const AdRow& b = rows[size_t(y)];
        return std::tie(a.cityPosition, a.pagePosition, x) < std::tie(b.cityPosition, b.pagePosition, y);
    };
    if (column < 0 || column >= columnCount) {
        std::sort(order.begin(), order.end(), pageOrder);
        return;
    }
    std::sort(order.begin(), order.end(), [&](int x, int y) {
        const AdRow& a = rows[size_t(x)];
        const AdRow& b = rows[size_t(y)];
        if (column == PriceColumn && a.priceNumber.has_value() != b.priceNumber.has_value())
            return a.priceNumber.has_value();
        if (column != PriceColumn || a.priceNumber) {
            const int c = compareBy(a, b, column);
            if (c != 0)
                return descending ? c > 0 : c < 0;
        }
        return pageOrder(x, y);
    });
}

std::vector<int> shownRows(const std::vector<AdRow>& rows, const AdFilter& filter, int column, bool descending)
{
    const PreparedFilter prepared = prepareFilter(filter);
    std::vector<int> order;
    for (size_t i = 0; i < rows.size(); ++i)
        if (passesFilter(rows[i], prepared))
            order.push_back(static_cast<int>(i));
    sortRows(order, rows, column, descending);
    return order;
}

} // namespace ads
