#include "pages/savedpage.h"

#include "platform/files.h"
#include "platform/linereader.h"

namespace pages {

std::string savedPageFile(const std::string& name)
{
    return "savedpages/" + name + ".html";
}

std::optional<std::string> readSavedPageForShowing(const std::string& path)
{
    if (platform::isDirectory(path))
        return std::nullopt;
    platform::LineReader file(path);
    if (!file.isOpen())
        return std::nullopt;
    std::string joined;
    while (!file.atEnd()) {
        const std::string line = file.readLine();
        if (line.find("/js/") == std::string::npos)
            joined += line;
    }
    return joined;
}

} // namespace pages
