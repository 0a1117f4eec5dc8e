#pragma once
// Saved search files "savedsearch/" + name + ".search": the 23 fields of a search in a fixed order, texts as
// lines ending in CR LF, flags as 4-byte little-endian integers, with nothing between them.

#include "search/searchdefinition.h"

#include <optional>
#include <string>

namespace search {

// "savedsearch/" + name + ".search", relative to the program folder.
std::string savedSearchFile(const std::string& name);

std::string encodeSavedSearch(const SearchDefinition& search);

// Replaces the file (atomically: a crash never leaves half a search); false when it can't be written.
bool writeSavedSearch(const std::string& path, const SearchDefinition& search);

// Reads the items in file order. Items missing at the end of a short file read as empty texts and 0; nothing
// when the file can't be opened.
std::optional<SearchDefinition> readSavedSearch(const std::string& path);

} // namespace search
