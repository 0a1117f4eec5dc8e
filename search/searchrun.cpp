#include "search/searchrun.h"

#include "platform/download.h"
#include "platform/files.h"
#include "platform/linereader.h"
#include "platform/settings.h"
#include "platform/timing.h"
#include "shell/programstate.h"

#include <cstdio>
#include <unistd.h>

namespace search {

static void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string::npos; start = found + from.size())
        result.append(text, start, found - start).append(to);
    result.append(text, start, std::string::npos);
    text.swap(result);
}

static std::string asciiUpper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

static std::string asciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string cityHeadingLine(const std::string& cityCode, const std::string& siteDomain)
{
    return "<h2><a href=http://" + cityCode + "." + siteDomain + ">" + asciiUpper(cityCode) + "</a><h4>";
}

std::string contentLineFor(const std::string& markerLine, const std::string& cityCode, const std::string& siteDomain)
{
    std::string line = markerLine;
    if (asciiLower(markerLine).find("nothing found") != std::string::npos) {
        replaceAll(line, "<hr><br>", "");
        return line;
    }
    if (markerLine.find("data-pid") != std::string::npos) {
        replaceAll(line, "<a href=\"/", "<a href=\"http://" + cityCode + "." + siteDomain + "/");
        return line + "<br>";
    }
    return {};
}

static bool isMarkerLine(const std::string& line)
{
    return line.find("data-pid") != std::string::npos || line.find("Nothing found") != std::string::npos
        || line.find("LOCAL results found.") != std::string::npos;
}

void appendCityResults(const std::string& downloadPath, const std::string& cityCode)
{
    const std::string& siteDomain = platform::settings().siteDomain;
    std::FILE* results = std::fopen(shell::resultsPagePath.c_str(), "abe");
    if (!results)
        return;
    const std::string heading = cityHeadingLine(cityCode, siteDomain) + "\r\n";
    std::fwrite(heading.data(), 1, heading.size(), results);

    platform::LineReader page(downloadPath);
    while (page.isOpen() && !page.atEnd()) {
        const std::string line = page.readLine();
        platform::sleepOneMillisecond();
        if (!isMarkerLine(line))
            continue;
        // A "LOCAL results found." line alone ends the scan and leaves the block with its heading only.
        const std::string content = contentLineFor(line, cityCode, siteDomain);
        if (!content.empty()) {
            const std::string written = content + "\r\n";
            std::fwrite(written.data(), 1, written.size(), results);
        }
        break;
    }
    std::fclose(results);
}

void runSearchPasses(const SearchDefinition& search, const std::string& mainCode, const std::string& areaListPath,
                     const RunHooks& hooks)
{
    if (platform::regularFileSize(shell::resultsPagePath) > 0)
        ::unlink(shell::resultsPagePath.c_str());

    if (!platform::isDirectory(areaListPath) && platform::regularFileSize(areaListPath) < 0) {
        if (std::FILE* created = std::fopen(areaListPath.c_str(), "abe"))
            std::fclose(created);
    }

    int lineCount = 0;
    {
        platform::LineReader counter(areaListPath);
        if (!counter.isOpen())
            return;
        do {
            counter.readLine();
            ++lineCount;
        } while (!counter.atEnd());
    }
    if (hooks.setProgressMaximum)
        hooks.setProgressMaximum(lineCount);

    const std::string tail = buildSearchTail(search, mainCode, platform::settings().siteDomain);
    const std::string downloadPath = shell::programFolder + "temp.html";
    platform::useFineTimer();
    if (hooks.handlePendingEvents)
        hooks.handlePendingEvents();

    platform::LineReader cities(areaListPath);
    for (int pass = 1; cities.isOpen(); ++pass) {
        const std::string cityCode = cities.readLine();
        if (hooks.cityStarted)
            hooks.cityStarted(cityCode, pass);
        if (platform::downloadUrlToFile(buildCityUrl(cityCode, tail), downloadPath) == 0
            && platform::regularFileSize(downloadPath) > 0)
            appendCityResults(downloadPath, cityCode);
        if (cities.atEnd())
            break;
        if (hooks.closeRequested && hooks.closeRequested())
            break;
    }
}

} // namespace search
