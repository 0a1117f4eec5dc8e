#pragma once

#include <string>
#include <string_view>

namespace shell {

// The title proposed for a page: the text between the first "<h2>" and the first "</h2>" of the source (both
// searched from the start; empty when either is missing or the end comes first) without its tags, with "*"
// removed, "/", ":", "\" and "?" made blanks, one single pass merging pairs of blanks, and "&amp;" (any letter case)
// made "&".
std::string pageTitleFromSource(std::string_view source);

// The text with every tag ("<" and a letter, "/", "!" or "?", up to its ">") left out; a lone "<" stays.
std::string withoutTags(std::string_view text);

// A proposed title as a one-line field shows it: a field holds no line break, so each CR, LF and tab becomes a
// blank (a heading broken over lines would otherwise become a name the file system refuses).
std::string oneLineFieldText(std::string_view title);

// Replaces every occurrence of find in text, in one left-to-right pass, comparing ASCII letters without regard
// to case.
std::string replaceAllIgnoringCase(std::string_view text, std::string_view find, std::string_view replacement);

} // namespace shell
