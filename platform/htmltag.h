#pragma once
// Reading the attributes of an HTML start tag, as browsers split them: a name, optionally "=" and a double-quoted,
// single-quoted or bare value. Used where the program reads pages without a browser (the site's list of ads, a
// page's declared charset).

#include <functional>
#include <optional>
#include <string_view>

namespace platform {

bool isHtmlSpace(char c);
// A to Z made a to z, every other byte as it is: HTML's names are ASCII whatever the page's character set.
char asciiLower(char c);
// Whether text starts with lowerPrefix (given in lower case), ASCII letters compared in any letter case.
bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix);

// Calls each(name, value) for every attribute of the start tag at `at` (its "<" and name are skipped), in order,
// names and values as they stand in the text. Returns the position just after the tag's ">" (a ">" inside a
// quoted value doesn't end it), or the text's size when the tag is cut off.
size_t forEachTagAttribute(std::string_view text, size_t at,
                           const std::function<void(std::string_view name, std::string_view value)>& each);

// The value of the tag's first attribute of that name (compared as it stands); nothing when it has none.
std::optional<std::string_view> tagAttribute(std::string_view tag, std::string_view name);

} // namespace platform
