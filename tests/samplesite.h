#pragma once
// Runs tools/sample-site/sample_site.py on a free loopback port for the life of the object.

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

#ifndef QB_SAMPLE_SITE
#error "QB_SAMPLE_SITE must name sample_site.py"
#endif

extern char** environ;

class SampleSite {
public:
    explicit SampleSite(std::vector<std::string> extraArgs = {})
        : folder_(makeTestFolder("qb-sample-site"))
    {
        const std::string portFile = folder_ + "port";
        std::vector<std::string> args = {"/usr/bin/python3", QB_SAMPLE_SITE, "--port-file", portFile};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (std::string& a : args)
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
            // The server renames the file into place, so a file that is there is complete.
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

    ~SampleSite()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            bool reaped = false;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!reaped && std::chrono::steady_clock::now() < deadline) {
                int status = 0;
                reaped = ::waitpid(pid_, &status, WNOHANG) == pid_;
                if (!reaped)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (!reaped) {
                ::kill(pid_, SIGKILL);
                int status = 0;
                ::waitpid(pid_, &status, 0);
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    SampleSite(const SampleSite&) = delete;
    SampleSite& operator=(const SampleSite&) = delete;

    bool started() const { return pid_ > 0 && port_ > 0; }
    int port() const { return port_; }
    // What settings.ini's siteDomain would hold; cities are subdomains of it.
    std::string domain() const { return "localhost:" + std::to_string(port_); }
    // pathAndQuery starts with "/", e.g. "/search/sss?query=bike".
    std::string cityUrl(const std::string& city, const std::string& pathAndQuery) const
    {
        return "http://" + city + "." + domain() + pathAndQuery;
    }

private:
    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};
