#pragma once

#include <string>

namespace mail {

// The text shown for a status code of the security library: empty for success, a fixed phrase for each known
// code, "Unknown error code: N" for anything else.
std::string securityStatusText(int status);

} // namespace mail
