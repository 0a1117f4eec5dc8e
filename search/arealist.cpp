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

static std::vector<std::string_view> splitAt(std::string_view line, char separator)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t at = line.find(separator); at != std::string_view::npos; at = line.find(separator, start)) {
        fields.push_back(line.substr(start, at - start));
        start = at + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::map<std::string, std::string> decodeAreaNames(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::map<std::string, std::string> places;
    bool header = true;
    for (std::string_view line : splitAt(bytes, '\n')) {
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const std::vector<std::string_view> fields = splitAt(line, '\t');
        if (header) {
            if (line != "code\tname\tsection\tsubsection")
                return {};
            header = false;
            continue;
        }
        if (fields.size() != 4 || fields[0].empty())
            return {};
        const std::string_view region = fields[3].empty() ? fields[2] : fields[3];
        std::string place(fields[1]);
        if (!region.empty())
            place += (place.empty() ? "" : ", ") + std::string(region);
        places[std::string(fields[0])] = place;
    }
    return places;
}

std::map<std::string, std::string> readAreaNames(const std::string& path)
{
    const std::optional<std::string> bytes = platform::readWholeFile(path);
    return bytes ? decodeAreaNames(*bytes) : std::map<std::string, std::string>{};
}

std::string areaLabel(const std::string& code, const std::map<std::string, std::string>& places)
{
    const auto found = places.find(code);
    if (found == places.end() || found->second.empty())
        return code;
    return code + " \u2014 " + found->second;
}

} // namespace search
