#include "shellfixture.h"
#include "testfolder.h"

#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/textcodec.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWebEngineView>
#include <QWidget>

#include <filesystem>
#include <memory>

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

    std::string folder;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<platform::Browser> browser;
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

// A banner advert or an ad's outside link that asks for a new window opens in the desktop's web browser.
TEST_P(NewWindow, LinkOpensInTheDesktopsBrowser)
{
    std::vector<std::string> opened;
    platform::setUrlOpener([&](const std::string& url) { opened.push_back(url); });
    browser->replaceDocument(std::string("<html><head><style>* { margin: 0 } .all { display: block; width: 100vw;"
                                         " height: 100vh }</style></head><body>")
                             + GetParam().clickable + "</body></html>");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    QWidget* surface = browser->view()->focusProxy();
    ASSERT_NE(surface, nullptr);
    // The first click may come before the page is drawn; a later one is only sent while nothing has opened.
    processEventsUntil(
        [&] {
            if (opened.empty())
                QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(400, 300));
            return processEventsUntil([&] { return !opened.empty(); }, 1000);
        },
        15000);
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

// What a page script can reach: the results page holds the site's HTML, and the files beside it hold passwords.
const char* probeScript = R"(<script>
function done(name, value) { document.body.setAttribute(name, value); }
fetch(TARGET).then(r => r.text()).then(t => done('data-fetch', 'read')).catch(e => done('data-fetch', 'blocked'));
try {
  var x = new XMLHttpRequest(); x.open('GET', TARGET, false); x.send();
  done('data-xhr', x.responseText.indexOf('password') >= 0 ? 'read' : 'blocked');
} catch (e) { done('data-xhr', 'blocked'); }
</script>)";

std::string probePage(const std::string& target)
{
    std::string script = probeScript;
    for (size_t at = script.find("TARGET"); at != std::string::npos; at = script.find("TARGET"))
        script.replace(at, 6, "'" + target + "'");
    return "<html><body><p>probe</p>" + script + "</body></html>";
}

TEST_F(BrowserTest, LocalPagesCannotReadLocalFiles)
{
    writeFile(folder + "secret.smtp", "password=hunter2");
    writeFile(folder + "page.html", probePage("secret.smtp"));
    browser->navigate("file://" + folder + "page.html");
    EXPECT_EQ(scriptResult("data-fetch"), "blocked");
    EXPECT_EQ(scriptResult("data-xhr"), "blocked");

    browser->replaceDocument(probePage("file://" + folder + "secret.smtp"));
    EXPECT_EQ(scriptResult("data-fetch"), "blocked");
    EXPECT_EQ(scriptResult("data-xhr"), "blocked");
}

TEST_F(BrowserTest, LocalPagesStillShowRemoteImages)
{
    fs::create_directories(folder + "site");
    // A 1x1 GIF.
    writeFile(folder + "site/pixel.gif",
              std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!"
                          "\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01"
                          "\x00\x00\x02\x02\x44\x01\x00;",
                          43));
    QProcess server;
    server.setProgram("/usr/bin/python3");
    server.setArguments({"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
                         QString::fromStdString(folder + "site")});
    server.start();
    ASSERT_TRUE(server.waitForStarted(10000));
    QString port;
    processEventsUntil([&] {
        const auto match = QRegularExpression("port (\\d+)").match(QString::fromUtf8(server.peek(4096)));
        port = match.hasMatch() ? match.captured(1) : QString();
        return !port.isEmpty();
    });
    ASSERT_FALSE(port.isEmpty());

    writeFile(folder + "page.html",
              "<html><body><img src=\"http://127.0.0.1:" + port.toStdString()
                  + "/pixel.gif\" onload=\"document.body.setAttribute('data-img','loaded')\" "
                    "onerror=\"document.body.setAttribute('data-img','failed')\"></body></html>");
    browser->navigate(folder + "page.html");
    EXPECT_EQ(scriptResult("data-img"), "loaded");
    server.kill();
    server.waitForFinished(5000);
}

TEST_F(BrowserTest, FilePathsWithBlanksAndHashesOpenAsTheyStand)
{
    writeFile(folder + "Last #1 Search.html", "<html><body><p>hash page</p></body></html>");
    browser->navigate("file://" + folder + "Last #1 Search.html");
    ASSERT_TRUE(browser->waitForLoadFinished(15000));
    EXPECT_NE(browser->documentSource().find("hash page"), std::string::npos);
}

} // namespace
