#pragma once
// HTTP downloads for the search run (libcurl's easy interface).

#include <string>

namespace platform {

// Fetches url and writes the response body to path, replacing the file. Blocks until done. Follows redirects
// (http and https only). Returns 0 only for a complete 2xx response; any other value is a failure: no
// connection within the connect time-out, no byte for the stall time-out, a non-2xx status, a body cut short.
int downloadUrlToFile(const std::string& url, const std::string& path);

// Time-outs in seconds; tests shorten them. Defaults: connect 15, stall 30.
void setDownloadTimeouts(long connectSeconds, long stallSeconds);

} // namespace platform
