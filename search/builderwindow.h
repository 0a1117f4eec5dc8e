#pragma once
// The search builder window, where a search is put together and started.

#include <string>

namespace search {

// Builds and runs the window with the named search loaded; returns when it is left, after a run if Start Search
// was pressed. Tool tips are attached only when toolTipsFlag is 0.
void openSearchBuilder(const std::string& searchName, int toolTipsFlag);

} // namespace search
