#pragma once
// HTTP downloads for the search run (libcurl's easy interface).

#include <cstdint>
#include <string>

namespace platform {

// A page decoded as it comes (gzip, deflate) is cut off past this many bytes: a small compressed answer must not
// fill the disk.
inline constexpr std::int64_t maximumPageBytes = std::int64_t(512) * 1024 * 1024;
// The result of a download cut off there.
inline constexpr int pageTooLarge = 999;
// Tests lower the bound; the program never does.
void setMaximumPageBytes(std::int64_t bytes);

// Fetches url and writes the response body to path, replacing the file. Blocks until done. Follows redirects
// (http and https only). Returns 0 only for a complete 2xx response; any other value is a failure: no
// connection within the connect time-out, no byte for the stall time-out, the whole page not had within the
// total limit, a non-2xx status, a body cut short, pageTooLarge (the file is then left empty).
int downloadUrlToFile(const std::string& url, const std::string& path);

// Time-outs in seconds; tests shorten them. Defaults: connect 15, stall 30.
void setDownloadTimeouts(long connectSeconds, long stallSeconds);

// What one page may take in all, connection included, however the server paces its bytes: a server that
// trickles must not hold a city (and the windows, and the program's exit behind it) for as long as it likes.
inline constexpr long pageTimeLimitMs = 60'000;
// Tests shorten it so as not to wait a minute; the program never does.
void setPageTimeLimit(long milliseconds);
long pageTimeLimit();

// Downloads one after another over one curl handle, so that its connections, name look-ups and TLS sessions
// serve every city of a run: the site's own address is one host for every city. Not for use by two threads at
// once.
class Downloader {
public:
    Downloader();
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // As downloadUrlToFile.
    int download(const std::string& url, const std::string& path);

private:
    void* m_curl = nullptr;
};

// What a download's result means: the status a refusal or another non-2xx answer carried (0 when none).
int downloadHttpStatus(int result);
bool isRefusalStatus(int httpStatus); // 403, 429 or 503: the site refuses to be asked
// For a result other than 0: one phrase for the results page, "the site answered HTTP 404" and the like.
std::string downloadFailureReason(int result);

} // namespace platform
