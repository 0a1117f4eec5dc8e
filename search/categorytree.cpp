#include "search/categorytree.h"

#include "platform/linereader.h"

#include <algorithm>

namespace search {

static int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

int readLevel(std::string_view field)
{
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+'))
        negative = field[i++] == '-';
    int base = 10;
    if (i < field.size() && field[i] == '$') {
        base = 16;
        ++i;
    } else if (i < field.size() && field[i] == '%') {
        base = 2;
        ++i;
    }
    long long value = 0;
    for (; i < field.size() && digitValue(field[i]) < base; ++i)
        value = std::min<long long>(value * base + digitValue(field[i]), 1LL << 31);
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, -2147483647LL - 1, 2147483647LL));
}

CategoryEntry parseCategoryLine(std::string_view line)
{
    std::string_view fields[3];
    for (std::string_view& field : fields) {
        const size_t comma = line.find(',');
        field = line.substr(0, comma);
        line = comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    }
    return {std::string(fields[0]), std::string(fields[1]), readLevel(fields[2]), 0};
}

void placeCategoryLines(std::vector<CategoryEntry>& entries)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i == 0) {
            entries[i].depth = 0;
            continue;
        }
        const int previousDepth = entries[i - 1].depth;
        const int level = entries[i].level;
        if (level > previousDepth)
            entries[i].depth = previousDepth + 1;
        else
            entries[i].depth = std::max(0, level);
    }
}

std::vector<CategoryEntry> readCategoryFile(const std::string& path)
{
    std::vector<CategoryEntry> entries;
    platform::LineReader file(path, true);
    if (!file.isOpen())
        return entries;
    do {
        entries.push_back(parseCategoryLine(file.readLine()));
    } while (!file.atEnd() && entries.size() < size_t(categoryTableSize));
    placeCategoryLines(entries);
    return entries;
}

int findCategory(const std::vector<CategoryEntry>& entries, const std::string& categoryCode)
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].code == categoryCode)
            return static_cast<int>(i);
    return -1;
}

std::string mainCodeAt(const std::vector<CategoryEntry>& entries, int position, const std::string& categoryCode)
{
    std::string mainCode;
    for (int i = 0; i <= position && i < static_cast<int>(entries.size()); ++i) {
        if (entries[i].depth == 0)
            mainCode = entries[i].code;
        if (entries[i].code == categoryCode)
            return mainCode;
    }
    return {};
}

} // namespace search
