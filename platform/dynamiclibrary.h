#pragma once
// Run-time loading of a shared library by full path and look-up of its entry points by name.

#include <string>

namespace platform {

// A handle, or nullptr when the file can't be loaded.
void* loadLibrary(const std::string& path);
// The address of the named entry point, or nullptr when the library is absent or lacks it.
void* lookUpEntryPoint(void* library, const char* name);
void unloadLibrary(void* library);

} // namespace platform
