#pragma once
// Area list files "citydata/" + name + ".city": one city code per line.

#include <optional>
#include <string>
#include <vector>

namespace search {

// "citydata/" + name + ".city", relative to the program folder.
std::string areaListFile(const std::string& name);

// Every line of the file in order; one empty line for an empty file; nothing when it can't be opened.
std::optional<std::vector<std::string>> readAreaList(const std::string& path);

// Replaces the file with the non-empty lines, each followed by CR LF; false when it can't be written.
bool writeAreaList(const std::string& path, const std::vector<std::string>& lines);

} // namespace search
