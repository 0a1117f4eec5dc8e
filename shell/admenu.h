#pragma once
// The ad items of the main browser's link menu: star, hide and note an ad of the results page.

#include "search/adstore.h"

#include <string>

namespace platform {
class Browser;
}

namespace shell {

// Gives the browser the items "Star Ad" (or "Unstar Ad"), "Hide Ad" and "Ad Note…" for a link whose post id the ad
// store knows. Each keeps its change in the store at once and makes the page shown follow.
void installAdMenu(platform::Browser& browser);

// The script (for the program's own script world) that makes the shown page follow the marks of the ad key: a hidden
// ad's items go and its block counts them hidden; a shown one gets or loses its star and its note. Its result is how
// many items it changed.
std::string adMarksScript(const std::string& key, const search::AdMarks& marks);

} // namespace shell
