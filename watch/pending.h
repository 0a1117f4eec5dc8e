#pragma once
// The ads a watch has not managed to mail yet: "watch/" + name + ".pending", kept until a digest goes out, so that
// a mail that failed, or a program stopped during the send, loses none of them. One ad a line, its fields apart
// by tabs (tab, CR, LF and backslash escaped as \t, \r, \n and \\), the bytes kept as the page gave them.

#include "search/searchrun.h"

#include <string>
#include <string_view>
#include <vector>

namespace watch {

inline constexpr size_t maximumPending = 500;

// "watch/" + name + ".pending", relative to the program folder.
std::string pendingFile(const std::string& name);

std::string encodePending(const std::vector<search::NewAd>& ads);
// A line that is not a whole ad (a file cut short) is passed over.
std::vector<search::NewAd> decodePending(std::string_view bytes);

// The ads pending, oldest first, at most maximumPending; none when there is no file (or it can't be read).
std::vector<search::NewAd> readPending(const std::string& name);
// Replaces the file atomically; no ads removes it. False when it could not be written or removed.
bool writePending(const std::string& name, const std::vector<search::NewAd>& ads);

// The ads of a digest about to go out, pending until it has: those pending before, then the run's, the newest
// maximumPending of them. An ad pending already is not added twice.
std::vector<search::NewAd> pendingWith(const std::vector<search::NewAd>& pending,
                                       const std::vector<search::NewAd>& added);

} // namespace watch
