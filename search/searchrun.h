#pragma once
// The multi-city run: one download per city of an area list, each page's ad line appended under a heading for
// its city to the results page.

#include "search/searchdefinition.h"

#include <functional>
#include <string>

namespace search {

// What the run tells the window around it, and asks it.
struct RunHooks {
    std::function<void(int maximum)> setProgressMaximum;
    // Before each city's download: the city code and the pass number, from 1.
    std::function<void(const std::string& cityCode, int pass)> cityStarted;
    // Handles every pending window event without waiting.
    std::function<void()> handlePendingEvents;
    // Takes one pending window event without waiting; true when it was a close request.
    std::function<bool()> closeRequested;
};

// The results page's heading line for a city: a link to the city's host, named by its upper-cased code.
std::string cityHeadingLine(const std::string& cityCode, const std::string& siteDomain);

// The line written for a marker line: the "nothing found" form (every "<hr><br>" removed) when it holds
// "nothing found" in any letter case, else the results form when it holds "data-pid" (site-relative links made
// absolute, "<br>" appended), else nothing (a "LOCAL results found." line alone ends the scan unwritten).
// Neither form has its line end.
std::string contentLineFor(const std::string& markerLine, const std::string& cityCode, const std::string& siteDomain);

class SeenAds;

// Appends the city's block for the downloaded page at downloadPath to the results page: the heading, then the
// content line. A page of the old shape gives the first line that holds "data-pid", "Nothing found" or "LOCAL
// results found." in its written form; one in today's shape, whose list of ads comes first, gives its ads (see
// AdListReader) or "<p>Nothing found.</p>". A page with neither gives the heading alone. Pauses 1 ms after each
// of the first 2,000 lines of the scan; holds one line (or one ad) at a time.
// seen: the search's memory, or null; ads of today's shape that it doesn't hold are marked NEW and counted, and
// every ad listed is noted in it.
void appendCityResults(const std::string& downloadPath, const std::string& cityCode, SeenAds* seen = nullptr);

// Steps 2 to 7 of a run: removes an earlier results page, opens (creating it empty when missing) the area list
// file, builds the URL tail once and makes one pass per line of the file. A close request seen between two
// cities ends the run. The download file is programFolder + "temp.html". Ads of today's shape are marked against
// the search's memory, which the run then replaces when it listed any.
void runSearchPasses(const SearchDefinition& search, const std::string& mainCode, const std::string& areaListPath,
                     const RunHooks& hooks);

} // namespace search
