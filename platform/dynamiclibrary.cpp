#include "platform/dynamiclibrary.h"

#include <dlfcn.h>

namespace platform {

void* loadLibrary(const std::string& path)
{
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* lookUpEntryPoint(void* library, const char* name)
{
    return library ? ::dlsym(library, name) : nullptr;
}

void unloadLibrary(void* library)
{
    if (library)
        ::dlclose(library);
}

} // namespace platform
