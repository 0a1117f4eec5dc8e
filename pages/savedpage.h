#pragma once
// Saved pages "savedpages/" + name + ".html": the shown page's source, kept byte for byte.

#include <optional>
#include <string>

namespace pages {

// "savedpages/" + name + ".html", relative to the program folder.
std::string savedPageFile(const std::string& name);

// The saved file as it is shown again: every line that holds "/js/" left out (the site's scripts would run
// against a local copy), the other lines joined with nothing between them. Nothing when it can't be opened.
std::optional<std::string> readSavedPageForShowing(const std::string& path);

} // namespace pages
