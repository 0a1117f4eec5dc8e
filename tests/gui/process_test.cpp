// The program as a separate process: the single-instance handshake, SIGTERM and a missing display.

#include "shellfixture.h"
#include "testfolder.h"

#include "platform/processend.h"
#include "platform/singleinstance.h"
#include "platform/trayicon.h"
#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>

namespace fs = std::filesystem;

namespace {

const QString stagedProgram = QString(QB_STAGE_DIR) + "quillobrand";

int runToEnd(QProcess& process, int timeoutMs)
{
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1000;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2000;
}

TEST_F(ShellTest, SecondStartRestoresTheFirstFromTheTrayAndEnds)
{
    platform::setTrayAvailableOverride(true);
    platform::InstanceServer server;
    ASSERT_TRUE(platform::becomeFirstInstance(server, platform::instanceName(), shell::restoreCommand,
                                              [](int command) { shell::dispatchCommand(command); }));
    startShell();
    shell::requestClose();
    ASSERT_FALSE(shell::mainWindow->isVisible());

    QProcess second;
    second.start(stagedProgram, {});
    EXPECT_EQ(runToEnd(second, 60000), 0);
    EXPECT_TRUE(processEventsUntil([] { return shell::mainWindow->isVisible(); }));
    EXPECT_FALSE(shell::trayIcon);

    // Visible already: another start changes nothing here and ends too.
    QProcess third;
    third.start(stagedProgram, {});
    EXPECT_EQ(runToEnd(third, 60000), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(shell::mainWindow->isVisible());
    EXPECT_EQ(endCalls, 0);
}

TEST(SingleInstance, AStaleNameLeftByACrashDoesNotBlockTheNextStart)
{
    const std::string name = platform::instanceName();
    const std::string socketPath = QDir::tempPath().toStdString() + "/" + name;
    // A socket file nobody listens on, as a killed instance leaves it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(fs::exists(socketPath));

    std::vector<int> received;
    platform::InstanceServer server;
    ASSERT_TRUE(platform::becomeFirstInstance(server, name, 4, [&](int command) { received.push_back(command); }));
    EXPECT_FALSE(platform::becomeFirstInstance(*std::make_unique<platform::InstanceServer>(), name, 4, {}))
        << "now someone answers";
    EXPECT_TRUE(processEventsUntil([&] { return received == std::vector<int>{4}; }, 5000));
}

// Whether the process has a handler for the signal (the SigCgt mask of /proc/PID/status).
bool catchesSignal(qint64 pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

class ProgramProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-process");
        // A copy of the program in a folder of its own, kept portable, so its files are the test's.
        fs::copy_file(stagedProgram.toStdString(), folder + "quillobrand");
        writeFile(folder + "portable", "");
        writeFile(folder + "settings.ini",
                  "[Settings]\nhomePageUrl=http://127.0.0.1:9/\nbannerUrl=http://127.0.0.1:9/b\n");
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string folder;
};

TEST_F(ProgramProcess, TerminationEndsAtOnceWithoutSaving)
{
    const std::string sixBytes("\1\0\0\0\2\0", 6);
    writeFile(folder + "Quillobrand.cfg", sixBytes);
    QProcess program;
    // As on a desktop session, which has a runtime folder.
    fs::create_directory(folder + "runtime");
    fs::permissions(folder + "runtime", fs::perms::owner_all);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(folder + "runtime"));
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString(folder + "quillobrand"), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    const std::string socketPath = QDir::tempPath().toStdString() + "/" + platform::instanceName();
    ASSERT_TRUE(processEventsUntil([&] { return fs::exists(socketPath); }, 30000));
    ASSERT_TRUE(
        processEventsUntil([&] { return platform::sendToRunningInstance(platform::instanceName(), 0); }, 30000));
    // SIGTERM is the log-off only once the program catches it, which it does when its main window is made.
    ASSERT_TRUE(processEventsUntil([&] { return catchesSignal(program.processId(), SIGTERM); }, 30000));
    program.terminate(); // SIGTERM, as at log-off
    EXPECT_EQ(runToEnd(program, 15000), 0);
    EXPECT_EQ(readFile(folder + "Quillobrand.cfg"), sixBytes) << "nothing is saved";
    EXPECT_EQ(program.readAllStandardError().toStdString(), "") << "a normal run prints nothing";
    EXPECT_EQ(program.readAllStandardOutput().toStdString(), "");
}

struct NoDisplayCase {
    const char* name;
    const char* display; // nullptr: not set
    const char* saying;
};

class WithoutADisplay : public ProgramProcess, public ::testing::WithParamInterface<NoDisplayCase> { };

TEST_P(WithoutADisplay, ItSaysSoInOneLineAndEndsWithStatusOne)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    if (GetParam().display)
        env.insert("DISPLAY", GetParam().display);
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString(folder + "quillobrand"), {});
    EXPECT_EQ(runToEnd(program, 20000), 1);
    const QString message = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(message.contains(GetParam().saying)) << message.toStdString();
    EXPECT_EQ(message.trimmed().count('\n'), 0) << "one line";
}

INSTANTIATE_TEST_SUITE_P(Displays, WithoutADisplay,
                         ::testing::Values(NoDisplayCase{"notSet", nullptr, "no display"},
                                           NoDisplayCase{"unreachable", ":4711", "\":4711\" can't be reached"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST_F(ShellTest, TerminationWhileASecondaryWindowIsOpenEndsAtOnceWithoutSaving)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The ending runs in a child process that starts this test afresh; both use the parent's folder.
    if (const char* shared = std::getenv("QB_SHARED_PROGRAM_FOLDER"))
        shell::programFolder = folder = shared;
    else
        ::setenv("QB_SHARED_PROGRAM_FOLDER", folder.c_str(), 1);
    const std::string sixBytes("\1\0\0\0\2\0", 6);
    writeFile(folder + "Quillobrand.cfg", sixBytes);

    EXPECT_EXIT(
        {
            platform::setProcessEndHook({}); // the real ending
            startShell();
            whenModalOpens([](QWidget*) {
                shell::programConfig.trayMode = 1; // a change that an orderly exit would save
                ::raise(SIGTERM);
            });
            shell::toolbar.programOptions->click();
            std::exit(3); // not reached when the ending works
        },
        ::testing::ExitedWithCode(0), "");
    ::unsetenv("QB_SHARED_PROGRAM_FOLDER");
    EXPECT_EQ(readFile(folder + "Quillobrand.cfg"), sixBytes);
}

} // namespace
