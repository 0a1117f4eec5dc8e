#pragma once
// Area list files "citydata/" + name + ".city": one city code per line.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// "citydata/" + name + ".city", relative to the program folder.
std::string areaListFile(const std::string& name);

// Every line of the file in order; one empty line for an empty file; nothing when it can't be opened.
std::optional<std::vector<std::string>> readAreaList(const std::string& path);

// Replaces the file with the non-empty lines, each followed by CR LF; false when it can't be written.
bool writeAreaList(const std::string& path, const std::vector<std::string>& lines);

// The site's areas beside the program: UTF-8, tab-separated, the header line "code\tname\tsection\tsubsection",
// then one area a line.
inline constexpr const char* areaNamesFile = "areas.tsv";

// Each area's place by its code: its name, ", " and its subsection ("bowling green, Kentucky"); the section stands
// in for an empty subsection. Empty when the bytes are not such a file (another header, a line without its four
// fields or without a code): the codes then show alone.
std::map<std::string, std::string> decodeAreaNames(std::string_view bytes);
// The same from the file; empty when it can't be read.
std::map<std::string, std::string> readAreaNames(const std::string& path);

// "bgky — bowling green, Kentucky"; the code alone when it has no place.
std::string areaLabel(const std::string& code, const std::map<std::string, std::string>& places);

} // namespace search
