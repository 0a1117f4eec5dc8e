#include "platform/programfolder.h"

#include <climits>
#include <cstdlib>

namespace platform {

std::string executableFolder()
{
    char resolved[PATH_MAX];
    if (::realpath("/proc/self/exe", resolved) == nullptr)
        return {};
    std::string path(resolved);
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace platform
