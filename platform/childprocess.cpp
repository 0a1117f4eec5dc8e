#include "platform/childprocess.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

// Whether the process behind a pidfd has ended: the descriptor becomes readable then.
static bool hasEnded(int pidfd)
{
    pollfd ended{pidfd, POLLIN, 0};
    return ::poll(&ended, 1, 0) > 0;
}

// Children that were forgotten while they still ran, with their pidfds: reaped once they end, so none stays a
// zombie for long.
struct ForgottenChild {
    pid_t pid;
    int pidfd;
};

static std::vector<ForgottenChild>& forgottenChildren()
{
    static std::vector<ForgottenChild> children;
    return children;
}

static void reapForgottenChildren()
{
    std::erase_if(forgottenChildren(), [](const ForgottenChild& child) {
        if (!hasEnded(child.pidfd))
            return false;
        ::waitpid(child.pid, nullptr, WNOHANG);
        ::close(child.pidfd);
        return true;
    });
}

ChildProcess::~ChildProcess()
{
    forget();
}

void ChildProcess::forget()
{
    if (m_pidfd >= 0) {
        if (hasEnded(m_pidfd)) {
            ::waitpid(m_pid, nullptr, WNOHANG);
            ::close(m_pidfd);
        } else {
            forgottenChildren().push_back({m_pid, m_pidfd});
        }
    }
    m_pid = 0;
    m_pidfd = -1;
}

bool ChildProcess::start(const std::string& program, const std::string& argument, const std::string& workingFolder)
{
    forget();
    reapForgottenChildren();
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    // Its own session: a terminal's Ctrl+C or hang-up meant for this program doesn't end the help too.
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string programArgument = program;
    std::string onlyArgument = argument;
    char* arguments[] = {programArgument.data(), onlyArgument.data(), nullptr};
    pid_t pid = 0;
    // glibc reports a program that can't be run (missing, not executable) here, not as a child that exits.
    const int failed = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (failed != 0 || pid <= 0)
        return false;
    // Until this program reaps it, the child's number can't go to anyone else, so the pidfd names this child and
    // no other, whoever reaps it later.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) // a kernel without pidfds: the help runs, but nothing is remembered that could hit another
        return true;
    m_pid = pid;
    m_pidfd = pidfd;
    return true;
}

bool ChildProcess::isRunning()
{
    if (m_pidfd < 0)
        return false;
    if (!hasEnded(m_pidfd))
        return true;
    forget(); // reaps it
    return false;
}

std::optional<int> ChildProcess::exitStatus()
{
    if (m_pidfd < 0 || !hasEnded(m_pidfd))
        return std::nullopt;
    int status = 0;
    const bool reaped = ::waitpid(m_pid, &status, WNOHANG) == m_pid;
    ::close(m_pidfd);
    m_pid = 0;
    m_pidfd = -1;
    if (!reaped)
        return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::terminate()
{
    if (!isRunning())
        return false;
    // Through the pidfd, so the signal can only reach this child, whatever became of its number.
    const bool sent = ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0) == 0;
    if (sent) {
        pollfd ended{m_pidfd, POLLIN, 0};
        ::poll(&ended, 1, 1000); // a killed process ends at once; forget() reaps it when it has
    }
    forget();
    return sent;
}

} // namespace platform
