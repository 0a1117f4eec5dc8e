#include "platform/programfolder.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#ifndef QB_DATA_FROM_BIN
#define QB_DATA_FROM_BIN "../share/quillobrand/"
#endif
#ifndef QB_LIBRARY_FROM_BIN
#define QB_LIBRARY_FROM_BIN "../lib/x86_64-linux-gnu/quillobrand/"
#endif

namespace platform {

namespace {

bool exists(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0;
}

// "/usr/bin/../share/quillobrand/" reads as "/usr/share/quillobrand/", its trailing "/" kept.
std::string beside(const std::string& folder, const char* relative)
{
    std::string path = std::filesystem::path(folder + relative).lexically_normal().string();
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

} // namespace

std::string executablePath()
{
    char resolved[PATH_MAX];
    if (::realpath("/proc/self/exe", resolved) == nullptr)
        return {};
    return resolved;
}

std::string executableFolder()
{
    const std::string path = executablePath();
    return path.substr(0, path.rfind('/') + 1);
}

std::optional<std::string> xdgBaseFolder(const char* variable, const char* belowHome)
{
    auto absolute = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (!value || value[0] != '/')
            return std::nullopt;
        std::string folder(value);
        while (!folder.empty() && folder.back() == '/')
            folder.pop_back();
        return folder;
    };
    if (auto folder = absolute(variable))
        return folder;
    if (auto home = absolute("HOME"))
        return *home + "/" + belowHome;
    return std::nullopt;
}

ProgramFolders locateProgramFolders(const std::string& executableFolder)
{
    ProgramFolders folders;
    if (exists(executableFolder + portableMarker)) {
        folders.portable = true;
        folders.userFolder = folders.suppliedFolder = folders.libraryFolder = executableFolder;
        return folders;
    }
    if (const auto dataHome = xdgBaseFolder("XDG_DATA_HOME", ".local/share"))
        folders.userFolder = *dataHome + "/quillobrand/";
    folders.suppliedFolder = beside(executableFolder, QB_DATA_FROM_BIN);
    folders.libraryFolder = beside(executableFolder, QB_LIBRARY_FROM_BIN);
    return folders;
}

std::string& suppliedFolder()
{
    static std::string folder;
    return folder;
}

std::string suppliedFilePath(const std::string& userFolder, const std::string& relative)
{
    const std::string own = userFolder + relative;
    if (suppliedFolder().empty() || suppliedFolder() == userFolder || exists(own))
        return own;
    const std::string supplied = suppliedFolder() + relative;
    return exists(supplied) ? supplied : own;
}

std::vector<std::string> suppliedFolderPaths(const std::string& userFolder, const std::string& relative)
{
    std::vector<std::string> folders{userFolder + relative};
    if (!suppliedFolder().empty() && suppliedFolder() != userFolder)
        folders.push_back(suppliedFolder() + relative);
    return folders;
}

} // namespace platform
