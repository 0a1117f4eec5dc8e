#include "search/searchrun.h"

#include "search/adlist.h"
#include "search/adpictures.h"
#include "search/seenads.h"

#include "platform/download.h"
#include "platform/files.h"
#include "platform/linereader.h"
#include "platform/settings.h"
#include "platform/timing.h"
#include "shell/programstate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace search {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string::npos; start = found + from.size())
        result.append(text, start, found - start).append(to);
    result.append(text, start, std::string::npos);
    text.swap(result);
}

std::string asciiUpper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string asciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool isMarkerLine(std::string_view line)
{
    return line.find("data-pid") != std::string_view::npos || line.find("Nothing found") != std::string_view::npos
        || line.find("LOCAL results found.") != std::string_view::npos;
}

// The pauses pace the scan of an old-shape page; a page of many short lines (20 KB of lone CRs is 20,000 lines)
// must not freeze the window for minutes, so they end after this many lines of a page.
constexpr int pausedLinesPerPage = 2000;

// The scan holds at most this much of a line. Longer lines are the pictures' JSON (which is then too big to
// use), a list of ads on one line (read on piece by piece), or an old marker line (held whole, as it is written
// whole); any other is passed over without being held.
constexpr size_t scanPieceBytes = 8 * 1024 * 1024 + 1;
// What is read at a time of a line that goes on: the rest of a list on one line, or a line passed over.
constexpr size_t restPieceBytes = 64 * 1024;

std::uint64_t hashOfId(std::string_view id)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL ^ 0x1d; // not the fingerprint's start: the two never meet
    for (char c : id)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return hash;
}

// The ads listed under the cities before the current one, by the hash of their post id and of their fingerprint:
// a set of 64-bit keys with the index of the city that listed each first. Open addressing keeps it at 10 bytes a
// key, whatever the run lists.
class ListedBefore {
public:
    // The city that listed the key first, or -1.
    int cityOf(std::uint64_t key) const
    {
        if (m_keys.empty())
            return -1;
        for (size_t i = slotOf(key);; i = (i + 1) & (m_keys.size() - 1)) {
            if (m_keys[i] == 0)
                return -1;
            if (m_keys[i] == key)
                return m_cities[i];
        }
    }
    void add(std::uint64_t key, int city)
    {
        key = key ? key : 1; // 0 marks an empty slot
        if ((m_count + 1) * 2 > m_keys.size())
            grow();
        size_t i = slotOf(key);
        for (; m_keys[i] != 0; i = (i + 1) & (m_keys.size() - 1)) {
            if (m_keys[i] == key)
                return;
        }
        m_keys[i] = key;
        m_cities[i] = static_cast<std::uint16_t>(city);
        ++m_count;
    }

private:
    size_t slotOf(std::uint64_t key) const { return (key * 0x9E3779B97F4A7C15ULL >> 20) & (m_keys.size() - 1); }
    void grow()
    {
        std::vector<std::uint64_t> keys(std::max<size_t>(1024, m_keys.size() * 2));
        std::vector<std::uint16_t> cities(keys.size());
        keys.swap(m_keys);
        cities.swap(m_cities);
        m_count = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] != 0)
                add(keys[i], cities[i]);
        }
    }
    std::vector<std::uint64_t> m_keys;
    std::vector<std::uint16_t> m_cities;
    size_t m_count = 0;
};

// What the whole run shares from city to city.
struct RunState {
    std::string resultsPath;
    std::string scheme;
    std::string domain;
    std::string mainCode;
    std::vector<std::string> excluded;
    SeenAds* seen = nullptr;
    ListedBefore listedBefore;
    std::vector<std::string> cityNames; // upper-case codes by the index ListedBefore keeps
    bool recordListed = true; // false for the run's last city: no later city can fold into it
    bool styleWritten = false;
    RunOutcome* outcome = nullptr;
};

void writeText(std::FILE* file, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), file);
}

// How one ad of today's list is written.
struct AdVerdict {
    enum Kind { shown, folded, leftOut } kind = shown;
    int earlierCity = -1;
    bool isNew = false;
};

class CityList {
public:
    CityList(RunState& run, const std::string& cityCode)
        : m_run(run)
        , m_cityCode(cityCode)
        , m_cityHost(cityCode + "." + run.domain)
        , m_cityIndex(static_cast<int>(run.cityNames.size()))
    {
    }

    // The ad as the site gives it, with what the run changes: a jobs search leaves out the "$0" the site puts on
    // every job.
    ListedAd adjusted(const ListedAd& ad) const
    {
        ListedAd copy = ad;
        if (m_run.mainCode == "jjj" && copy.price == "$0")
            copy.price.clear();
        return copy;
    }

