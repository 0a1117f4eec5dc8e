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

// Appends the city's block for the downloaded page at downloadPath to the results page: the heading, then the
// first line that holds "data-pid", "Nothing found" or "LOCAL results found." in its written form. A page with
// none of them gives the heading alone. Pauses 1 ms after each line read. Holds one line at a time.
void appendCityResults(const std::string& downloadPath, const std::string& cityCode);

// Steps 2 to 7 of a run: removes an earlier results page, opens (creating it empty when missing) the area list
// file, builds the URL tail once and makes one pass per line of the file. A close request seen between two
// cities ends the run. The download file is programFolder + "temp.html".
void runSearchPasses(const SearchDefinition& search, const std::string& mainCode, const std::string& areaListPath,
                     const RunHooks& hooks);

} // namespace search
