#pragma once
// The desktop's own services: the default web browser and the clipboard.

#include <functional>
#include <string>

namespace platform {

// Hands the URL (already encoded as it should travel) to the default web browser; a failure isn't reported.
void openInDefaultBrowser(const std::string& url);
void copyToClipboard(const std::string& text);

// Whether the X display that DISPLAY names accepts a connection: Qt aborts with a page of text when it doesn't.
// True when there is nothing to check (no DISPLAY, no X client library).
bool xDisplayReachable();

// Tests see the URLs instead of a browser starting; an empty function opens real browsers again.
void setUrlOpener(std::function<void(const std::string&)> opener);

} // namespace platform
