#include "shellfixture.h"
#include "testfolder.h"

#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/textcodec.h"

#include <QProcess>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <optional>

namespace fs = std::filesystem;

namespace {

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-browser");
        window = std::make_unique<QWidget>();
        window->resize(800, 600);
        browser = std::make_unique<platform::Browser>(window.get(), 0, 0, 800, 600);
        window->show();
    }
    void TearDown() override
    {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(5000);
        }
        browser.reset();
        window.reset();
        platform::releaseBrowserEngine();
        fs::remove_all(folder);
    }

    // Waits until the document carries the attribute a page script sets when it is done, and returns its value.
    std::string scriptResult(const std::string& attribute)
    {
        std::string value;
        processEventsUntil([&] {
            const std::string source = browser->documentSource();
            const size_t at = source.find(attribute + "=\"");
            if (at == std::string::npos)
                return false;
            const size_t start = at + attribute.size() + 2;
            value = source.substr(start, source.find('"', start) - start);
            return true;
        });
        return value;
    }

    // Serves folder + "site/" over http on a free loopback port; returns the address of that folder, or "".
    std::string serveSite()
    {
        fs::create_directories(folder + "site");
        server.setProgram("/usr/bin/python3");
        server.setArguments({"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
                             QString::fromStdString(folder + "site")});
        server.start();
        if (!server.waitForStarted(10000))
            return {};
        QString port;
        processEventsUntil([&] {
            const auto match = QRegularExpression("port (\\d+)").match(QString::fromUtf8(server.peek(4096)));
            port = match.hasMatch() ? match.captured(1) : QString();
            return !port.isEmpty();
        });
        return port.isEmpty() ? std::string() : "http://127.0.0.1:" + port.toStdString() + "/";
    }

    // The value of a script run by the program itself (not the page) in the shown document, as text.
    std::string programScript(const QString& script)
    {
        auto answer = std::make_shared<std::optional<QString>>();
        static_cast<QWebEngineView*>(browser->view())
            ->page()
            ->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                            [answer](const QVariant& value) { *answer = value.toString(); });
        processEventsUntil([&] { return answer->has_value(); }, 10000);
        return answer->has_value() ? (*answer)->toStdString() : "(no answer)";
    }

    // Clicks the middle of the view until something happened (the first click may come before the page is drawn).
    void clickUntil(const std::function<bool()>& happened)
    {
        QWidget* surface = browser->view()->focusProxy();
        ASSERT_NE(surface, nullptr);
        processEventsUntil(
            [&] {
                if (!happened())
                    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(400, 300));
                return processEventsUntil(happened, 1000);
            },
            15000);
    }

    std::string folder;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<platform::Browser> browser;
    QProcess server;
};

struct CharsetCase {
    const char* name;
    std::string page;
    std::string expectedBytes;
};

class DocumentSource : public BrowserTest, public ::testing::WithParamInterface<CharsetCase> { };