    AdVerdict verdictFor(const ListedAd& ad, std::string_view id) const
    {
        AdVerdict verdict;
        if (!m_run.excluded.empty() && hasExcludedWord(htmlToText(ad.title), m_run.excluded)) {
            verdict.kind = AdVerdict::leftOut;
            return verdict;
        }
        int earlier = id.empty() ? -1 : m_run.listedBefore.cityOf(hashOfId(id));
        if (earlier < 0)
            earlier = m_run.listedBefore.cityOf(adFingerprint(ad));
        if (earlier >= 0 && earlier < m_cityIndex) {
            verdict.kind = AdVerdict::folded;
            verdict.earlierCity = earlier;
            return verdict;
        }
        verdict.isNew = m_run.seen && m_run.seen->isNew(m_cityCode, id);
        return verdict;
    }

    // How many of the list's ads will be marked NEW.
    int countNew(platform::LineReader& page, std::string firstPiece, bool pieceEnded)
    {
        int count = 0;
        AdListReader reader([&](const ListedAd& listed) {
            const ListedAd ad = adjusted(listed);
            count += verdictFor(ad, postIdOf(ad.link)).isNew ? 1 : 0;
        });
        readList(page, std::move(firstPiece), pieceEnded, reader);
        return count;
    }

    // Writes the content line, an ad at a time as the list is read.
    void write(std::FILE* results, platform::LineReader& page, std::string firstPiece, bool pieceEnded,
               AdPictures& pictures, int newCount)
    {
        if (newCount > 0)
            writeText(results, "<p>" + std::to_string(newCount) + " new</p>");
        int leftOut = 0;
        std::vector<std::uint64_t> keys; // this city's, recorded once it is done: a city never folds into itself
        AdListReader reader([&](const ListedAd& listed) {
            const ListedAd ad = adjusted(listed);
            const std::string_view id = postIdOf(ad.link);
            const AdVerdict verdict = verdictFor(ad, id);
            if (m_run.seen)
                m_run.seen->noteListed(id);
            if (verdict.kind == AdVerdict::leftOut) {
                ++leftOut;
                return;
            }
            const std::optional<std::string> link = absoluteAdLink(ad.link, m_run.scheme, m_cityHost);
            if (verdict.kind == AdVerdict::folded) {
                writeText(results, alsoUnderHtml(m_run.cityNames[verdict.earlierCity], link, ad.title));
                return;
            }
            if (m_run.recordListed) {
                if (!id.empty())
                    keys.push_back(hashOfId(id));
                keys.push_back(adFingerprint(ad));
            }
            const std::string titleText = htmlToText(ad.title);
            const std::string item = adItemHtml(ad, link, pictures.pictureFor(titleText), verdict.isNew);
            writeText(results, item);
            if (verdict.isNew) {
                ++m_run.outcome->newCount;
                m_run.outcome->newAds.push_back(
                    {m_cityCode, item, titleText, htmlToText(ad.price), htmlToText(ad.place), link.value_or("")});
            }
        });
        readList(page, std::move(firstPiece), pieceEnded, reader);
        if (leftOut > 0)
            writeText(results, "<p class=\"left-out\">" + std::to_string(leftOut) + " left out by excluded words</p>");
        if (reader.adCount() > 0) {
            // The page's one style element, after the first list of ads: the ads in the normal text size inside the
            // heading that every city's heading line leaves open.
            writeText(results, m_run.styleWritten ? "<br>\r\n" : "<br>" + std::string(adListStyle) + "\r\n");
            m_run.styleWritten = true;
        } else if (reader.sawSeeAlso())
            writeText(results, "<p>Nothing found.</p>\r\n");
        m_gaveList = reader.adCount() > 0 || reader.sawSeeAlso();
        for (std::uint64_t key : keys)
            m_run.listedBefore.add(key, m_cityIndex);
    }

    // The page gave a list the memory can take: ads, or none besides the "see also" item.
    bool gaveList() const { return m_gaveList; }

private:
    // Feeds the list that starts in firstPiece to reader, piece by piece, up to its end or the page's.
    static void readList(platform::LineReader& page, std::string piece, bool pieceEnded, AdListReader& reader)
    {
        for (;;) {
            reader.feedPiece(piece, pieceEnded);
            if (reader.listEnded() || (pieceEnded && page.atEnd()))
                break;
            if (piece.capacity() > restPieceBytes)
                std::string().swap(piece); // the scan's first piece may have been megabytes
            piece.clear();
            pieceEnded = page.readPiece(piece, pieceEnded ? scanPieceBytes : restPieceBytes);
        }
        reader.finish();
    }

    RunState& m_run;
    const std::string& m_cityCode;
    std::string m_cityHost;
    int m_cityIndex;
    bool m_gaveList = false;
};

