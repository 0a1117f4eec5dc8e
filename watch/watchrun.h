#pragma once
// One run of a watched search, off the window's thread: the saved search and its area list, run into the watch's
// own page and download file, and what the run found told by mail. Touches no widget.

#include "search/searchrun.h"
#include "watch/alerttext.h"

#include <functional>
#include <string>
#include <vector>

namespace watch {

// "watch/" + name + ".html" and "watch/" + name + ".tmp" under programFolder.
search::RunFiles watchRunFiles(const std::string& name);

struct WatchRun {
    bool searchFound = false; // the saved search could be read
    search::RunOutcome outcome;
    std::string mailResult; // "mail sent", the code and the server's words, or empty when no mail was due
};

// Runs the saved search name once; shouldStop is asked between two cities. The NEW memory is the search's own,
// shared with the builder's runs of the same search.
WatchRun runWatchedSearch(const std::string& name, const std::function<bool()>& shouldStop);

// The page of the new ads alone, in the results page's form: each city's heading, its new ads, "<br>".
std::string newAdsPage(const std::vector<search::NewAd>& ads);

// The new ads as the alerts' texts take them.
std::vector<NewAd> alertAdsOf(const std::vector<search::NewAd>& ads);

// Mails the digest of the new ads to mailTo through the named sender profile (the default one when empty), with
// the page of new ads attached as "new ads.html". Returns "mail sent" or the result code and the server's words.
std::string mailDigest(const std::string& searchName, const std::vector<search::NewAd>& ads, const std::string& mailTo,
                       const std::string& profileName, int defaultProfile);

// The watch file's lastResult for a run: the new ads, a refusal and its pause, an interruption, the mail.
std::string lastResultLine(const WatchRun& run);

} // namespace watch
