#pragma once
// A fresh folder per test under $TMPDIR, ending in "/".

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

inline std::string makeTestFolder(const char* prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("can't create a folder under " + pattern);
    return pattern + "/";
}

// The permission bits of a file, or -1 when it isn't there.
inline int modeOf(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}
