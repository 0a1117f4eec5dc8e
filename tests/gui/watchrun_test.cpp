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
#include "storememory.h"
#include <sqlite3.h>
#include "smalldisk.h"
#include "tlspeer.h"

#include <QByteArray>
#include <QElapsedTimer>
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
    // Run Now, as the window's button does; returns the watch's last result once the run (and its mail) has ended
    // with the one expected, or the wait has.
    std::string runNow(const std::string& expected)
    {
        const watch::WatchFile before = *watch::readWatch("Desks");
        watch::windowHooks().runNow("Desks");
        processEventsUntil(
            [&] {
                const watch::WatchFile now = *watch::readWatch("Desks");
                return (now.lastRun != before.lastRun || now.lastResult != before.lastResult)
                    && now.lastResult == expected;
            },
            60000);
        return watch::readWatch("Desks")->lastResult;
    }
    void writeProfile(int port)
    {
        writeFile(folder + "smtp/Ann.smtp",
                  "Ann\r\nann@example.com\r\nlocalhost\r\nann\r\nsecret\r\n" + std::to_string(port) + "\r\n");
    }
    std::string searchTail() const
    {
        return search::buildSearchTail(definition, "sss", site.domain());
    }
    // After a first run: one ad of each city made new again by taking it out of the memory.
    void forgetAnAdOfEachCity()
    {
        std::string memory = storeMemoryText(folder + "ads.db", searchTail());
        const std::string page = readFile(folder + "watch/Desks.html");
        static const std::regex id(R"(<a href="[^"]*/([^/"]+?)(?:\.html)?">)");
        std::vector<std::string> ids;
        for (auto it = std::sregex_iterator(page.begin(), page.end(), id); it != std::sregex_iterator(); ++it)
            ids.push_back((*it)[1]);
        ASSERT_EQ(ids.size(), 8u) << page;
        for (const std::string& gone : {ids[1], ids[6]}) {
            ASSERT_NE(memory.find(gone + "\r\n"), std::string::npos);
            memory.erase(memory.find(gone + "\r\n"), gone.size() + 2);
        }
        ASSERT_TRUE(setStoreMemory(folder + "ads.db", searchTail(), memory));
    }
    size_t notifications()
    {
        const std::string calls = readFile(folder + "calls.json");
        return size_t(std::count(calls.begin(), calls.end(), '\n'));
    }
    // The message the mail server took, decoded.
    static std::string receivedMessage(const std::string& jsonPath)
    {
        const std::string received = readFile(jsonPath);
        std::smatch data;
        if (!std::regex_search(received, data, std::regex(R"re("data_base64": "([^"]+)")re")))
            return {};
        return QByteArray::fromBase64(QByteArray::fromStdString(data[1])).toStdString();
    }
    // A watch that mails Bob through Ann's profile at port, run once to make its memory, then with two ads new.
    void watchWithTwoNewAds(int port)
    {
        writeProfile(port);
        fs::create_directories(folder + "watch");
        writeFile(folder + "watch/Desks.watch", "interval=60\r\nmailTo=bob@example.com\r\nprofile=Ann\r\n");
        startShell();
        watch::startWatching();
        EXPECT_EQ(runNow("0 new ads"), "0 new ads");
        forgetAnAdOfEachCity();
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
    writeProfile(server.port());
    fs::create_directories(folder + "watch");
    writeFile(folder + "watch/Desks.watch", "interval=60\r\nmailTo=bob@example.com\r\nprofile=Ann\r\nnote=kept\r\n");
    writeFile(folder + "Last Search.html", "the builder's page");
    startShell();
    watch::startWatching();

    // The first run has no memory: nothing is new, nobody is told.
    EXPECT_EQ(runNow("0 new ads"), "0 new ads");
    ASSERT_NE(storeMemoryText(folder + "ads.db", searchTail()).find("[shelbyville]\r\n"), std::string::npos);

    // One ad of each city was not there last time.
    forgetAnAdOfEachCity();
    EXPECT_EQ(runNow("2 new ads; mail sent"), "2 new ads; mail sent");
    EXPECT_FALSE(fs::exists(folder + "watch/Desks.pending")) << "nothing left to send";
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

TEST_F(WatchRun, AFailedDigestIsSentAgainWithTheNextOne)
{
    ScriptedTlsPeer refusing(tlsscript::scriptOf({tlsscript::sendAction("554 go away\r\n")}),
                             TestCertificates::shared().serverCert(), TestCertificates::shared().serverKey());
    ASSERT_TRUE(refusing.started());
    watchWithTwoNewAds(refusing.port());
    const std::string failed
        = "2 new ads; mail failed: -996 Invalid handshake received: 554 go away; 2 ads wait for the next mail";
    EXPECT_EQ(runNow(failed), failed);
    const std::string pending = readFile(folder + "watch/Desks.pending");
    EXPECT_EQ(std::count(pending.begin(), pending.end(), '\n'), 2) << pending;

    // The next run finds nothing new, and mails the two ads all the same.
    const std::string maildir = folder + "maildir/";
    fs::create_directories(maildir);
    PeerProcess server(QB_SMTP_PEER, smtpPeerArguments(maildir));
    ASSERT_TRUE(server.started());
    writeProfile(server.port());
    EXPECT_EQ(runNow("0 new ads; mail sent"), "0 new ads; mail sent");
    EXPECT_FALSE(fs::exists(folder + "watch/Desks.pending"));
    const std::string message = receivedMessage(maildir + "message-1.json");
    EXPECT_NE(message.find("Subject: 0 new ads, 2 not sent before for Desks\r\n"), std::string::npos)
        << message.substr(0, 600);
    EXPECT_NE(message.find("Not sent before"), std::string::npos);
    EXPECT_EQ(notifications(), 1u) << "the desktop was told once, on the run that found them";
}

// Start Search and the exit don't wait for a digest's server: it is ended where it waits, with a QUIT, and its ads
// stay pending.
struct EndCase {
    const char* name;
    void (*end)();
    const char* result;
};

class WatchDigestEnded : public WatchRun, public ::testing::WithParamInterface<EndCase> { };

TEST_P(WatchDigestEnded, AtOnceWhenTheServerNeverGreets)
{
    ScriptedTlsPeer silent(tlsscript::scriptOf({tlsscript::recvLine}), TestCertificates::shared().serverCert(),
                           TestCertificates::shared().serverKey());
    ASSERT_TRUE(silent.started());
    watchWithTwoNewAds(silent.port());
    watch::windowHooks().runNow("Desks");
    // The search is over and its ads are pending (as a kill during the send would leave them) once the mail has
    // connected.
    ASSERT_TRUE(processEventsUntil(
        [&] {
            const std::vector<std::string> log = silent.logLines();
            return !log.empty() && log[0].find("connected") != std::string::npos;
        },
        60000));
    EXPECT_EQ(watch::readWatch("Desks")->lastResult, "2 new ads; 2 ads wait for the next mail");
    QElapsedTimer ending;
    ending.start();
    GetParam().end();
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(watch::readWatch("Desks")->lastResult, GetParam().result);
    const std::string pending = readFile(folder + "watch/Desks.pending");
    EXPECT_EQ(std::count(pending.begin(), pending.end(), '\n'), 2) << pending;
    EXPECT_TRUE(processEventsUntil([&] {
        const std::vector<std::string> log = silent.logLines();
        return log.size() >= 2 && log[1] == R"({"line": "QUIT"})";
    })) << "the server was told QUIT";
}

INSTANTIATE_TEST_SUITE_P(
    Table, WatchDigestEnded,
    ::testing::Values(
        EndCase{"exit", &watch::stopWatching,
                "2 new ads; mail stopped by the program before it was sent; 2 ads wait for the next mail"},
        EndCase{"startSearch",
                [] {
                    watch::beginBuilderRun();
                    watch::endBuilderRun();
                },
                "2 new ads; mail stopped by the program before it was sent; 2 ads wait for the next "
                "mail"}),
    [](const auto& info) { return std::string(info.param.name); });

// A memory that could not be saved: the same ads will be new next time, so this run tells nobody about them.
TEST_F(WatchRun, AMemoryNotSavedSendsNoAlert)
{
    const std::string maildir = folder + "maildir/";
    fs::create_directories(maildir);
    PeerProcess server(QB_SMTP_PEER, smtpPeerArguments(maildir));
    ASSERT_TRUE(server.started());
    watchWithTwoNewAds(server.port());
    // The store refuses the run's memory as it is taken in at the end, as a full disk would: the run has marked its
    // ads by then.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder + "ads.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refused BEFORE INSERT ON memory BEGIN "
                           "SELECT RAISE(ABORT, 'database or disk is full'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string line = "2 new ads; the list of ads already seen could not be saved (database or disk is full), "
                             "so nobody was told: the same ads will count as new next time";
    EXPECT_EQ(runNow(line), line);
    EXPECT_EQ(notifications(), 0u);
    EXPECT_FALSE(fs::exists(maildir + "message-1.json"));
    EXPECT_FALSE(fs::exists(folder + "watch/Desks.pending"));
}

TEST_F(WatchRun, ANotificationNobodyCouldShowIsSaid)
{
    stopProcess(peer); // no notification service, and no tray icon in the tests
    fs::create_directories(folder + "watch");
    writeFile(folder + "watch/Desks.watch", "interval=60\r\n");
    startShell();
    watch::startWatching();
    EXPECT_EQ(runNow("0 new ads"), "0 new ads");
    forgetAnAdOfEachCity();
    EXPECT_EQ(runNow("2 new ads; the notification could not be shown"),
              "2 new ads; the notification could not be shown");
}

// A watch whose every city answers with pages of an unknown form says so once, at the second run in a row.
TEST_F(WatchRun, PagesNotReadTwiceInARowNotifyOnce)
{
    writeFile(folder + "citydata/two.city", "nomarker\r\nnomarker\r\n");
    fs::create_directories(folder + "watch");
    writeFile(folder + "watch/Desks.watch", "interval=60\r\n");
    startShell();
    watch::startWatching();
    const std::string said
        = R"("summary": "Search needs attention", "body": "Desks: the site's pages could not be read")";
    for (int run = 0; run < 3; ++run) {
        // Two runs may end within one second: a cleared result tells the next one's end apart.
        watch::WatchFile file = *watch::readWatch("Desks");
        file.lastResult.clear();
        ASSERT_TRUE(watch::writeWatch("Desks", file));
        EXPECT_EQ(runNow("0 new ads; the pages of 2 of 2 cities could not be read"), "0 new ads; the pages of 2 of 2 cities could not be read") << run;
    }
    const std::string calls = fs::exists(folder + "calls.json") ? readFile(folder + "calls.json") : "";
    const size_t first = calls.find(said);
    EXPECT_NE(first, std::string::npos) << calls;
    EXPECT_EQ(calls.find(said, first + 1), std::string::npos) << calls; // once, not at the third run
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
