#include "search/searchrun.h"

#include "search/adlist.h"
#include "search/seenads.h"

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

// The pauses pace the scan of an old-shape page; a page of many short lines (20 KB of lone CRs is 20,000 lines)
// must not freeze the window for minutes, so they end after this many lines of a page.
constexpr int pausedLinesPerPage = 2000;

static void writeText(std::FILE* file, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), file);
}

// Feeds the list that starts on listLine to reader, up to its end or the page's.
static void readAdList(platform::LineReader& page, const std::string& listLine, AdListReader& reader)
{
    reader.feedLine(listLine);
    while (!reader.listEnded() && !page.atEnd())
        reader.feedLine(page.readLine());
    reader.finish();
}

// How many of the list's ads the memory doesn't hold. The count stands before the ads in the block, and the block
// is written as the list is read, so this is a read of its own, from the list's line on.
static int countNewAds(const std::string& downloadPath, int listLineNumber, const SeenAds& seen)
{
    platform::LineReader page(downloadPath);
    for (int line = 1; line < listLineNumber && !page.atEnd(); ++line)
        page.readLine();
    int count = 0;
    AdListReader reader([&](const ListedAd& ad) { count += seen.isNew(postIdOf(ad.link)) ? 1 : 0; });
    readAdList(page, page.readLine(), reader);
    return count;
}

// The content line of a page in today's shape, written an ad at a time as the list is read: the ads, then
// "<br>"; "<p>Nothing found.</p>" for a list with only its "see also" item; nothing for an empty list.
static void writeAdList(std::FILE* results, platform::LineReader& page, const std::string& listLine,
                        const std::string& cityCode, SeenAds* seen, int newCount)
{
    const std::string& siteDomain = platform::settings().siteDomain;
    if (newCount > 0)
        writeText(results, "<p>" + std::to_string(newCount) + " new</p>");
    AdListReader reader([&](const ListedAd& ad) {
        const std::string_view id = postIdOf(ad.link);
        const bool isNew = seen && seen->isNew(id);
        if (seen)
            seen->noteListed(id);
        writeText(results, adItemHtml(ad, absoluteAdLink(ad.link, "http", cityCode + "." + siteDomain), "", isNew));
    });
    readAdList(page, listLine, reader);
    if (reader.adCount() > 0)
        writeText(results, "<br>\r\n");
    else if (reader.sawSeeAlso())
        writeText(results, "<p>Nothing found.</p>\r\n");
}

void appendCityResults(const std::string& downloadPath, const std::string& cityCode, SeenAds* seen)
{
    const std::string& siteDomain = platform::settings().siteDomain;
    std::FILE* results = std::fopen(shell::resultsPagePath.c_str(), "abe");
    if (!results)
        return;
    writeText(results, cityHeadingLine(cityCode, siteDomain) + "\r\n");

    platform::LineReader page(downloadPath);
    int linesRead = 0;
    while (page.isOpen() && !page.atEnd()) {
        const std::string line = page.readLine();
        if (++linesRead <= pausedLinesPerPage)
            platform::sleepOneMillisecond();
        if (isMarkerLine(line)) {
            // A "LOCAL results found." line alone ends the scan and leaves the block with its heading only.
            const std::string content = contentLineFor(line, cityCode, siteDomain);
            if (!content.empty())
                writeText(results, content + "\r\n");
            break;
        }
        if (startsAdList(line)) {
            // Today's shape: no marker of the old one can follow, so the scan ends here and the list is read on
            // without pauses.
            const int newCount = seen && seen->hasMemory() ? countNewAds(downloadPath, linesRead, *seen) : 0;
            writeAdList(results, page, line, cityCode, seen, newCount);
            break;
        }
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

    SeenAds seen;
    const std::string seenPath = seenFilePath(tail);
    seen.load(seenPath);
    bool interrupted = false;

    platform::LineReader cities(areaListPath);
    for (int pass = 1; cities.isOpen(); ++pass) {
        const std::string cityCode = cities.readLine();
        if (hooks.cityStarted)
            hooks.cityStarted(cityCode, pass);
        if (platform::downloadUrlToFile(buildCityUrl(cityCode, tail), downloadPath) == 0
            && platform::regularFileSize(downloadPath) > 0)
            appendCityResults(downloadPath, cityCode, &seen);
        if (cities.atEnd())
            break;
        if (hooks.closeRequested && hooks.closeRequested()) {
            interrupted = true;
            break;
        }
    }
    if (seen.listedCount() > 0)
        seen.save(seenPath, interrupted);
}

} // namespace search
