#include "shellfixture.h"
#include "testfolder.h"

#include "platform/browser.h"

#include <QProcess>
#include <QRegularExpression>
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
