#include "platform/processend.h"

#include <cstdio>
#include <unistd.h>

namespace platform {

static std::function<void(int)>& processEndHook()
{
    static std::function<void(int)> hook;
    return hook;
}

void endProcessNow(int exitCode)
{
    if (processEndHook()) {
        processEndHook()(exitCode);
        return;
    }
    std::fflush(nullptr);
    ::_exit(exitCode);
}

void setProcessEndHook(std::function<void(int)> hook)
{
    processEndHook() = std::move(hook);
}

} // namespace platform
