#pragma once
// Test certificates (tools/tls-peer/make-certs.sh) and a scripted TLS server (tools/tls-peer/scripted_tls.py) run
// on a free loopback port for the life of the object.

#include "testfolder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef QB_TLS_PEER
#error "QB_TLS_PEER must name scripted_tls.py"
#endif
#ifndef QB_MAKE_CERTS
#error "QB_MAKE_CERTS must name make-certs.sh"
#endif

namespace tlspeer_detail {

// fork and exec argv with stdout to /dev/null; -1 when it can't start.
inline pid_t start(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            ::dup2(devNull, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits up to timeout for the child to end: its exit status, or -1 (still running or not ours).
inline int waitForExit(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 || std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// SIGTERM, a bounded wait, then SIGKILL; always reaped.
inline void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    if (waitForExit(pid, std::chrono::seconds(2)) < 0) {
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}

} // namespace tlspeer_detail

// A private CA and the server certificates signed by it (see make-certs.sh), made once per process by shared().
class TestCertificates {
public:
    TestCertificates()
        : folder_(makeTestFolder("qb-certs"))
    {
        const pid_t pid = tlspeer_detail::start({"/bin/bash", QB_MAKE_CERTS, folder_});
        if (pid < 0)
            return;
        // Four RSA keys take a second or two; a minute means something is wrong.
        const int status = tlspeer_detail::waitForExit(pid, std::chrono::seconds(60));
        if (status < 0)
            tlspeer_detail::stop(pid);
        made_ = status == 0 && std::filesystem::exists(selfSignedKey());
    }
    ~TestCertificates()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    static const TestCertificates& shared()
    {
        static const TestCertificates certificates;
        return certificates;
    }

    bool made() const { return made_; }
    std::string caFile() const { return folder_ + "ca.pem"; }
    std::string serverCert() const { return folder_ + "server.pem"; }
    std::string serverKey() const { return folder_ + "server.key"; }
    std::string otherHostCert() const { return folder_ + "otherhost.pem"; }
    std::string otherHostKey() const { return folder_ + "otherhost.key"; }
    std::string selfSignedCert() const { return folder_ + "selfsigned.pem"; }
    std::string selfSignedKey() const { return folder_ + "selfsigned.key"; }

private:
    std::string folder_;
    bool made_ = false;
};

// scripted_tls.py with the given script (JSON text), serving up to `connections` connections.
class ScriptedTlsPeer {
public:
    ScriptedTlsPeer(const std::string& scriptJson, const std::string& certFile, const std::string& keyFile,
                    int connections = 1)
        : folder_(makeTestFolder("qb-tls-peer"))
    {
        const std::string portFile = folder_ + "port";
        std::ofstream(folder_ + "script.json", std::ios::binary) << scriptJson;
        pid_ = tlspeer_detail::start({"/usr/bin/python3", QB_TLS_PEER, "--port-file", portFile, "--cert", certFile,
                                      "--key", keyFile, "--script", folder_ + "script.json", "--log", logFile(),
                                      "--data-dir", dataFolder(), "--connections", std::to_string(connections)});
        if (pid_ < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            // The server renames the file into place, so a file that is there is complete.
            std::ifstream in(portFile);
            if (in >> port_ && port_ > 0)
                return;
            port_ = 0;
            if (tlspeer_detail::waitForExit(pid_, std::chrono::milliseconds(0)) >= 0) {
                pid_ = -1; // died before listening
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ~ScriptedTlsPeer()
    {
        tlspeer_detail::stop(pid_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    ScriptedTlsPeer(const ScriptedTlsPeer&) = delete;
    ScriptedTlsPeer& operator=(const ScriptedTlsPeer&) = delete;

    bool started() const { return pid_ > 0 && port_ > 0; }
    int port() const { return port_; }
    // Where {"recv": "data"} saves message-1.eml, message-2.eml, ...
    std::string dataFolder() const { return folder_ + "data/"; }

    // The complete lines of the log so far, e.g. {"line": "EHLO x"} or {"event": "closed"}.
    std::vector<std::string> logLines() const
    {
        std::ifstream in(logFile(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> lines;
        size_t start = 0;
        // A line still being written has no newline yet; it is left for the next look.
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    // Waits up to timeout for a log line that is exactly `line`.
    bool waitForLogLine(const std::string& line, std::chrono::milliseconds timeout) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (const std::string& l : logLines())
                if (l == line)
                    return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Waits up to timeout for at least count log lines: the lines there are by then.
    std::vector<std::string> waitForLog(size_t count, std::chrono::milliseconds timeout) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::vector<std::string> lines = logLines();
            if (lines.size() >= count || std::chrono::steady_clock::now() >= deadline)
                return lines;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Waits up to timeout for the server to exit after its last connection: its exit status, or -1.
    int waitForExit(std::chrono::milliseconds timeout)
    {
        const int status = pid_ > 0 ? tlspeer_detail::waitForExit(pid_, timeout) : -1;
        if (status >= 0)
            pid_ = -1;
        return status;
    }

private:
    std::string logFile() const { return folder_ + "log.jsonl"; }

    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};
