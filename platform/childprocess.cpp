#include "platform/childprocess.h"

#include "platform/textcodec.h"

#include <QProcess>

#include <csignal>
#include <fstream>

namespace platform {

bool ChildProcess::start(const std::string& program, const std::string& argument, const std::string& workingFolder)
{
    // Started detached, so the program's own end never takes the child with it, and no handle must be reaped.
    QProcess process;
    process.setProgram(toWidgetText(program));
    process.setArguments({toWidgetText(argument)});
    process.setWorkingDirectory(toWidgetText(workingFolder));
    qint64 pid = 0;
    if (!process.startDetached(&pid) || pid <= 0)
        return false;
    m_pid = static_cast<pid_t>(pid);
    return true;
}

bool ChildProcess::isRunning() const
{
    if (m_pid <= 0 || ::kill(m_pid, 0) != 0)
        return false;
    // A finished child that nobody has reaped yet still answers kill(); its state letter tells.
    std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
    std::string pidField, nameAndState;
    std::getline(stat, nameAndState);
    const size_t close = nameAndState.rfind(')');
    return close == std::string::npos || close + 2 >= nameAndState.size() || nameAndState[close + 2] != 'Z';
}

void ChildProcess::terminate()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
    m_pid = 0;
}

} // namespace platform