// Reads on to the end of a line the scan could not hold; keep: append it to line rather than drop it.
void finishLine(platform::LineReader& page, std::string& line, bool keep)
{
    std::string rest;
    for (bool ended = false; !ended;) {
        rest.clear();
        ended = page.readPiece(rest, restPieceBytes);
        if (keep)
            line += rest;
    }
}

// Closes the results page: false when a write to it failed or the close does, errno then saying why.
bool closeResults(std::FILE* results, bool writeFailed)
{
    const int why = errno;
    if (std::fclose(results) != 0)
        return false; // the buffer's last flush met the full disk
    errno = why;
    return !writeFailed;
}

// A city's block, for a page downloaded to downloadPath. Returns false when the results page could not be
// written.
bool appendBlock(RunState& run, const std::string& downloadPath, const std::string& cityCode)
{
    std::FILE* results = std::fopen(run.resultsPath.c_str(), "abe");
    if (!results)
        return false;
    writeText(results, cityHeadingLine(cityCode, run.scheme, run.domain) + "\r\n");
    if (run.seen)
        run.seen->beginCity(cityCode);
    bool gaveList = false;

    AdPictures pictures;
    platform::LineReader page(downloadPath);
    int linesRead = 0;
    while (page.isOpen() && !page.atEnd()) {
        std::string line;
        const bool ended = page.readPiece(line, scanPieceBytes);
        if (++linesRead <= pausedLinesPerPage)
            platform::sleepOneMillisecond();
        // The pictures' JSON holds the ads' names, which may hold a marker's words; it is never a marker line. One
        // too long to take whole gives no pictures and is passed over.
        if (AdPictures::isPicturesLine(line)) {
            if (ended)
                pictures.parse(line);
            else
                finishLine(page, line, false);
            continue;
        }
        if (isMarkerLine(line)) {
            if (!ended)
                finishLine(page, line, true);
            // A "LOCAL results found." line alone ends the scan and leaves the block with its heading only.
            const std::string content = contentLineFor(line, cityCode, run.scheme, run.domain);
            if (!content.empty())
                writeText(results, content + "\r\n");
            break;
        }
        if (startsAdList(line)) {
            // Today's shape: no marker of the old one can follow, so the scan ends here and the list is read on
            // without pauses. The count of new ads stands before the ads, so it takes a read of its own.
            CityList list(run, cityCode);
            int newCount = 0;
            if (run.seen && run.seen->cityHasMemory(cityCode)) {
                platform::LineReader again(downloadPath);
                std::string skipped;
                for (int at = 1; at < linesRead && !again.atEnd(); ++at)
                    finishLine(again, skipped, false);
                std::string first;
                const bool firstEnded = again.readPiece(first, scanPieceBytes);
                newCount = list.countNew(again, std::move(first), firstEnded);
            }
            list.write(results, page, std::move(line), ended, pictures, newCount);
            gaveList = list.gaveList();
            break;
        }
        if (!ended)
            finishLine(page, line, false);
    }
    const bool failed = std::ferror(results) != 0;
    const int why = errno; // what a failed write met, before anything else can change it
    if (run.seen)
        run.seen->endCity(gaveList);
    errno = why;
    return closeResults(results, failed);
}

bool appendLine(const std::string& path, const std::string& text)
{
    std::FILE* results = std::fopen(path.c_str(), "abe");
    if (!results)
        return false;
    writeText(results, text);
    return closeResults(results, std::ferror(results) != 0);
}

// The last block, cut off where the disk filled up, goes; the room it took may hold the line that says so.
void endPageOnFullDisk(const std::string& path, std::int64_t wholeBlocksEnd)
{
    if (::truncate(path.c_str(), wholeBlocksEnd) == 0)
        appendLine(path, std::string(diskFullLine) + "\r\n");
}

} // namespace

RunFiles builderRunFiles()
{
    return {shell::resultsPagePath, shell::programFolder + "temp.html"};
}

std::string cityHeadingLine(const std::string& cityCode, const std::string& siteScheme, const std::string& siteDomain)
{
    return "<h2><a href=" + cityOrigin(cityCode, siteScheme, siteDomain) + ">" + asciiUpper(cityCode) + "</a><h4>";
}

std::string contentLineFor(const std::string& markerLine, const std::string& cityCode, const std::string& siteScheme,
                           const std::string& siteDomain)
{
    std::string line = markerLine;
    if (asciiLower(markerLine).find("nothing found") != std::string::npos) {
        replaceAll(line, "<hr><br>", "");
        return line;
    }
    if (markerLine.find("data-pid") != std::string::npos) {
        replaceAll(line, "<a href=\"/", "<a href=\"" + cityOrigin(cityCode, siteScheme, siteDomain) + "/");
        return line + "<br>";
    }
    return {};
}

std::string notSearchedLine(const std::string& reason)
{
    return "<p>Not searched: " + reason + ".</p>";
}

