#include "platform/download.h"

#include <curl/curl.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

// Return values: 0 success; a CURLcode (1..999) when curl failed or the file could not be written (then
// CURLE_WRITE_ERROR); 1000 + HTTP status when the answer came complete but was not 2xx (404 -> 1404).

namespace platform {

namespace {

// Several cities may download at once on different threads.
std::atomic<long> connectTimeoutSeconds{15};
std::atomic<long> stallTimeoutSeconds{30};
std::atomic<long> pageTimeLimitMilliseconds{pageTimeLimitMs};
std::atomic<std::int64_t> pageBytesLimit{maximumPageBytes};

constexpr const char* userAgent
    = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/108.0.0.0 Safari/537.36";

// Where the body goes, and how much of it came so far.
struct Destination {
    FILE* file;
    std::int64_t written = 0;
    bool tooLarge = false;
};

size_t writeToFile(char* data, size_t size, size_t count, void* destination)
{
    // A short count makes curl stop with CURLE_WRITE_ERROR.
    auto& to = *static_cast<Destination*>(destination);
    const size_t bytes = size * count;
    if (to.written + std::int64_t(bytes) > pageBytesLimit.load()) {
        to.tooLarge = true;
        return 0;
    }
    to.written += std::int64_t(bytes);
    return std::fwrite(data, 1, bytes, to.file);
}

template <typename T> void setOption(CURL* curl, CURLoption option, T value, CURLcode& firstError)
{
    const CURLcode rc = curl_easy_setopt(curl, option, value);
    if (firstError == CURLE_OK)
        firstError = rc;
}

int fetch(CURL* curl, const std::string& url, Destination& destination)
{
    CURLcode rc = CURLE_OK;
    setOption(curl, CURLOPT_URL, url.c_str(), rc);
    // Protocols first: a refused scheme must never be fetched, not even partly.
    setOption(curl, CURLOPT_PROTOCOLS_STR, "http,https", rc);
    setOption(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https", rc);
    setOption(curl, CURLOPT_FOLLOWLOCATION, 1L, rc);
    setOption(curl, CURLOPT_MAXREDIRS, 10L, rc);
    setOption(curl, CURLOPT_NOSIGNAL, 1L, rc);
    setOption(curl, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds.load(), rc);
    // Not a total time-out: a big page on a slow line is fine as long as bytes keep coming.
    setOption(curl, CURLOPT_LOW_SPEED_LIMIT, 1L, rc);
    setOption(curl, CURLOPT_LOW_SPEED_TIME, stallTimeoutSeconds.load(), rc);
    setOption(curl, CURLOPT_TIMEOUT_MS, pageTimeLimitMilliseconds.load(), rc);
    setOption(curl, CURLOPT_USERAGENT, userAgent, rc);
    setOption(curl, CURLOPT_ACCEPT_ENCODING, "", rc);
    // One connection carries every city of a run to the site's own host; HTTP/2 where its TLS offers it.
    setOption(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS), rc);
    setOption(curl, CURLOPT_WRITEFUNCTION, &writeToFile, rc);
    setOption(curl, CURLOPT_WRITEDATA, static_cast<void*>(&destination), rc);
    if (rc != CURLE_OK)
        return rc;

    rc = curl_easy_perform(curl);
    if (destination.tooLarge)
        return pageTooLarge;
    if (rc != CURLE_OK)
        return rc;
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        return CURLE_BAD_FUNCTION_ARGUMENT;
    return status >= 200 && status <= 299 ? 0 : 1000 + static_cast<int>(status);
}

// The file is replaced whatever the outcome; a write that failed makes the result a failure.
int downloadWith(CURL* curl, const std::string& url, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wbe");
    if (!file)
        return CURLE_WRITE_ERROR;
    Destination destination{file};
    int result = curl ? fetch(curl, url, destination) : CURLE_FAILED_INIT;
    // What came of a page too large is no use, and half a gigabyte is not left lying about.
    if (result == pageTooLarge && std::fflush(file) == 0)
        (void)::ftruncate(::fileno(file), 0);
    const bool writeFailed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || writeFailed) {
        if (result == 0)
            result = CURLE_WRITE_ERROR;
    }
    return result;
}

} // namespace

int downloadUrlToFile(const std::string& url, const std::string& path)
{
    // curl_easy_init does the global set-up itself if the program has not.
    CURL* curl = curl_easy_init();
    const int result = downloadWith(curl, url, path);
    if (curl)
        curl_easy_cleanup(curl);
    return result;
}

Downloader::Downloader()
    : m_curl(curl_easy_init())
{
}

Downloader::~Downloader()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL*>(m_curl));
}

int Downloader::download(const std::string& url, const std::string& path)
{
    return downloadWith(static_cast<CURL*>(m_curl), url, path);
}

int downloadHttpStatus(int result)
{
    return result >= 1000 ? result - 1000 : 0;
}

bool isRefusalStatus(int httpStatus)
{
    return httpStatus == 403 || httpStatus == 429 || httpStatus == 503;
}

std::string downloadFailureReason(int result)
{
    if (const int status = downloadHttpStatus(result)) {
        if (isRefusalStatus(status))
            return "the site refused the request (HTTP " + std::to_string(status) + ")";
        return "the site answered HTTP " + std::to_string(status);
    }
    switch (result) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return "the site's certificate could not be verified";
    case CURLE_OPERATION_TIMEDOUT:
        return "the site did not answer in time";
    case CURLE_WRITE_ERROR:
        return "the page could not be saved on this computer";
    case CURLE_PARTIAL_FILE:
        return "the site's answer was cut short";
    case pageTooLarge:
        return "the site's page was too large";
    default:
        // Name not found, connection refused or reset, TLS that could not be set up, an address curl refuses.
        return "the site could not be reached";
    }
}

void setMaximumPageBytes(std::int64_t bytes)
{
    pageBytesLimit = bytes;
}

void setDownloadTimeouts(long connectSeconds, long stallSeconds)
{
    connectTimeoutSeconds = connectSeconds;
    stallTimeoutSeconds = stallSeconds;
}

void setPageTimeLimit(long milliseconds)
{
    pageTimeLimitMilliseconds = milliseconds;
}

long pageTimeLimit()
{
    return pageTimeLimitMilliseconds;
}

} // namespace platform
