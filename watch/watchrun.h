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
    bool notificationNotShown = false; // there was something to tell and neither the desktop nor the tray showed it
    std::string mailResult; // "mail sent", why not, or empty when no mail was due
    size_t adsPending = 0; // ads kept for the next digest after this run
};

// Runs the saved search name once; shouldStop is asked between two cities. The NEW memory is the search's own,
// shared with the builder's runs of the same search.
WatchRun runWatchedSearch(const std::string& name, const std::function<bool()>& shouldStop);

// Whether the run tells the user anything: new ads or price drops, and a page written whole and a memory saved
// (otherwise the same ads come again next time, and the user would be told twice).
bool alertDue(const search::RunOutcome& outcome);

// The page of the new ads alone, in the results page's form: each city's heading, its new ads, "<br>".
std::string newAdsPage(const std::vector<search::NewAd>& ads);

// The new ads as the alerts' texts take them.
std::vector<NewAd> alertAdsOf(const std::vector<search::NewAd>& ads);

// What one digest mails: the run's new ads and price drops, and the ads of digests that did not go out before.
struct Digest {
    std::vector<search::NewAd> newAds;
    std::vector<search::NewAd> cheaperAds;
    std::vector<search::NewAd> notSentBefore;
    bool empty() const { return newAds.empty() && cheaperAds.empty() && notSentBefore.empty(); }
    // All of them, in the digest's order.
    std::vector<search::NewAd> all() const;
};

struct DigestResult {
    bool sent = false;
    std::string text; // "mail sent", or why not: the result code and the server's words
};

// Mails the digest to mailTo through the named sender profile (the default one when empty), with the page of its
// ads attached as "new ads.html". The send is abandoned as soon as the thread's cancel hook (mail::setCancelHook)
// says so, with a QUIT where the server still takes one.
DigestResult mailDigest(const std::string& searchName, const Digest& digest, const std::string& mailTo,
                        const std::string& profileName, int defaultProfile);

// The watch file's lastResult for a run: the new ads and drops, a refusal and its pause, an interruption, a memory
// that could not be saved, a notification not shown, the mail, the ads waiting for the next one.
std::string lastResultLine(const WatchRun& run);

} // namespace watch