std::string refusalMessage(const RunOutcome& outcome)
{
    return "The site refused the search for " + asciiUpper(outcome.refusedCity) + " (HTTP "
        + std::to_string(outcome.refusedStatus)
        + "). It may be limiting searches from this computer for a while, so the search stopped after "
        + std::to_string(outcome.refusedPass) + " of " + std::to_string(outcome.lineCount)
        + " cities. Try again later.";
}

void appendCityResults(const std::string& downloadPath, const std::string& cityCode, SeenAds* seen)
{
    RunOutcome outcome;
    RunState run;
    run.resultsPath = shell::resultsPagePath;
    run.scheme = platform::settings().siteScheme;
    run.domain = platform::settings().siteDomain;
    run.seen = seen;
    run.outcome = &outcome;
    run.recordListed = false; // one city alone: nothing can fold into it
    appendBlock(run, downloadPath, cityCode);
}

RunOutcome runSearchPasses(const SearchDefinition& search, const std::string& mainCode, const std::string& areaListPath,
                           const RunHooks& hooks, const RunFiles& files)
{
    RunOutcome outcome;
    if (platform::regularFileSize(files.resultsPath) > 0)
        ::unlink(files.resultsPath.c_str());

    if (!platform::isDirectory(areaListPath) && platform::regularFileSize(areaListPath) < 0) {
        if (std::FILE* created = std::fopen(areaListPath.c_str(), "abe"))
            std::fclose(created);
    }

    {
        platform::LineReader counter(areaListPath);
        if (!counter.isOpen())
            return outcome;
        do {
            counter.readLine();
            ++outcome.lineCount;
        } while (!counter.atEnd());
    }
    if (hooks.setProgressMaximum)
        hooks.setProgressMaximum(outcome.lineCount);

    const platform::ProgramSettings& settings = platform::settings();
    const std::string tail = buildSearchTail(search, mainCode, settings.siteDomain);
    platform::useFineTimer();
    if (hooks.handlePendingEvents)
        hooks.handlePendingEvents();

    SeenAds seen;
    const std::string seenPath = seenFilePath(tail);
    seen.load(seenPath);
    RunState run;
    run.resultsPath = files.resultsPath;
    run.scheme = settings.siteScheme;
    run.domain = settings.siteDomain;
    run.mainCode = mainCode;
    run.excluded = excludedWords(search.words);
    run.seen = &seen;
    run.outcome = &outcome;

    // One handle for the whole run: the cities share its connections and TLS sessions.
    platform::Downloader downloader;
    platform::LineReader cities(areaListPath);
    for (int pass = 1; cities.isOpen(); ++pass) {
        const std::string cityCode = cities.readLine();
        outcome.passes = pass;
        if (hooks.cityStarted)
            hooks.cityStarted(cityCode, pass);
        if (!cityCode.empty()) {
            run.recordListed = pass < outcome.lineCount;
            const std::int64_t pageBefore = std::max<std::int64_t>(platform::regularFileSize(files.resultsPath), 0);
            const int result = downloader.download(buildCityUrl(cityCode, tail, run.scheme), files.downloadPath);
            bool written;
            if (result == 0 && platform::regularFileSize(files.downloadPath) > 0) {
                written = appendBlock(run, files.downloadPath, cityCode);
            } else {
                const std::string reason
                    = result == 0 ? "the site sent an empty page" : platform::downloadFailureReason(result);
                written = appendLine(files.resultsPath,
                                     cityHeadingLine(cityCode, run.scheme, run.domain) + "\r\n"
                                         + notSearchedLine(reason) + "\r\n");
            }
            const int writeError = written ? 0 : errno;
            run.cityNames.push_back(asciiUpper(cityCode));
            outcome.pageComplete = outcome.pageComplete && written;
            if (writeError == ENOSPC || writeError == EDQUOT || writeError == EFBIG) {
                endPageOnFullDisk(files.resultsPath, pageBefore);
                outcome.diskFull = true;
                outcome.interrupted = !cities.atEnd();
                break;
            }
            const int status = platform::downloadHttpStatus(result);
            if (platform::isRefusalStatus(status)) {
                // Asking on would only make the block last longer.
                outcome.refusedStatus = status;
                outcome.refusedPass = pass;
                outcome.refusedCity = cityCode;
                outcome.interrupted = !cities.atEnd();
                break;
            }
        }
        if (cities.atEnd())
            break;
        if (hooks.closeRequested && hooks.closeRequested()) {
            outcome.interrupted = true;
            break;
        }
    }
    // A results page that lost a block would make the memory disagree with what the user saw.
    errno = 0;
    if (seen.anyCityListed() && outcome.pageComplete && !seen.save(seenPath)) {
        outcome.memoryNotSaved = true;
        outcome.memoryFailure = errno != 0 ? std::strerror(errno) : "the file could not be written";
    }
    return outcome;
}

} // namespace search
