#pragma once
// The search builder window, where a search is put together and started.

#include <functional>
#include <string>

namespace search {

// Builds and runs the window with the named search loaded; returns when it is left, after a run if Start Search
// was pressed. Tool tips are attached only when toolTipsFlag is 0.
void openSearchBuilder(const std::string& searchName, int toolTipsFlag);

// Whether a watch runs the saved search of that name, so that deleting the search can name the watch. Set by
// whoever runs the watches; empty: no search is watched.
std::function<bool(const std::string& name)>& watchedSearchCheck();

// Called before and after the builder's run, so that no other run asks the site meanwhile: whoever runs the
// watches stops a watch run between two cities first, and starts none until the builder's run is over. Empty:
// nothing else runs.
struct BuilderRunHooks {
    std::function<void()> begin;
    std::function<void()> end;
};
BuilderRunHooks& builderRunHooks();

} // namespace search
