#pragma once

#include <string>

namespace platform {

// The MIME type the system's database gives a file name ending in "." + extension, judged by the name alone;
// "application/octet-stream" when the extension is empty or unknown. Needs no application object.
std::string mimeTypeForExtension(const std::string& extension);

} // namespace platform
