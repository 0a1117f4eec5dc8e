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

// Children that were forgotten while they still ran: reaped when they end, so none stays a zombie for long.
static std::vector<pid_t>& forgottenChildren()
{
    static std::vector<pid_t> children;
    return children;
}

static void reapForgottenChildren()
{
    std::vector<pid_t>& children = forgottenChildren();
    std::erase_if(children, [](pid_t pid) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        return done == pid || (done < 0 && errno == ECHILD);
    });
}

ChildProcess::~ChildProcess()
{
    forget();
}

void ChildProcess::forget()
{
    if (m_pid > 0) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == 0)
            forgottenChildren().push_back(m_pid);
    }
    if (m_pidfd >= 0)
        ::close(m_pidfd);
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
    m_pid = pid;
    // Until this program reaps it, the child's number can't go to anyone else, so the pidfd names this child.
    m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    return true;
}

bool ChildProcess::isRunning()
{
    if (m_pid <= 0)
        return false;
    const pid_t done = ::waitpid(m_pid, nullptr, WNOHANG);
    if (done == 0)
        return true;
    // Ended (and now reaped), or reaped by someone else: the number is no longer ours.
    if (m_pidfd >= 0)
        ::close(m_pidfd);
    m_pid = 0;
    m_pidfd = -1;
    return false;
}

bool ChildProcess::terminate()
{
    if (!isRunning())
        return false;
    // Through the pidfd, the signal can only reach this child, whatever happened to its number.
    const bool sent = m_pidfd >= 0 ? ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0) == 0
                                   : ::kill(m_pid, SIGKILL) == 0;
    if (sent) {
        pollfd ended{m_pidfd, POLLIN, 0};
        if (m_pidfd >= 0)
            ::poll(&ended, 1, 1000); // a killed process ends at once; it is reaped below when it has
    }
    forget();
    return sent;
}

} // namespace platform
