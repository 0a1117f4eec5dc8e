#pragma once
// A program started without waiting, which the caller can test and end later.

#include <string>
#include <sys/types.h>

namespace platform {

class ChildProcess {
public:
    // Starts program with the one argument in workingFolder, never through a shell. False when it can't start.
    bool start(const std::string& program, const std::string& argument, const std::string& workingFolder);
    bool isRunning() const;
    // Ends the process at once (like a forced termination) and forgets it.
    void terminate();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
};

} // namespace platform
