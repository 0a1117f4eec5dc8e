#include "platform/download.h"

#include "samplesite.h"
#include "testfolder.h"
#include "tlspeer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr int anyFailure = -1;

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A loopback port that nothing listens on (just released by the kernel).
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

class DownloadTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // The stall case must end well inside the test's bound; the server stays silent for 10 s at most.
        platform::setDownloadTimeouts(2, 2);
        if (!site)
            site = std::make_unique<SampleSite>(std::vector<std::string>{"--stall-seconds", "10"});
    }

    static void TearDownTestSuite()
    {
        site.reset();
        platform::setDownloadTimeouts(15, 30);
    }

    void SetUp() override
    {
        ASSERT_TRUE(site && site->started()) << "the sample site did not start";
        folder = makeTestFolder("qb-download");
    }

    void TearDown() override { fs::remove_all(folder); }

    static inline std::unique_ptr<SampleSite> site;
    std::string folder;
};

// --- What the sample site's cities answer -------------------------------------------------------------------

struct PageCase {
    const char* name;
    const char* city;
    const char* pathAndQuery;
    int expected; // 0, an exact failure code, or anyFailure
    void (*check)(const std::string& body);
};

void PrintTo(const PageCase& c, std::ostream* os)
{
    *os << c.name;
}

void normalPage(const std::string& body)
{
    EXPECT_TRUE(contains(body, "data-pid=\"newyork1\""));
    EXPECT_TRUE(contains(body, "newyork ad 3 for red bike"));
    // The raw target as it went out: the query is not re-encoded on the way.
    EXPECT_TRUE(contains(body, "<span class=\"request\">/search/sss?query=red+bike&amp;sort=rel</span>"));
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 12);
    EXPECT_TRUE(endsWith(body, "</body></html>\r\n"));
}

void followedToNewyork(const std::string& body)
{
    EXPECT_TRUE(contains(body, "<title>newyork search</title>"));
    EXPECT_TRUE(contains(body, "<span class=\"request\">/search/bik?query=old+lamp</span>"));
    EXPECT_FALSE(contains(body, "Moved"));
}

void emptyFile(const std::string& body)
{
    EXPECT_EQ(body.size(), 0u);
}

void nothingFound(const std::string& body)
{
    EXPECT_TRUE(contains(body, "Nothing found for that search."));
    EXPECT_FALSE(contains(body, "data-pid"));
}

void browserUserAgent(const std::string& body)
{
    EXPECT_EQ(body,
              "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/108.0.0.0 Safari/537.36");
}

class DownloadPages : public DownloadTest, public testing::WithParamInterface<PageCase> { };

