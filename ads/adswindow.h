#pragma once
// The window "Quillobrand Ads": every ad of a search in one list across its cities, filtered, sorted, previewed,
// starred, hidden, noted and exported.

#include <cstdint>
#include <string>

namespace ads {

// Runs the window modally until Exit or its close box. It opens on startSearch (a saved search's name; empty for
// the search whose page the main browser shows) at the main window's size and place. Tool tips only when
// expertMode is 0. Column widths, sort order and filters are kept for the next opening while the program runs.
void adsWindow(std::int32_t expertMode, const std::string& startSearch = std::string());

// The saved search whose page the main browser shows: a watch's, or else "Last Search".
std::string shownSearchName();

// Forgets what the window kept from earlier openings (for tests).
void forgetWindowState();

} // namespace ads
