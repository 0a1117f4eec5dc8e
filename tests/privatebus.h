#pragma once
// A session bus of the test's own (dbus-daemon on a private socket), and the notification service stand-in on it.
// The process under test finds the bus through DBUS_SESSION_BUS_ADDRESS, set before anything connects.

#include "testfolder.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

inline pid_t spawnProcess(std::vector<std::string> args, int stdoutFd = -1)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// SIGTERM, two seconds, then SIGKILL.
inline void stopProcess(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

class PrivateBus {
public:
    // Starts the bus and points DBUS_SESSION_BUS_ADDRESS at it; started() says whether it came up within 10 s.
    PrivateBus()
        : m_folder(makeTestFolder("qb-bus"))
    {
        // A session bus of its own kind: no service directories, so nothing installed on the machine (a
        // notification daemon, say) can be started on it behind the test's back.
        const std::string config = m_folder + "bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>session</type><listen>unix:path="
                              << m_folder << "bus</listen><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                 "<allow own=\"*\"/></policy></busconfig>\n";
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = spawnProcess({"/usr/bin/dbus-daemon", "--config-file=" + config, "--nofork", "--print-address"},
                             out[1]);
        ::close(out[1]);
        pollfd wait{out[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 10000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n')
            m_address += c;
        ::close(out[0]);
        if (!m_address.empty())
            ::setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
    }
    ~PrivateBus()
    {
        stopProcess(m_pid);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool started() const { return m_pid > 0 && !m_address.empty(); }
    pid_t pid() const { return m_pid; }

private:
    std::string m_folder;
    std::string m_address;
    pid_t m_pid = -1;
};