TEST_P(DownloadPages, ResultAndBody)
{
    const PageCase& c = GetParam();
    const std::string path = folder + "page.html";
    const auto start = std::chrono::steady_clock::now();
    const int rc = platform::downloadUrlToFile(site->cityUrl(c.city, c.pathAndQuery), path);
    // A safety bound against hanging, not a timing test.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));

    if (c.expected == anyFailure)
        EXPECT_NE(rc, 0);
    else
        EXPECT_EQ(rc, c.expected);
    if (c.check) {
        const std::optional<std::string> body = readFile(path);
        ASSERT_TRUE(body.has_value()) << "no file written";
        c.check(*body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Download, DownloadPages,
    testing::Values(PageCase{"normal", "newyork", "/search/sss?query=red+bike&sort=rel", 0, &normalPage},
                    PageCase{"moved", "moved", "/search/bik?query=old+lamp", 0, &followedToNewyork},
                    PageCase{"gone", "gone", "/search/sss?query=x", 1404, nullptr},
                    PageCase{"closes", "closes", "/search/sss?query=x", CURLE_PARTIAL_FILE, nullptr},
                    PageCase{"stalls", "stalls", "/search/sss?query=x", anyFailure, nullptr},
                    PageCase{"empty", "empty", "/search/sss?query=x", 0, &emptyFile},
                    PageCase{"nothing", "boston", "/search/sss?query=Nothing+at+all", 0, &nothingFound},
                    PageCase{"useragent", "useragent", "/search/sss?query=x", 0, &browserUserAgent}),
    [](const testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

// --- Requests that must fail without a usable body ----------------------------------------------------------

struct RejectCase {
    const char* name;
    std::string (*url)(const SampleSite& site);
    const char* destination; // inside the test folder
    int expected;
};

void PrintTo(const RejectCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string refusedUrl(const SampleSite&)
{
    return "http://127.0.0.1:" + std::to_string(closedPort()) + "/search/sss?query=x";
}
std::string fileUrl(const SampleSite&)
{
    return "file:///etc/passwd";
}
std::string goodUrl(const SampleSite& site)
{
    return site.cityUrl("newyork", "/search/sss?query=x");
}

class DownloadRejects : public DownloadTest, public testing::WithParamInterface<RejectCase> { };

TEST_P(DownloadRejects, FailsAndWritesNothingFetched)
{
    const RejectCase& c = GetParam();
    const std::string path = folder + c.destination;
    EXPECT_EQ(platform::downloadUrlToFile(c.url(*site), path), c.expected);

    const std::optional<std::string> body = readFile(path);
    if (body) {
        EXPECT_EQ(body->size(), 0u) << *body;
    }
    // Nothing besides the destination itself: no folder made for it, no stray temporary file.
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        EXPECT_EQ(e.path(), fs::path(path)) << "unexpected " << e.path();
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadRejects,
                         testing::Values(RejectCase{"refused", &refusedUrl, "page.html", CURLE_COULDNT_CONNECT},
                                         RejectCase{"fileScheme", &fileUrl, "page.html", CURLE_UNSUPPORTED_PROTOCOL},
                                         RejectCase{"missingFolder", &goodUrl, "missing/page.html", CURLE_WRITE_ERROR}),
                         [](const testing::TestParamInfo<RejectCase>& info) { return std::string(info.param.name); });

// The site redirects to https, as the real one does: the certificate met there is checked all the same.
TEST_F(DownloadTest, RedirectToHttpsStillChecksTheCertificate)
{
    const TestCertificates& certificates = TestCertificates::shared();
    ASSERT_TRUE(certificates.made());
    SampleSite tlsSite({"--tls-cert", certificates.selfSignedCert(), "--tls-key", certificates.selfSignedKey()});
    ASSERT_TRUE(tlsSite.started());
    EXPECT_EQ(platform::downloadUrlToFile(tlsSite.cityUrl("tohttps", "/search/sss?query=x"), folder + "page.html"),
              CURLE_PEER_FAILED_VERIFICATION);
}

// --- The destination ----------------------------------------------------------------------------------------

TEST_F(DownloadTest, ReplacesALongerFileWithExactlyTheNewBody)
{
    const std::string url = site->cityUrl("chicago", "/search/sss?query=desk");
    const std::string fresh = folder + "fresh.html";
    const std::string old = folder + "old.html";
    std::ofstream(old, std::ios::binary) << std::string(100000, 'z');

    ASSERT_EQ(platform::downloadUrlToFile(url, fresh), 0);
    ASSERT_EQ(platform::downloadUrlToFile(url, old), 0);
    const std::optional<std::string> expected = readFile(fresh);
    ASSERT_TRUE(expected && contains(*expected, "chicago ad 1 for desk"));
    EXPECT_EQ(readFile(old), expected);
}

// --- A server that keeps every byte coming, too slowly ---------------------------------------------------------

// Listens on loopback and answers one request with its first part at once, then the trickled part over and over a
// byte at a time, a byte every 100 ms: never silent long enough for the stall time-out, and not done for 10 s.
// Stopped (and joined) by its destructor.
class TricklingServer {
public:
    TricklingServer(std::string atOnce, std::string trickled)
        : m_atOnce(std::move(atOnce))
        , m_trickled(std::move(trickled))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
            || ::listen(m_listener, 4) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~TricklingServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }
    int port() const { return m_port; }

private:
    void serve()
    {
        pollfd waiting{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&waiting, 1, 100) == 0) { }
        if (m_stop)
            return;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        char request[4096];
        (void)::recv(client, request, sizeof request, 0);
        (void)::send(client, m_atOnce.data(), m_atOnce.size(), MSG_NOSIGNAL);
        // Ten seconds at most, so that a download that waits for ever fails the test rather than hanging it.
        for (size_t at = 0, sent = 0; !m_stop && sent < 100; at = (at + 1) % m_trickled.size(), ++sent) {
            if (::send(client, &m_trickled[at], 1, MSG_NOSIGNAL) != 1)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::close(client);
    }

    std::string m_atOnce;
    std::string m_trickled;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct TrickleCase {
    const char* name;
    const char* atOnce;
    const char* trickled;
};

class DownloadTrickle : public DownloadTest, public testing::WithParamInterface<TrickleCase> { };

TEST_P(DownloadTrickle, EndsAtThePageTimeLimitWhateverTheServerSends)
{
    EXPECT_EQ(platform::pageTimeLimit(), 60'000) << "a city's page has a minute in all";
    platform::setPageTimeLimit(1500);
    TricklingServer server(GetParam().atOnce, GetParam().trickled);
    ASSERT_GT(server.port(), 0);
    const auto start = std::chrono::steady_clock::now();
    const int rc = platform::downloadUrlToFile("http://127.0.0.1:" + std::to_string(server.port()) + "/search/sss",
                                               folder + "page.html");
    const auto took = std::chrono::steady_clock::now() - start;
    platform::setPageTimeLimit(platform::pageTimeLimitMs);
    EXPECT_EQ(rc, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(platform::downloadFailureReason(rc), "the site did not answer in time");
    // The stall time-out (2 s here) never comes: a byte is there every 100 ms.
    EXPECT_GE(took, std::chrono::milliseconds(1400));
    EXPECT_LT(took, std::chrono::seconds(6));
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadTrickle,
                         testing::Values(TrickleCase{"body", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n",
                                                     "<p>x</p>"},
                                         TrickleCase{"headers", "HTTP/1.1 200 OK\r\nX-Slow: ", "a"},
                                         TrickleCase{"statusLine", "", "HTTP/1.1 200 OK"},
                                         TrickleCase{"closeDelimitedBody", "HTTP/1.0 200 OK\r\n\r\n", "<li>"}),
                         [](const testing::TestParamInfo<TrickleCase>& info) { return std::string(info.param.name); });

// --- A page decoded as it comes is bounded ---------------------------------------------------------------------

struct SizeCase {
    const char* name;
    const char* city; // answers 3 MiB compressed to a few KB
    std::int64_t limit;
    int expected;
    size_t bodyBytes;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.name;
}

class DownloadSize : public DownloadTest, public testing::WithParamInterface<SizeCase> { };

TEST_P(DownloadSize, CutsOffWhatExpandsPastTheBound)
{
    const SizeCase& c = GetParam();
    const std::string path = folder + "page.html";
    platform::setMaximumPageBytes(c.limit);
    const int rc = platform::downloadUrlToFile(site->cityUrl(c.city, "/search/sss?query=x"), path);
    platform::setMaximumPageBytes(platform::maximumPageBytes);
    EXPECT_EQ(rc, c.expected);
    EXPECT_EQ(fs::file_size(path), c.bodyBytes);
}

constexpr std::int64_t mib = 1024 * 1024;
constexpr size_t expanded = 3 * mib / 9 * 9;

INSTANTIATE_TEST_SUITE_P(
    Download, DownloadSize,
    testing::Values(SizeCase{"gzipPastTheBound", "bomb", mib, platform::pageTooLarge, 0},
                    SizeCase{"deflatePastTheBound", "deflated", 2 * mib, platform::pageTooLarge, 0},
                    SizeCase{"gzipWithin", "bomb", 4 * mib, 0, expanded},
                    SizeCase{"exactlyTheBound", "deflated", std::int64_t(expanded), 0, expanded},
                    SizeCase{"oneByteOver", "bomb", std::int64_t(expanded) - 1, platform::pageTooLarge, 0}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(DownloadBound, IsHalfAGigabyteAndSaidPlainly)
{
    EXPECT_EQ(platform::maximumPageBytes, 512 * mib);
    EXPECT_EQ(platform::downloadFailureReason(platform::pageTooLarge), "the site's page was too large");
    EXPECT_EQ(platform::downloadHttpStatus(platform::pageTooLarge), 0);
}

} // namespace
