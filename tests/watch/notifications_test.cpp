// Notifications through a stand-in notification service on a private session bus that the test starts itself.

#include "platform/notifications.h"
#include "privatebus.h"
#include "testfolder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool eventsUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

std::vector<std::string> linesOf(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// One private bus for the test process: the program's connection to the session bus is made once.
PrivateBus* privateBus = nullptr;

class Notifications : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateBus->started());
        folder = makeTestFolder("qb-notify");
    }
    void TearDown() override
    {
        stopProcess(peerPid);
        fs::remove_all(folder);
    }

    void startPeer(std::vector<std::string> options)
    {
        std::vector<std::string> args
            = {"/usr/bin/python3", QB_NOTIFY_PEER, "--record", folder + "calls.json", "--ready-file", folder + "ready"};
        args.insert(args.end(), options.begin(), options.end());
        peerPid = spawnProcess(args);
        ASSERT_GT(peerPid, 0);
        ASSERT_TRUE(eventsUntil([&] { return fs::exists(folder + "ready"); })) << "the peer did not start";
    }

    std::string folder;
    pid_t peerPid = -1;
};

TEST_F(Notifications, WithoutTheServiceNothingIsSent)
{
    EXPECT_FALSE(platform::notificationsAvailable());
    EXPECT_EQ(platform::showNotification("1 new ad", "Cars: 1 new in BOSTON", [] {}), 0u);
}

struct MarkupCase {
    const char* name;
    const char* capabilities;
    const char* recordedBody;
};

class NotificationBody : public Notifications, public ::testing::WithParamInterface<MarkupCase> { };

TEST_P(NotificationBody, IsRecordedAsSentAndEscapedOnlyForMarkup)
{
    startPeer({"--capabilities", GetParam().capabilities});
    EXPECT_TRUE(platform::notificationsAvailable());
    EXPECT_GT(platform::showNotification("2 new ads", "Tom & Jerry: 2 new in <B>", [] {}), 0u);
    const std::vector<std::string> calls = linesOf(folder + "calls.json");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0],
              std::string(R"({"id": 1, "app_name": "Quillobrand", "summary": "2 new ads", "body": ")")
                  + GetParam().recordedBody + R"(", "actions": ["default", "Show"], "expire_timeout": -1})");
}

INSTANTIATE_TEST_SUITE_P(Table, NotificationBody,
                         ::testing::Values(MarkupCase{"plain", "actions,body", "Tom & Jerry: 2 new in <B>"},
                                           MarkupCase{"markup", "actions,body,body-markup",
                                                      "Tom &amp; Jerry: 2 new in &lt;B&gt;"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Notifications, TheDefaultActionComesBackForOurNotificationOnly)
{
    startPeer({"--invoke-default"});
    int invoked = 0;
    ASSERT_EQ(platform::showNotification("1 new ad", "Cars: 1 new in BOSTON", [&] { ++invoked; }), 1u);
    EXPECT_TRUE(eventsUntil([&] { return invoked > 0; }));
    // The peer also sent the action for someone else's id 1001, and closed ours: nothing more arrives.
    ASSERT_GT(platform::showNotification("1 new ad", "Cars: 1 new in AUSTIN", [&] { invoked += 10; }), 0u);
    EXPECT_TRUE(eventsUntil([&] { return invoked > 1; }));
    EXPECT_EQ(invoked, 11);
}

TEST_F(Notifications, TheDefaultActionWhenTheTestAsks)
{
    startPeer({"--invoke-when", folder + "click"});
    bool invoked = false;
    ASSERT_GT(platform::showNotification("3 new ads", "Flats: 3 new in SFBAY", [&] { invoked = true; }), 0u);
    std::ofstream(folder + "click") << "now";
    EXPECT_TRUE(eventsUntil([&] { return invoked; }));
}

// Another program on the same bus sends the service's signals for our notification: a click or a close from
// anyone but the service that showed it is not taken.
struct IntruderCase {
    const char* name;
    const char* signal;
    QVariantList arguments;
};

class IntruderSignals : public Notifications, public ::testing::WithParamInterface<IntruderCase> { };

TEST_P(IntruderSignals, AreIgnoredAndTheServiceStillReachesUs)
{
    startPeer({"--invoke-when", folder + "click"});
    int invoked = 0;
    const std::uint32_t id = platform::showNotification("1 new ad", "Cars: 1 new in BOSTON", [&] { ++invoked; });
    ASSERT_EQ(id, 1u);

    QDBusConnection intruder
        = QDBusConnection::connectToBus(QString::fromLocal8Bit(std::getenv("DBUS_SESSION_BUS_ADDRESS")), "intruder");
    ASSERT_TRUE(intruder.isConnected());
    // The intruder's last signal reaches a timer of ours: by then its signals before it have been handled too.
    QTimer marker;
    marker.setSingleShot(true);
    bool markerSeen = false;
    QObject::connect(&marker, &QTimer::timeout, [&] { markerSeen = true; });
    ASSERT_TRUE(
        QDBusConnection::sessionBus().connect(QString(), "/test", "test.Marker", "Done", &marker, SLOT(start())));
    QDBusMessage forged = QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                                     GetParam().signal);
    forged.setArguments(GetParam().arguments);
    ASSERT_TRUE(intruder.send(forged));
    ASSERT_TRUE(intruder.send(QDBusMessage::createSignal("/test", "test.Marker", "Done")));
    EXPECT_TRUE(eventsUntil([&] { return markerSeen; }));
    EXPECT_EQ(invoked, 0);

    std::ofstream(folder + "click") << "now";
    EXPECT_TRUE(eventsUntil([&] { return invoked > 0; })) << "the service's own click still counts";
    EXPECT_EQ(invoked, 1);
    QDBusConnection::disconnectFromBus("intruder");
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntruderSignals,
    ::testing::Values(IntruderCase{"click", "ActionInvoked", {QVariant::fromValue(1u), QString("default")}},
                      IntruderCase{"close", "NotificationClosed", {QVariant::fromValue(1u), QVariant::fromValue(2u)}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    PrivateBus bus; // before the program's first connection to the session bus
    privateBus = &bus;
    return RUN_ALL_TESTS();
}
