#pragma once
// A program started without waiting, which the caller can test and end later.

#include <optional>
#include <string>
#include <sys/types.h>

namespace platform {

// Holds the started process as this program's own child, with a pidfd on it: a process number alone may be
// reused by the system once the child has ended, and a signal sent by number could then reach anyone.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // forgets the child; it goes on running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Forgets any earlier child (it goes on running), then starts program with the one argument in workingFolder,
    // never through a shell, in a session of its own. False, with no child remembered, when it can't start.
    // Started but not remembered on a kernel without pidfds.
    bool start(const std::string& program, const std::string& argument, const std::string& workingFolder);
    // Whether the remembered child still runs; one that has ended is reaped and forgotten.
    bool isRunning();
    // Ends the remembered child at once (like a forced termination) if it still runs, and forgets it. True when
    // it was running.
    bool terminate();
    // Once the remembered child has ended: its exit status (-1 when a signal ended it), and it is reaped and
    // forgotten. Nothing while it runs, when none is remembered, or when someone else reaped it.
    std::optional<int> exitStatus();
    // The child's process number; 0 when none is remembered.
    pid_t pid() const { return m_pid; }

private:
    void forget();

    pid_t m_pid = 0;
    int m_pidfd = -1;
};

} // namespace platform
