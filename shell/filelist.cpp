#include "shell/filelist.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace shell {

static std::string withoutEvery(std::string name, const std::string& part)
{
    if (part.empty())
        return name;
    for (size_t at = name.find(part); at != std::string::npos; at = name.find(part, at))
        name.erase(at, part.size());
    return name;
}

// The matching file names in one folder, appended to names.
static void collectNames(const std::string& folderPath, const std::string& extension, std::vector<std::string>& names)
{
    DIR* folder = ::opendir(folderPath.c_str());
    if (!folder)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        if (name.size() < extension.size()
            || name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        struct stat info { };
        const std::string path = folderPath + (folderPath.empty() || folderPath.back() == '/' ? "" : "/") + name;
        if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
            continue;
        names.push_back(std::move(name));
    }
    ::closedir(folder);
}

std::vector<std::string> listDataFiles(const std::string& folderPath, const std::string& extension)
{
    return listDataFiles(std::vector<std::string>{folderPath}, extension);
}

std::vector<std::string> listDataFiles(const std::vector<std::string>& folderPaths, const std::string& extension)
{
    std::vector<std::string> names;
    for (const std::string& folderPath : folderPaths)
        collectNames(folderPath, extension, names);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (std::string& name : names)
        name = withoutEvery(std::move(name), extension);
    return names;
}

} // namespace shell
