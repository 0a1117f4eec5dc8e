#pragma once
// Watch files "watch/" + name + ".watch": a saved search is watched while its watch file exists. Text lines
// key=value ending in CR LF; lines the program does not know are kept as they stand when it rewrites the file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace watch {

inline constexpr int minimumInterval = 15; // minutes
inline constexpr int maximumInterval = 1440;
inline constexpr int defaultInterval = 60;
// A watch file is a few lines; one bigger than this is taken as damaged: never read, never rewritten.
inline constexpr std::int64_t maximumWatchBytes = 64 * 1024;

struct WatchFile {
    int interval = defaultInterval; // minutes between runs, 15 to 1440
    std::string mailTo; // one address for the digest; empty: no mail
    std::string profile; // a sender profile's name; empty: the default profile
    std::optional<std::int64_t> lastRun; // when the last run ended, seconds since the epoch (UTC); none: never run
    std::string lastResult; // one line about the last run
    // Every line of the file as read, known keys included, so that a rewrite keeps the unknown ones in place.
    std::vector<std::string> lines;
};

// "watch/" + name + ".watch", relative to the program folder.
std::string watchFile(const std::string& name);

// The values of the known keys from the bytes of a file; a missing or bad value gives the default (interval 60,
// lastRun never). A line ends at CR LF, a lone CR or a lone LF; empty lines are dropped.
WatchFile decodeWatch(std::string_view bytes);
// Each kept line in its place, a known key's line carrying the current value (a second line of the same key is
// dropped), then the known keys the file did not have; lastRun only once there has been a run. CR LF after each.
std::string encodeWatch(const WatchFile& watch);

// "YYYY-MM-DDTHH:MM:SSZ" (UTC) to seconds since the epoch; nothing unless the text is exactly such a time.
std::optional<std::int64_t> parseUtcTime(std::string_view text);
std::string formatUtcTime(std::int64_t secondsSinceEpoch);
// "YYYY-MM-DD HH:MM" in the computer's time zone, as the user reads a time.
std::string formatLocalTime(std::int64_t secondsSinceEpoch);

// Under shell::programFolder. Watched: the watch file exists.
bool isWatched(const std::string& name);
// The watch file's values; nothing when the search is not watched, the file can't be read or is damaged.
std::optional<WatchFile> readWatch(const std::string& name);
// The watch file is there but over maximumWatchBytes: the program leaves it as it is.
bool isDamagedWatch(const std::string& name);
// Makes the watch/ folder again when it is missing and replaces the file atomically. False when the name is one
// the file system refuses (platform::isAcceptableFileName), the file is damaged or can't be written.
bool writeWatch(const std::string& name, const WatchFile& watch);
// Ends the watch; true when no watch file is left.
bool removeWatch(const std::string& name);
// A watch whose saved search is gone does nothing.
bool savedSearchExists(const std::string& name);
// The names of the watch files, in byte order.
std::vector<std::string> watchedSearches();
// The watched searches whose saved search exists: the ones that run.
std::vector<std::string> activeWatches();

} // namespace watch