TEST_P(DocumentSource, ComesInTheDocumentsOwnCharacterSet)
{
    writeFile(folder + "page.html", GetParam().page);
    browser->navigate(folder + "page.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    const std::string source = browser->documentSource();
    EXPECT_NE(source.find(GetParam().expectedBytes), std::string::npos) << source;
    EXPECT_EQ(source.find('\0'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DocumentSource,
    ::testing::Values(
        CharsetCase{"windows1252",
                    "<html><head><meta charset=\"windows-1252\"></head><body><p>caf\xe9 \x80 5</p></body></html>",
                    "<p>caf\xe9 \x80 5</p>"},
        CharsetCase{"latin1Label",
                    "<html><head><meta charset=\"iso-8859-1\"></head><body><p>na\xefve</p></body></html>",
                    "<p>na\xefve</p>"},
        CharsetCase{"utf8", "<html><head><meta charset=\"utf-8\"></head><body><p>caf\xc3\xa9</p></body></html>",
                    "<p>caf\xc3\xa9</p>"},
        CharsetCase{"entitiesStayEscaped", "<html><body><h2>A &amp; B</h2></body></html>", "<h2>A &amp; B</h2>"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoundTripCase {
    const char* name;
    std::string bytes; // a page as the browser serialises it, so it must come back unchanged
    const char* shownTitle; // UTF-8
};

class RoundTrip : public BrowserTest, public ::testing::WithParamInterface<RoundTripCase> { };

// A saved page is shown in its own encoding and, read back, is the same bytes again: nothing garbled, nothing lost.
TEST_P(RoundTrip, ReplacedDocumentIsShownInItsOwnEncodingAndComesBackByteForByte)
{
    browser->replaceDocument(GetParam().bytes);
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    auto* view = static_cast<QWebEngineView*>(browser->view());
    const QString title = QString::fromUtf8(GetParam().shownTitle);
    EXPECT_TRUE(processEventsUntil([&] { return view->title() == title; }, 5000)) << view->title().toStdString();
    EXPECT_EQ(browser->documentSource(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, RoundTrip,
    ::testing::Values(
        RoundTripCase{"utf8Undeclared",
                      "<html><head><title>\xe2\x80\x9cmint\xe2\x80\x9d caf\xc3\xa9 \xc5\x90</title></head><body><p>"
                      "\xe2\x80\x9cmint\xe2\x80\x9d caf\xc3\xa9 \xc5\x90 \xd0\x81</p></body></html>",
                      "\xe2\x80\x9cmint\xe2\x80\x9d caf\xc3\xa9 \xc5\x90"},
        RoundTripCase{"windows1252UndefinedBytes",
                      "<html><head><title>caf\xe9 \x80</title></head><body><p>caf\xe9 \x80 \x81\x8d\x8f\x90\x9d</p>"
                      "</body></html>",
                      "caf\xc3\xa9 \xe2\x82\xac"},
        RoundTripCase{"windows1252Declared",
                      "<html><head><meta charset=\"windows-1252\"><title>na\xefve</title></head><body><p>"
                      "\x81\x8d\x8f\x90\x9d \x93x\x94</p></body></html>",
                      "na\xc3\xafve"},
        RoundTripCase{"windows1251",
                      "<html><head><meta charset=\"windows-1251\"><title>\xcf\xf0\xe8\xe2\xe5\xf2</title></head>"
                      "<body><p>\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0</p></body></html>",
                      "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
        RoundTripCase{"iso88592ByHttpEquiv",
                      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-2\">"
                      "<title>Za\xbf\xf3\xb3\xe6</title></head><body><p>g\xea\xb6l\xb1 ja\xbc\xf1</p></body></html>",
                      "Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"},
        RoundTripCase{"shiftJis",
                      "<html><head><meta charset=\"Shift_JIS\"><title>\x93\xfa\x96{\x8c\xea</title></head><body><p>"
                      "\x83"
                      "e\x83L\x83X\x83g \\ ~</p></body></html>",
                      "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Encoding, CharactersASetCannotHoldAreKeptAsReferences)
{
    const QString text = QString::fromUtf8("a\xe2\x82\xac\xf0\x9f\x98\x80\xc2\x81"); // a, euro, a smiley, U+0081
    EXPECT_EQ(platform::encodeForCharset(text, "windows-1251"), "a\x88&#128512;\x81");
    EXPECT_EQ(platform::encodeForCharset(text, "Shift_JIS"), "a&#8364;&#128512;\x81");
    EXPECT_EQ(platform::encodeForCharset(QString::fromUtf8("\xe6\x97\xa5\xe2\x82\xac"), "ISO-2022-JP"),
              "\x1b$BF|\x1b(B&#8364;");
}

struct NewWindowCase {
    const char* name;
    const char* clickable; // covers the whole page
};

class NewWindow : public BrowserTest, public ::testing::WithParamInterface<NewWindowCase> { };

// A banner advert or an ad's outside link that asks for a new window opens in the desktop's web browser. The page
// comes over http, as the banner does: a local page runs no script.
TEST_P(NewWindow, LinkOpensInTheDesktopsBrowser)
{
    std::vector<std::string> opened;
    platform::setUrlOpener([&](const std::string& url) { opened.push_back(url); });
    const std::string site = serveSite();
    ASSERT_FALSE(site.empty());
    writeFile(folder + "site/banner.html",
              std::string("<html><head><style>* { margin: 0 } .all { display: block; width: 100vw;"
                          " height: 100vh }</style></head><body>")
                  + GetParam().clickable + "</body></html>");
    browser->navigate(site + "banner.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    clickUntil([&] { return !opened.empty(); });
    platform::setUrlOpener({});
    EXPECT_EQ(opened, std::vector<std::string>{"http://ads.localhost/ad?id=1&x=%20y"});
}

INSTANTIATE_TEST_SUITE_P(
    Links, NewWindow,
    ::testing::Values(NewWindowCase{"targetBlank",
                                    "<a class=\"all\" href=\"http://ads.localhost/ad?id=1&amp;x=%20y\" "
                                    "target=\"_blank\">ad</a>"},
                      NewWindowCase{"windowOpenOnAClick",
                                    "<div class=\"all\" onclick=\"window.open('http://ads.localhost/ad?id=1&x=%20y')\">"
                                    "ad</div>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SoftwareRendering, WhenChromiumHasNoGpuUnlessTheUserChoseABackend)
{
    struct Case {
        const char* chromiumFlags;
        const char* quickBackend;
        bool software;
    };
    const Case cases[] = {
        {"--disable-gpu", "", true},
        {"--log-level=3 --disable-gpu --no-sandbox", "", true},
        {"", "", false},
        {"--log-level=3", "", false},
        {"--disable-gpu-compositing", "", false}, // the GPU still draws the page
        {"--disable-gpu", "opengl", false},
        {"--disable-gpu", "software", false}, // Qt Quick reads it itself
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::wantsSoftwareRendering(c.chromiumFlags, c.quickBackend), c.software)
            << c.chromiumFlags << " / " << c.quickBackend;
    // The tests run Chromium without a GPU, as the program does under Xvfb.
    EXPECT_EQ(QQuickWindow::sceneGraphBackend() == "software",
              platform::wantsSoftwareRendering(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), qgetenv("QT_QUICK_BACKEND")));
}

TEST_F(BrowserTest, ReplacedDocumentsHaveNoSizeLimit)
{
    std::string big = "<html><head><meta charset=\"utf-8\"></head><body><h2>Big</h2>";
    while (big.size() < 3 * 1024 * 1024)
        big += "<p>line of a large saved page</p>\r\n";
    big += "<p id=\"end\">the end</p></body></html>";
    browser->replaceDocument(big);
    ASSERT_TRUE(browser->waitForLoadFinished(30000));
    const std::string source = browser->documentSource();
    EXPECT_GT(source.size(), 2900u * 1024) << "over the 2 MB that setHtml refuses (the parser turns CR LF into LF)";
    EXPECT_NE(source.find("<p id=\"end\">the end</p>"), std::string::npos);

    browser->replaceDocument("<html><body><p>second</p></body></html>");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    EXPECT_NE(browser->documentSource().find("<p>second</p>"), std::string::npos);
}

// What a script in a local page could reach, were one to run there: the results page holds the site's HTML, and
// the files beside it hold passwords. Page scripts don't run in local pages, so the program's own world tries.
const char* probeScript = R"(
function done(name, value) { document.body.setAttribute(name, value); }
fetch(TARGET).then(r => r.text()).then(t => done('data-fetch', 'read')).catch(e => done('data-fetch', 'blocked'));
try {
  var x = new XMLHttpRequest(); x.open('GET', TARGET, false); x.send();
  done('data-xhr', x.responseText.indexOf('password') >= 0 ? 'read' : 'blocked');
} catch (e) { done('data-xhr', 'blocked'); }
)";

QString probe(const std::string& target)
{
    QString script = QString::fromLatin1(probeScript);
    return script.replace(QLatin1String("TARGET"), QString::fromStdString("'" + target + "'"));
}

TEST_F(BrowserTest, LocalPagesCannotReadLocalFiles)
{
    writeFile(folder + "secret.smtp", "password=hunter2");
    writeFile(folder + "page.html", "<html><body><p>probe</p></body></html>");
    browser->navigate("file://" + folder + "page.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    programScript(probe("secret.smtp"));
    EXPECT_EQ(scriptResult("data-fetch"), "blocked");
    EXPECT_EQ(scriptResult("data-xhr"), "blocked");

    browser->replaceDocument("<html><body><p>probe</p></body></html>");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    programScript(probe("file://" + folder + "secret.smtp"));
    EXPECT_EQ(scriptResult("data-fetch"), "blocked");
    EXPECT_EQ(scriptResult("data-xhr"), "blocked");
}

TEST_F(BrowserTest, LocalPagesStillShowRemoteImages)
{
    const std::string site = serveSite();
    ASSERT_FALSE(site.empty());
    // A 1x1 GIF.
    writeFile(folder + "site/pixel.gif",
              std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!"
                          "\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01"
                          "\x00\x00\x02\x02\x44\x01\x00;",
                          43));
    writeFile(folder + "page.html", "<html><body><img src=\"" + site + "pixel.gif\"></body></html>");
    browser->navigate(folder + "page.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    EXPECT_TRUE(processEventsUntil(
        [&] { return programScript("document.images[0].complete && document.images[0].naturalWidth") == "1"; }));
}

// Text from the site in a page the program wrote or keeps, made to run as script in every way a page can.
const std::string hostilePage
    = "<html><head><title>quiet</title><meta http-equiv=\"refresh\" content=\"0; url=javascript:alert(1)\"></head>"
      "<body><p id=\"t\">text</p>"
      "<script>document.title = 'ran'; document.body.setAttribute('data-ran', 'script');</script>"
      "<img src=\"missing.gif\" onerror=\"document.title = 'ran'; document.body.setAttribute('data-ran', 'img')\">"
      "<svg onload=\"document.body.setAttribute('data-ran', 'svg')\"></svg>"
      "<iframe srcdoc=\"<script>parent.document.body.setAttribute('data-ran', 'frame')</script>\"></iframe>"
      "<a id=\"go\" href=\"javascript:document.body.setAttribute('data-ran', 'link')\">go</a>"
      "</body></html>";

enum class Shown { path, fileUrl, replaced };

struct ScriptCase {
    const char* name;
    Shown shown;
};

class LocalScript : public BrowserTest, public ::testing::WithParamInterface<ScriptCase> { };

TEST_P(LocalScript, DoesNotRun)
{
    writeFile(folder + "Last Search.html", hostilePage);
    if (GetParam().shown == Shown::path)
        browser->navigate(folder + "Last Search.html");
    else if (GetParam().shown == Shown::fileUrl)
        browser->navigate("file://" + folder + "Last Search.html");
    else
        browser->replaceDocument(hostilePage);
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    auto* view = static_cast<QWebEngineView*>(browser->view());
    ASSERT_TRUE(processEventsUntil([&] { return view->title() == "quiet"; }));
    // The image's error and the frame's load come before the page's own load has finished.
    ASSERT_EQ(programScript("document.querySelector('iframe').contentDocument.readyState"), "complete");
    programScript("document.getElementById('go').click()");
    EXPECT_EQ(programScript("document.body.getAttribute('data-ran') || 'none'"), "none");
    EXPECT_EQ(view->title(), "quiet");
    // Mail and saved pages still read what is shown.
    EXPECT_NE(browser->documentSource().find("<p id=\"t\">text</p>"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Pages, LocalScript,
                         ::testing::Values(ScriptCase{"resultsPageByPath", Shown::path},
                                           ScriptCase{"fileUrl", Shown::fileUrl},
                                           ScriptCase{"savedPageReplaced", Shown::replaced}),
                         [](const auto& info) { return std::string(info.param.name); });

// An ad's page, reached by a link of the results page, is a page of the web and runs its script; going back to
// the results page turns script off again.
TEST_F(BrowserTest, WebPagesFollowedFromTheResultsPageRunTheirScript)
{
    const std::string site = serveSite();
    ASSERT_FALSE(site.empty());
    writeFile(folder + "site/ad.html",
              "<html><body><p>ad</p><script>document.body.setAttribute('data-ran', 'yes')</script></body></html>");
    writeFile(folder + "Last Search.html",
              "<html><head><title>results</title><style>* { margin: 0 } a { display: block; width: 100vw;"
              " height: 100vh }</style></head><body><a href=\""
                  + site + "ad.html\">ad</a><script>document.title = 'ran'</script></body></html>");
    browser->navigate(folder + "Last Search.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    clickUntil([&] { return browser->currentUrl() == site + "ad.html"; });
    EXPECT_EQ(scriptResult("data-ran"), "yes");

    browser->back();
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    auto* view = static_cast<QWebEngineView*>(browser->view());
    EXPECT_TRUE(processEventsUntil([&] { return view->title() == "results"; }));
    EXPECT_EQ(programScript("document.title"), "results");
}

// A second run writes the results page again under the same name: it is a new page, seen from its top, not at the
// place the user had scrolled the last one to.
TEST_F(BrowserTest, TheSameAddressAgainOpensAtTheTop)
{
    auto* page = static_cast<QWebEngineView*>(browser->view())->page();
    auto longPage = [](const std::string& run) {
        std::string html = "<html><body>";
        for (int i = 0; i < 300; ++i)
            html += "<p>" + run + " ad " + std::to_string(i) + "</p>";
        return html + "</body></html>";
    };
    const std::string path = folder + "Last Search.html";
    writeFile(path, longPage("first"));
    browser->navigate(path);
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    page->runJavaScript("window.scrollTo(0, 4000)", QWebEngineScript::ApplicationWorld);
    ASSERT_TRUE(processEventsUntil([&] { return page->scrollPosition().y() > 3000; }));

    writeFile(path, longPage("second"));
    browser->navigate(path);
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    EXPECT_TRUE(processEventsUntil([&] {
        return page->scrollPosition().y() == 0 && browser->documentSource().find("second ad 299") != std::string::npos;
    }));
    // Still at the top once the engine is done with the page: the position it kept is not put back later.
    page->runJavaScript("1", QWebEngineScript::ApplicationWorld);
    EXPECT_TRUE(browser->documentSource().find("second ad") != std::string::npos);
    EXPECT_EQ(page->scrollPosition().y(), 0);

    // Back from an ad finds the place the user left on the new page.
    page->runJavaScript("window.scrollTo(0, 2000)", QWebEngineScript::ApplicationWorld);
    ASSERT_TRUE(processEventsUntil([&] { return page->scrollPosition().y() > 1500; }));
    writeFile(folder + "ad.html", "<html><body>an ad</body></html>");
    browser->navigate(folder + "ad.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    browser->back();
    EXPECT_TRUE(processEventsUntil([&] {
        return browser->documentSource().find("second ad 299") != std::string::npos
            && programScript("String(window.scrollY)") == "2000";
    }));
}

// The maker's host out of reach: an empty area where the banner goes, never the engine's error page; a page that
// loads later is seen again.
TEST_F(BrowserTest, ABannerThatCantLoadLeavesAnEmptyArea)
{
    browser->hideWhenLoadFails();
    writeFile(folder + "banner.html", "<html><body>banner</body></html>");
    const std::pair<std::string, bool> steps[] = {
        {"http://127.0.0.1:9/banners/quillobrand/banner.php", false},
        {"file://" + folder + "banner.html", true},
        {"http://127.0.0.1:9/again", false},
    };
    for (const auto& [url, seen] : steps) {
        browser->navigate(url);
        ASSERT_TRUE(browser->waitForLoadFinished(15000)) << url;
        EXPECT_TRUE(processEventsUntil([&, seen = seen] { return browser->view()->isVisible() == seen; })) << url;
    }
}

TEST_F(BrowserTest, FilePathsWithBlanksAndHashesOpenAsTheyStand)
{
    writeFile(folder + "Last #1 Search.html", "<html><body><p>hash page</p></body></html>");
    browser->navigate("file://" + folder + "Last #1 Search.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    EXPECT_NE(browser->documentSource().find("hash page"), std::string::npos);
}

} // namespace
