// A watched search run by the program itself, through the sample site: the first run only remembers, the next
// finds two new ads and tells the user on the desktop (the notification service on a private bus) and by mail
// (aiosmtpd over TLS).

#include "shellfixture.h"

#include "mail/securitylibrary.h"
#include "platform/settings.h"
#include "search/savedsearch.h"
#include "search/seenads.h"
#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "watch/watcher.h"
#include "watch/watchfile.h"
#include "watch/watchwindow.h"

#include "peerprocess.h"
#include "privatebus.h"
#include "samplesite.h"
#include "tlspeer.h"

#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

class WatchRun : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        ASSERT_TRUE(bus.started());
        ASSERT_TRUE(site.started());
        ::setenv("SSL_CERT_FILE", TestCertificates::shared().caFile().c_str(), 1);
        mail::loadSecurityLibrary(QB_CRYPTLIB);
        ASSERT_TRUE(mail::securityLibrary().complete());
        peer = spawnProcess(
            {"/usr/bin/python3", QB_NOTIFY_PEER, "--record", folder + "calls.json", "--ready-file", folder + "ready"});
        ASSERT_TRUE(processEventsUntil([&] { return fs::exists(folder + "ready"); }));

        writeFile(folder + "settings.ini",
                  readFile(folder + "settings.ini") + "siteDomain=" + site.domain() + "\r\nsiteScheme=http\r\n");
        // The category decides the options the run sends, so the memory's name too.
        fs::copy_file(std::string(QB_STAGE_DIR) + "CategoryTree.dat", folder + "CategoryTree.dat");
        writeFile(folder + "citydata/two.city", "springfield\r\nshelbyville\r\n");
        definition.categoryCode = "sss";
        definition.words = "desk";
        definition.areaListName = "two";
        fs::create_directories(folder + "savedsearch");
        ASSERT_TRUE(search::writeSavedSearch(folder + search::savedSearchFile("Desks"), definition));
    }
    void TearDown() override
    {
        watch::stopWatching();
        stopProcess(peer);
        ShellTest::TearDown();
        mail::releaseSecurityLibrary();
    }
    // Run Now, as the window's button does; returns the watch's last result once the run has ended.
    std::string runNow()
    {
        const watch::WatchFile before = *watch::readWatch("Desks");
        watch::windowHooks().runNow("Desks");
        EXPECT_TRUE(processEventsUntil(
            [&] {
                const watch::WatchFile now = *watch::readWatch("Desks");
                return now.lastRun != before.lastRun || now.lastResult != before.lastResult;
            },
            60000));
        return watch::readWatch("Desks")->lastResult;
    }

    PrivateBus bus;
    SampleSite site{{"--list-line", "20", "--ads", "4"}};
    search::SearchDefinition definition;
    pid_t peer = -1;
};

TEST_F(WatchRun, FindsTwoNewAdsAndTellsTheUserOnTheDesktopAndByMail)
{
    const std::string maildir = folder + "maildir/";
    fs::create_directories(maildir);
    PeerProcess server(QB_SMTP_PEER, smtpPeerArguments(maildir));
    ASSERT_TRUE(server.started());
    writeFile(folder + "smtp/Ann.smtp",
              "Ann\r\nann@example.com\r\nlocalhost\r\nann\r\nsecret\r\n" + std::to_string(server.port()) + "\r\n");
    fs::create_directories(folder + "watch");
    writeFile(folder + "watch/Desks.watch", "interval=60\r\nmailTo=bob@example.com\r\nprofile=Ann\r\nnote=kept\r\n");
    writeFile(folder + "Last Search.html", "the builder's page");
    startShell();
    watch::startWatching();

    // The first run has no memory: nothing is new, nobody is told.
    EXPECT_EQ(runNow(), "0 new ads");
    const std::string memoryPath = search::seenFilePath(search::buildSearchTail(definition, "sss", site.domain()));
    std::string memory = readFile(memoryPath);
    ASSERT_NE(memory.find("[shelbyville]\r\n"), std::string::npos) << memory;

    // One ad of each city was not there last time.
    const std::string first = readFile(folder + "watch/Desks.html");
    static const std::regex id(R"(<a href="[^"]*/([^/"]+?)(?:\.html)?">)");
    std::vector<std::string> ids;
    for (auto it = std::sregex_iterator(first.begin(), first.end(), id); it != std::sregex_iterator(); ++it)
        ids.push_back((*it)[1]);
    ASSERT_EQ(ids.size(), 8u) << first;
    for (const std::string& gone : {ids[1], ids[6]})
        memory.erase(memory.find(gone + "\r\n"), gone.size() + 2);
    writeFile(memoryPath, memory);

    EXPECT_EQ(runNow(), "2 new ads; mail sent");
    const std::string page = readFile(folder + "watch/Desks.html");
    EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 4); // the two cities' blocks
    EXPECT_NE(page.find("<p>1 new</p>"), std::string::npos);
    EXPECT_EQ(readFile(folder + "Last Search.html"), "the builder's page");
    EXPECT_NE(readFile(folder + "watch/Desks.watch").find("note=kept\r\n"), std::string::npos);

    const std::string calls = readFile(folder + "calls.json");
    EXPECT_NE(
        calls.find(
            R"("app_name": "Quillobrand", "summary": "2 new ads", "body": "Desks: 2 new in SPRINGFIELD, SHELBYVILLE")"),
        std::string::npos)
        << calls;

    const std::string received = readFile(maildir + "message-1.json");
    EXPECT_NE(received.find("\"rcpt_tos\": [\"bob@example.com\"]"), std::string::npos) << received;
    const std::smatch data = [&] {
        std::smatch m;
        std::regex_search(received, m, std::regex(R"re("data_base64": "([^"]+)")re"));
        return m;
    }();
    ASSERT_FALSE(data.empty());
    const std::string message = QByteArray::fromBase64(QByteArray::fromStdString(data[1])).toStdString();
    EXPECT_NE(message.find("Subject: 2 new ads for Desks\r\n"), std::string::npos) << message.substr(0, 600);
    EXPECT_NE(message.find("new ads.html"), std::string::npos);
}

// Run Now in the open window: once the run over the site has ended, the window shows its result and time.
TEST_F(WatchRun, TheOpenWindowShowsTheResultOfRunNow)
{
    fs::create_directories(folder + "watch");
    writeFile(folder + "watch/Desks.watch", "interval=60\r\n");
    startShell();
    watch::startWatching();
    std::string before;
    std::string after;
    std::string result;
    whenWindowOpens("watchWindow", [&](QWidget* window) {
        auto* lastRun = window->findChild<QLabel*>("lastRunLabel");
        auto* resultField = window->findChild<QLineEdit*>("resultField");
        before = lastRun->text().toStdString();
        window->findChild<QPushButton*>("runNowButton")->click();
        EXPECT_TRUE(processEventsUntil([&] { return !resultField->text().isEmpty(); }, 60000));
        result = resultField->text().toStdString();
        after = lastRun->text().toStdString();
        window->findChild<QPushButton*>("exitButton")->click();
    });
    shell::dispatchCommand(shell::watchCommand);
    EXPECT_EQ(before, "Last run: never");
    EXPECT_EQ(result, "0 new ads");
    EXPECT_EQ(after, "Last run: " + watch::formatLocalTime(*watch::readWatch("Desks")->lastRun));
}

} // namespace
