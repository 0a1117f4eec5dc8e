#include "shell/pagetitle.h"

namespace shell {

static char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool matchesAt(std::string_view text, size_t at, std::string_view find)
{
    if (at + find.size() > text.size())
        return false;
    for (size_t i = 0; i < find.size(); ++i) {
        if (asciiLower(text[at + i]) != asciiLower(find[i]))
            return false;
    }
    return true;
}

std::string replaceAllIgnoringCase(std::string_view text, std::string_view find, std::string_view replacement)
{
    std::string result;
    result.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (!find.empty() && matchesAt(text, i, find)) {
            result += replacement;
            i += find.size();
        } else {
            result += text[i++];
        }
    }
    return result;
}

std::string withoutTags(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const bool tagStarts = text[i] == '<'
            && ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || next == '/' || next == '!'
                || next == '?');
        if (!tagStarts) {
            result += text[i++];
            continue;
        }
        // To the tag's ">"; a ">" inside a quoted attribute value doesn't end it. A tag cut off takes the rest.
        char quote = '\0';
        for (++i; i < text.size(); ++i) {
            if (quote) {
                if (text[i] == quote)
                    quote = '\0';
            } else if (text[i] == '"' || text[i] == '\'') {
                quote = text[i];
            } else if (text[i] == '>') {
                ++i;
                break;
            }
        }
    }
    return result;
}

std::string pageTitleFromSource(std::string_view source)
{
    const size_t open = source.find("<h2>");
    if (open == std::string_view::npos)
        return {};
    const size_t start = open + 4;
    const size_t close = source.find("</h2>");
    if (close == std::string_view::npos || close <= start)
        return {};

    // A heading that holds a link (a results page's city) would otherwise propose its markup as the name.
    std::string title = withoutTags(source.substr(start, close - start));
    static const std::pair<std::string_view, std::string_view> replacements[] = {
        {"*", ""}, {"/", " "}, {":", " "}, {"\\", " "}, {"?", " "}, {"  ", " "}, {"&amp;", "&"},
    };
    for (const auto& [find, replacement] : replacements)
        title = replaceAllIgnoringCase(title, find, replacement);
    return title;
}

std::string oneLineFieldText(std::string_view title)
{
    std::string text(title);
    for (char& c : text) {
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    }
    return text;
}

} // namespace shell
