#pragma once
// A test peer (a small server script) run on a free loopback port for the life of the object: started with
// /usr/bin/python3, it writes its port to a file it renames into place; stopped with SIGTERM, then SIGKILL.

#include "testfolder.h"

#include <fcntl.h>
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

class PeerProcess {
public:
    // Runs /usr/bin/python3 script --port-file FOLDER/port args...; folder() is the peer's own scratch folder.
    PeerProcess(const std::string& script, std::vector<std::string> args, const char* folderPrefix = "qb-peer")
        : folder_(makeTestFolder(folderPrefix))
    {
        const std::string portFile = folder_ + "port";
        std::vector<std::string> all = {"/usr/bin/python3", script, "--port-file", portFile};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        // Its "listening" line would only clutter the test output; errors still go to stderr.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(portFile);
            if (in >> port_ && port_ > 0)
                return;
            port_ = 0;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1; // died before listening
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ~PeerProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            if (waitForExit(std::chrono::seconds(2)) < 0) {
                ::kill(pid_, SIGKILL);
                int status = 0;
                ::waitpid(pid_, &status, 0);
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Waits up to timeout for the peer to end by itself: its exit status, or -1 while it still runs.
    int waitForExit(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pid_ > 0) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (done < 0 || std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool started() const { return pid_ > 0 && port_ > 0; }
    int port() const { return port_; }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};
