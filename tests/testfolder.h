#pragma once
// A fresh folder per test under $TMPDIR, ending in "/".

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
