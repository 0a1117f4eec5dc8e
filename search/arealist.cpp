#include "search/arealist.h"

#include "platform/files.h"
#include "platform/linereader.h"

namespace search {

std::string areaListFile(const std::string& name)
{
    return "citydata/" + name + ".city";
}

std::optional<std::vector<std::string>> readAreaList(const std::string& path)
{
    if (platform::isDirectory(path))
        return std::nullopt;
    platform::LineReader file(path);
    if (!file.isOpen())
        return std::nullopt;
    std::vector<std::string> lines;
    do {
        lines.push_back(file.readLine());
    } while (!file.atEnd());
    return lines;
}

bool writeAreaList(const std::string& path, const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines)
        if (!line.empty())
            bytes += line + "\r\n";
    return platform::writeFileAtomically(path, bytes);
}

} // namespace search
