#pragma once
// The category file "CategoryTree.dat": one line per tree line, "text,code,level".

#include <string>
#include <string_view>
#include <vector>

namespace search {

struct CategoryEntry {
    std::string text;
    std::string code;
    int level = 0;
    int depth = 0; // where the tree shows the line; 0 is a main line
};

// The table holds 201 lines; lines after the 201st are ignored.
inline constexpr int categoryTableSize = 201;

// A whole number as the level field holds it: leading blanks and tabs skipped, an optional sign, then decimal
// digits, or "$" and hexadecimal digits, or "%" and binary digits, up to the first other character; 0 when
// there is no number.
int readLevel(std::string_view field);

// Splits a line at its commas: the text, the code and the level; missing fields are empty, later ones ignored.
CategoryEntry parseCategoryLine(std::string_view line);

// Gives each entry its depth from its level and the depth of the line before it: a greater level goes one step
// deeper, an equal one stays, a smaller one goes up by the difference, never above the top. The first line is at
// the top.
void placeCategoryLines(std::vector<CategoryEntry>& entries);

// Reads and places the file's lines (a zero byte ends a line as well); one empty entry for an empty file and
// no entries when the file can't be opened.
std::vector<CategoryEntry> readCategoryFile(const std::string& path);

// The first position whose code equals categoryCode (exact letter case), or -1.
int findCategory(const std::vector<CategoryEntry>& entries, const std::string& categoryCode);

// The code of the main line above the first entry up to position whose code is categoryCode; empty when no entry
// up to position carries it (a position outside the table included).
std::string mainCodeAt(const std::vector<CategoryEntry>& entries, int position, const std::string& categoryCode);

} // namespace search
