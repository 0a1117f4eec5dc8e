#include "platform/htmltag.h"

#include <algorithm>

namespace platform {

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix)
{
    return text.size() >= lowerPrefix.size()
        && std::equal(lowerPrefix.begin(), lowerPrefix.end(), text.begin(),
                      [](char a, char b) { return a == asciiLower(b); });
}

size_t forEachTagAttribute(std::string_view text, size_t at,
                           const std::function<void(std::string_view name, std::string_view value)>& each)
{
    size_t i = at + 1;
    while (i < text.size() && !isHtmlSpace(text[i]) && text[i] != '>' && text[i] != '/') // the tag's own name
        ++i;
    while (i < text.size() && text[i] != '>') {
        if (isHtmlSpace(text[i]) || text[i] == '/') {
            ++i;
            continue;
        }
        const size_t nameStart = i;
        while (i < text.size() && !isHtmlSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/')
            ++i;
        const std::string_view name = text.substr(nameStart, i - nameStart);
        while (i < text.size() && isHtmlSpace(text[i]))
            ++i;
        std::string_view value;
        if (i < text.size() && text[i] == '=') {
            ++i;
            while (i < text.size() && isHtmlSpace(text[i]))
                ++i;
            if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                const size_t close = text.find(text[i], i + 1);
                const size_t valueEnd = close == std::string_view::npos ? text.size() : close;
                value = text.substr(i + 1, valueEnd - i - 1);
                i = valueEnd + 1;
            } else {
                const size_t valueStart = i;
                while (i < text.size() && !isHtmlSpace(text[i]) && text[i] != '>')
                    ++i;
                value = text.substr(valueStart, i - valueStart);
            }
        }
        each(name, value);
    }
    return i < text.size() ? i + 1 : text.size();
}

std::optional<std::string_view> tagAttribute(std::string_view tag, std::string_view name)
{
    std::optional<std::string_view> found;
    forEachTagAttribute(tag, 0, [&](std::string_view attribute, std::string_view value) {
        if (!found && attribute == name)
            found = value;
    });
    return found;
}

} // namespace platform
