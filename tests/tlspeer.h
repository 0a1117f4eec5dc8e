#pragma once
// Test certificates (tools/tls-peer/make-certs.sh) and a scripted TLS server (tools/tls-peer/scripted_tls.py) run
// on a free loopback port for the life of the object.

#include "peerprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

// A private CA and the server certificates signed by it (see make-certs.sh), made once per process by shared().
class TestCertificates {
public:
    TestCertificates()
        : folder_(makeTestFolder("qb-certs"))
    {
        // Five RSA keys take a second or two; a minute means something is wrong.
        const std::string command
            = "timeout 60 /bin/bash '" + std::string(QB_MAKE_CERTS) + "' '" + folder_ + "' >/dev/null";
        const int status = std::system(command.c_str());
        made_ = status == 0 && std::filesystem::exists(renewedKey());
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
    std::string renewedCert() const { return folder_ + "renewed.pem"; }
    std::string renewedKey() const { return folder_ + "renewed.key"; }

private:
    std::string folder_;
    bool made_ = false;
};

// The arguments of tools/smtp-peer/smtp_server.py for the window tests' mail server: TLS with the shared
// certificates, the user "ann" with the password "secret", each message written into maildir.
inline std::vector<std::string> smtpPeerArguments(const std::string& maildir)
{
    const TestCertificates& certificates = TestCertificates::shared();
    return {"--cert",     certificates.serverCert(),
            "--key",      certificates.serverKey(),
            "--maildir",  maildir,
            "--user",     "ann",
            "--password", "secret"};
}

// scripted_tls.py with the given script (JSON text), serving up to `connections` connections.
class ScriptedTlsPeer {
public:
    // extraArgs: more of the peer's options, such as "--plain" (clear text until a "starttls" action).
    ScriptedTlsPeer(const std::string& scriptJson, const std::string& certFile, const std::string& keyFile,
                    int connections = 1, const std::vector<std::string>& extraArgs = {})
        : folder_(withScript(makeTestFolder("qb-tls-peer"), scriptJson))
        , peer_(QB_TLS_PEER,
                withExtra({"--cert", certFile, "--key", keyFile, "--script", folder_ + "script.json", "--log",
                           folder_ + "log.jsonl", "--data-dir", folder_ + "data/", "--connections",
                           std::to_string(connections)},
                          extraArgs),
                "qb-tls-port")
    {
    }

    ~ScriptedTlsPeer()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    ScriptedTlsPeer(const ScriptedTlsPeer&) = delete;
    ScriptedTlsPeer& operator=(const ScriptedTlsPeer&) = delete;

    bool started() const { return peer_.started(); }
    int port() const { return peer_.port(); }
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
    int waitForExit(std::chrono::milliseconds timeout) { return peer_.waitForExit(timeout); }

private:
    static std::vector<std::string> withExtra(std::vector<std::string> args, const std::vector<std::string>& extra)
    {
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    static std::string withScript(std::string folder, const std::string& scriptJson)
    {
        std::ofstream(folder + "script.json", std::ios::binary) << scriptJson;
        return folder;
    }
    std::string logFile() const { return folder_ + "log.jsonl"; }

    std::string folder_; // before peer_: the peer starts with its script already in place
    PeerProcess peer_;
};

// Building the peer's scripts: JSON actions as text.
namespace tlsscript {

// A JSON string literal of the text, with CR, LF, quotes and backslashes escaped.
inline std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

// {"send": text} with further members (", \"delay\": 3") appended.
inline std::string sendAction(const std::string& text, const std::string& extra = "")
{
    return "{\"send\": " + quoted(text) + extra + "}";
}

inline const char* const recvLine = "{\"recv\": \"line\"}";
inline const char* const recvData = "{\"recv\": \"data\"}";

inline std::string scriptOf(const std::vector<std::string>& actions)
{
    std::string text = "[";
    for (size_t i = 0; i < actions.size(); ++i)
        text += (i ? ", " : "") + actions[i];
    return text + "]";
}

// The actions of a whole accepted SMTP dialogue with n recipients: the greeting at once, then one received line
// (the message's data before the reply after DATA) before each reply: EHLO, AUTH LOGIN, user, password,
// MAIL FROM, RCPT TO x n, DATA, message, QUIT. Reply number k is action 2k.
inline std::vector<std::string> acceptingSmtpScript(int recipients)
{
    std::vector<std::string> replies = {"220 smtp.localhost ready\r\n",
                                        "250-smtp.localhost\r\n250 AUTH LOGIN\r\n",
                                        "334 VXNlcm5hbWU6\r\n",
                                        "334 UGFzc3dvcmQ6\r\n",
                                        "235 ok\r\n",
                                        "250 ok\r\n"};
    for (int i = 0; i < recipients; ++i)
        replies.push_back("250 ok\r\n");
    for (const char* reply : {"354 go ahead\r\n", "250 queued\r\n", "221 bye\r\n"})
        replies.push_back(reply);
    std::vector<std::string> actions = {sendAction(replies[0])};
    for (size_t i = 1; i < replies.size(); ++i) {
        actions.push_back(i == replies.size() - 2 ? recvData : recvLine);
        actions.push_back(sendAction(replies[i]));
    }
    return actions;
}

} // namespace tlsscript
