#pragma once

#include <string>

namespace platform {

// The folder of the running executable with symlinks resolved, ending in "/". Empty if it can't be told.
std::string executableFolder();

} // namespace platform
