#pragma once
// The multi-city run: one download per city of an area list, each page's ads appended under a heading for its
// city to the results page.

#include "search/searchdefinition.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// What the run tells the window around it, and asks it.
struct RunHooks {
    std::function<void(int maximum)> setProgressMaximum;
    // Before each city's download: the city code and the pass number, from 1.
    std::function<void(const std::string& cityCode, int pass)> cityStarted;
    // Handles every pending window event without waiting.
    std::function<void()> handlePendingEvents;
    // Takes one pending window event without waiting; true when it was a close request (or, for a run off the
    // window's thread, when the run is asked to stop).
    std::function<bool()> closeRequested;
};

// Where a run writes: the results page and the download file.
struct RunFiles {
    std::string resultsPath;
    std::string downloadPath;
};
// The builder's: resultsPagePath and programFolder + "temp.html".
RunFiles builderRunFiles();

// An ad the run marked NEW, for telling the user about it elsewhere.
struct NewAd {
    std::string cityCode;
    std::string itemHtml; // as the results page has it
    std::string title; // as text
    std::string price;
    std::string place;
    std::string link; // the absolute link, empty when it had none the program would write
    std::string oldPrice; // for an ad that became cheaper: the price it had before, as shown then
};

struct RunOutcome {
    int lineCount = 0; // of the area list, at least 1
    int passes = 0;
    bool interrupted = false; // a close request or a refusal ended it before the last city
    int refusedStatus = 0; // the HTTP status with which the site refused, 0 when it didn't
    int refusedPass = 0;
    std::string refusedCity;
    bool pageComplete = true; // every block reached the results page
    int citiesAsked = 0; // cities whose page was asked for
    int notReadCount = 0; // of them, those whose page had a form the program does not know
    int pagesRead = 0; // of them, those whose page gave a list or a marker
    bool diskFull = false; // a full disk cut the results page short and ended the run there
    int newCount = 0;
    std::vector<NewAd> newAds;
    // Ads whose whole-number price fell since the search last listed them (never NEW ones).
    int cheaperCount = 0;
    std::vector<NewAd> cheaperAds;
    // What the run listed could not be remembered: the same ads will count as new next time. The reason in words.
    bool memoryNotSaved = false;
    std::string memoryFailure;
    // The ad store was written by a newer version of the program: it was left untouched and the run kept nothing.
    bool storeTooNew = false;
};

// The style element that follows the first list of ads on a page: the ads in the browser's normal text size, each
// picture a thumbnail at the left of its ad, the NEW mark a small badge.
inline constexpr std::string_view adListStyle
    = "<style>p.ad,p.also,p.left-out,p.hidden{font-size:medium;font-weight:normal;margin:6px 0;overflow:hidden}"
      "p.ad img{float:left;width:100px;height:auto;margin:0 10px 6px 0}"
      "p.ad b{font-size:x-small;color:#fff;background:#c62828;border-radius:3px;padding:1px 5px}"
      "p.also,p.left-out,p.hidden{font-size:small;color:#555}</style>";

// The results page's heading line for a city: a link to the city's host, named by its upper-cased code.
std::string cityHeadingLine(const std::string& cityCode, const std::string& siteScheme, const std::string& siteDomain);

// The line written for a marker line: the "nothing found" form (every "<hr><br>" removed) when it holds
// "nothing found" in any letter case, else the results form when it holds "data-pid" (site-relative links made
// absolute, "<br>" appended), else nothing (a "LOCAL results found." line alone ends the scan unwritten).
// Neither form has its line end.
std::string contentLineFor(const std::string& markerLine, const std::string& cityCode, const std::string& siteScheme,
                           const std::string& siteDomain);

// The content line of a city whose page could not be had: "<p>Not searched: " + reason + ".</p>".
std::string notSearchedLine(const std::string& reason);

// The line of a city whose page held neither a list of today's shape nor a marker of the old one.
inline constexpr std::string_view notReadLine
    = "<p>Not read: the site's page has a form this program does not know.</p>";

// What the builder says after a run in which some cities' pages could not be read.
std::string notReadMessage(const RunOutcome& outcome);
// The last line of a results page that a full disk cut short, and what the builder says then.
inline constexpr std::string_view diskFullLine
    = "<p>The results page could not be written whole: the disk is full.</p>";
inline constexpr std::string_view diskFullMessage
    = "The results page could not be written whole: the disk is full. Make room on the disk and search again.";

// What the builder says after a run the site refused.
std::string refusalMessage(const RunOutcome& outcome);
// What the builder says after a run whose memory could not be saved.
std::string memoryNotSavedMessage(const RunOutcome& outcome);
// What the builder says after a run that found the ad store of a newer version.
std::string storeTooNewMessage();

class StoreRun;

// Appends the city's block for the downloaded page at downloadPath to the results page: the heading, then the
// content line. A page of the old shape gives the first line that holds "data-pid", "Nothing found" or "LOCAL
// results found." in its written form; one in today's shape, whose list of ads comes first, gives its ads (see
// AdListReader) or "<p>Nothing found.</p>"; a list whose end never came gives the ads read and "Not searched: the
// site's answer was cut short.". The list's tag is looked for before the markers on every line. A page with
// neither gives notReadLine. Pauses 1 ms after each of the first 2,000 lines of the scan; holds one line (or one
// ad) at a time.
// store: the run of the search against the ad store, or null; ads of today's shape that its memory doesn't hold are
// marked NEW and counted, those whose price fell are marked cheaper, starred ones get their star and note, hidden
// ones are left out and counted, and every ad listed is noted in it; a page not read, or a list cut short, leaves
// the city's memory as it was.
void appendCityResults(const std::string& downloadPath, const std::string& cityCode, StoreRun* store = nullptr);

// Steps 2 to 7 of a run: removes an earlier results page, opens (creating it empty when missing) the area list
// file, builds the URL tail once and makes one pass per line of the file; an empty line is skipped. Every city
// asked gets its block, a failed one "Not searched: ...". A close request seen between two cities ends the run,
// and so does a refusal (HTTP 403, 429 or 503), after the refused city's block, and a full disk, whose block is
// taken back for diskFullLine where that fits. Ads of today's shape are marked
// against the search's memory in the ad store (see StoreRun), which takes this run's lists only when the results
// page was written whole.
// Cross-posts already listed under an earlier city are folded to one line, ads with excluded words left out.
RunOutcome runSearchPasses(const SearchDefinition& search, const std::string& mainCode, const std::string& areaListPath,
                           const RunHooks& hooks, const RunFiles& files = builderRunFiles());

} // namespace search
