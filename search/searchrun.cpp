#include "search/searchrun.h"

#include "search/adlist.h"
#include "search/adpictures.h"
#include "search/adstore.h"

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
#include <ctime>
#include <utility>
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

std::string escapeText(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// What the whole run shares from city to city.
struct RunState {
    std::string resultsPath;
    std::string scheme;
    std::string domain;
    std::string mainCode;
    std::vector<std::string> excluded;
    StoreRun* store = nullptr;
    int cityPosition = 0; // the pass of the city being read
    ListedBefore listedBefore;
    std::vector<std::string> cityNames; // upper-case codes by the index ListedBefore keeps
    bool recordListed = true; // false for the run's last city: no later city can fold into it
    bool styleWritten = false;
    bool anyListed = false; // some city's page gave a list for the memory
    RunOutcome* outcome = nullptr;
};

void writeText(std::FILE* file, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), file);
}

// How one ad of today's list is written.
struct AdVerdict {
    enum Kind { shown, folded, leftOut, hidden } kind = shown;
    int earlierCity = -1;
    bool isNew = false;
    std::string oldPrice; // as text, when its whole-number price fell since the store last had it
    AdMarks marks;
};

// The item of a shown ad with the user's marks and a fallen price: "&#9733; " (a star) before the title, the old
// price struck through after the new one, the note on a line of its own. An ad without any is written exactly as
// adItemHtml writes it.
std::string markedItemHtml(const ListedAd& ad, const std::optional<std::string>& link, std::string_view picture,
                           const AdVerdict& verdict)
{
    if (!verdict.marks.starred && verdict.marks.note.empty() && verdict.oldPrice.empty())
        return adItemHtml(ad, link, picture, verdict.isNew);
    ListedAd marked = ad;
    if (!verdict.oldPrice.empty())
        marked.price += " <s>" + escapeText(verdict.oldPrice) + "</s>";
    std::string item = adItemHtml(marked, link, picture, verdict.isNew);
    if (verdict.marks.starred) {
        // The title follows the picture and the NEW mark, as adItemHtml lays them out.
        std::string before = "<p class=\"ad\">";
        if (!picture.empty())
            before += "<img src=\"" + std::string(picture) + "\" loading=\"lazy\" alt=\"\"> ";
        if (verdict.isNew)
            before += "<b>NEW</b> ";
        if (item.starts_with(before))
            item.insert(before.size(), "&#9733; ");
    }
    if (!verdict.marks.note.empty()) {
        std::string note = escapeText(verdict.marks.note);
        replaceAll(note, "\r\n", "<br>");
        replaceAll(note, "\n", "<br>");
        replaceAll(note, "\r", "<br>");
        item.insert(item.size() - 4, "<br><i class=\"note\">" + note + "</i>");
    }
    return item;
}

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
        if (m_run.store)
            verdict.marks = m_run.store->marksOf(id);
        // A hidden ad is out of the page altogether, its cross-posts too: never NEW, never cheaper.
        if (verdict.marks.hidden) {
            verdict.kind = AdVerdict::hidden;
            return verdict;
        }
        if (earlier >= 0 && earlier < m_cityIndex) {
            verdict.kind = AdVerdict::folded;
            verdict.earlierCity = earlier;
            return verdict;
        }
        verdict.isNew = m_run.store && m_run.store->isNew(m_cityCode, id);
        if (m_run.store && !verdict.isNew && !id.empty()) {
            const KnownPrice* last = m_run.store->lastPrice(id);
            const std::optional<std::int64_t> now = last ? priceAsWholeNumber(htmlToText(ad.price)) : std::nullopt;
            if (now && *now < last->number)
                verdict.oldPrice = last->shown;
        }
        return verdict;
    }

    // How many of the list's ads will be marked NEW, and how many shown cheaper.
    std::pair<int, int> countMarks(platform::LineReader& page, std::string firstPiece, bool pieceEnded)
    {
        std::pair<int, int> counts;
        AdListReader reader([&](const ListedAd& listed) {
            const ListedAd ad = adjusted(listed);
            const AdVerdict verdict = verdictFor(ad, postIdOf(ad.link));
            counts.first += verdict.isNew ? 1 : 0;
            counts.second += verdict.kind == AdVerdict::shown && !verdict.oldPrice.empty() ? 1 : 0;
        });
        readList(page, std::move(firstPiece), pieceEnded, reader);
        return counts;
    }

    // Writes the content line, an ad at a time as the list is read.
    void write(std::FILE* results, platform::LineReader& page, std::string firstPiece, bool pieceEnded,
               AdPictures& pictures, std::pair<int, int> counts)
    {
        const auto [newCount, cheaperCount] = counts;
        if (newCount > 0 && cheaperCount > 0)
            writeText(results, "<p>" + std::to_string(newCount) + " new, " + std::to_string(cheaperCount) + " cheaper</p>");
        else if (newCount > 0)
            writeText(results, "<p>" + std::to_string(newCount) + " new</p>");
        else if (cheaperCount > 0)
            writeText(results, "<p>" + std::to_string(cheaperCount) + " cheaper</p>");
        int leftOut = 0;
        int hidden = 0;
        int position = 0;
        std::vector<std::uint64_t> keys; // this city's, recorded once it is done: a city never folds into itself
        AdListReader reader([&](const ListedAd& listed) {
            const ListedAd ad = adjusted(listed);
            const std::string_view id = postIdOf(ad.link);
            const AdVerdict verdict = verdictFor(ad, id);
            const std::optional<std::string> link = absoluteAdLink(ad.link, m_run.scheme, m_cityHost);
            RunAd kept;
            if (m_run.store) {
                kept.key = id;
                kept.link = link.value_or("");
                kept.title = htmlToText(ad.title);
                kept.price = htmlToText(ad.price);
                kept.place = htmlToText(ad.place);
                kept.pagePosition = position;
                kept.isNew = verdict.isNew;
                kept.oldPrice = verdict.oldPrice;
                kept.kind = verdict.kind == AdVerdict::folded ? RunAd::folded
                    : verdict.kind == AdVerdict::leftOut      ? RunAd::excluded
                                                              : RunAd::shown;
            }
            ++position;
            if (verdict.kind == AdVerdict::leftOut || verdict.kind == AdVerdict::hidden) {
                ++(verdict.kind == AdVerdict::leftOut ? leftOut : hidden);
                if (m_run.store)
                    m_run.store->noteAd(kept);
                return;
            }
            if (verdict.kind == AdVerdict::folded) {
                if (m_run.store)
                    m_run.store->noteAd(kept);
                writeText(results, alsoUnderHtml(m_run.cityNames[verdict.earlierCity], link, ad.title));
                return;
            }
            if (m_run.recordListed) {
                if (!id.empty())
                    keys.push_back(hashOfId(id));
                keys.push_back(adFingerprint(ad));
            }
            const std::string titleText = htmlToText(ad.title);
            const std::string picture = pictures.pictureFor(titleText, ad.price);
            const std::string item = markedItemHtml(ad, link, picture, verdict);
            writeText(results, item);
            if (m_run.store) {
                kept.picture = picture;
                m_run.store->noteAd(kept);
            }
            if (verdict.isNew) {
                ++m_run.outcome->newCount;
                m_run.outcome->newAds.push_back(
                    {m_cityCode, item, titleText, htmlToText(ad.price), htmlToText(ad.place), link.value_or(""), ""});
            } else if (!verdict.oldPrice.empty()) {
                ++m_run.outcome->cheaperCount;
                m_run.outcome->cheaperAds.push_back({m_cityCode, item, titleText, htmlToText(ad.price),
                                                     htmlToText(ad.place), link.value_or(""), verdict.oldPrice});
            }
        });
        const bool whole = readList(page, std::move(firstPiece), pieceEnded, reader);
        if (leftOut > 0)
            writeText(results, "<p class=\"left-out\">" + std::to_string(leftOut) + " left out by excluded words</p>");
        if (hidden > 0)
            writeText(results, "<p class=\"hidden\">" + std::to_string(hidden) + " hidden</p>");
        if (!whole) {
            // The answer ended before the list did: the ads cut off must not be forgotten by the memory.
            writeText(results, notSearchedLine("the site's answer was cut short"));
            if (reader.adCount() > 0 && !m_run.styleWritten) {
                writeText(results, adListStyle);
                m_run.styleWritten = true;
            }
            writeText(results, "\r\n");
        } else if (reader.adCount() > 0) {
            // The page's one style element, after the first list of ads: the ads in the normal text size inside the
            // heading that every city's heading line leaves open.
            writeText(results, m_run.styleWritten ? "<br>\r\n" : "<br>" + std::string(adListStyle) + "\r\n");
            m_run.styleWritten = true;
        } else if (reader.sawSeeAlso())
            writeText(results, "<p>Nothing found.</p>\r\n");
        m_gaveList = whole && (reader.adCount() > 0 || reader.sawSeeAlso());
        for (std::uint64_t key : keys)
            m_run.listedBefore.add(key, m_cityIndex);
    }

    // The page gave a list the memory can take: ads, or none besides the "see also" item.
    bool gaveList() const { return m_gaveList; }

private:
    // Feeds the list that starts in firstPiece to reader, piece by piece, up to its end or the page's. False when
    // the page ended first.
    static bool readList(platform::LineReader& page, std::string piece, bool pieceEnded, AdListReader& reader)
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
        const bool ended = reader.listEnded();
        reader.finish();
        return ended;
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

// What became of a city's page.
struct BlockWritten {
    bool written = false; // the block reached the results page
    bool notRead = false; // the page held neither a list of today's shape nor a marker of the old one
};

// A city's block, for a page downloaded to downloadPath.
BlockWritten appendBlock(RunState& run, const std::string& downloadPath, const std::string& cityCode)
{
    BlockWritten block;
    std::FILE* results = std::fopen(run.resultsPath.c_str(), "abe");
    if (!results)
        return block;
    writeText(results, cityHeadingLine(cityCode, run.scheme, run.domain) + "\r\n");
    if (run.store)
        run.store->beginCity(cityCode, run.cityPosition);
    bool gaveList = false;

    AdPictures pictures;
    platform::LineReader page(downloadPath);
    int linesRead = 0;
    bool known = false; // a list or a marker was found
    while (page.isOpen() && !page.atEnd()) {
        std::string line;
        const bool ended = page.readPiece(line, scanPieceBytes);
        if (++linesRead <= pausedLinesPerPage)
            platform::sleepOneMillisecond();
        // The pictures' JSON holds the ads' names, which may hold a marker's words; it is never a marker line, but
        // the list may follow it on its line. One too long to take whole gives no pictures and is passed over.
        if (AdPictures::isPicturesLine(line)) {
            if (ended)
                pictures.parse(line);
            else
                finishLine(page, line, false);
            if (!ended || !startsAdList(line))
                continue;
        }
        // The list's tag is looked for first: an ad's title on the list's line may hold a marker's words.
        if (startsAdList(line)) {
            // Today's shape: no marker of the old one can follow, so the scan ends here and the list is read on
            // without pauses. The count of new ads stands before the ads, so it takes a read of its own.
            CityList list(run, cityCode);
            std::pair<int, int> counts;
            if (run.store && (run.store->cityHasMemory(cityCode) || run.store->knowsPrices())) {
                platform::LineReader again(downloadPath);
                std::string skipped;
                for (int at = 1; at < linesRead && !again.atEnd(); ++at)
                    finishLine(again, skipped, false);
                std::string first;
                const bool firstEnded = again.readPiece(first, scanPieceBytes);
                counts = list.countMarks(again, std::move(first), firstEnded);
            }
            list.write(results, page, std::move(line), ended, pictures, counts);
            gaveList = list.gaveList();
            known = true;
            break;
        }
        if (isMarkerLine(line)) {
            if (!ended)
                finishLine(page, line, true);
            // A "LOCAL results found." line alone ends the scan and leaves the block with its heading only.
            const std::string content = contentLineFor(line, cityCode, run.scheme, run.domain);
            if (!content.empty())
                writeText(results, content + "\r\n");
            known = true;
            break;
        }
        if (!ended)
            finishLine(page, line, false);
    }
    if (!known) {
        // A page of a form this program does not know would otherwise look like a city without ads, for ever.
        writeText(results, std::string(notReadLine) + "\r\n");
        block.notRead = true;
    }
    const bool failed = std::ferror(results) != 0;
    const int why = errno; // what a failed write met, before anything else can change it
    if (run.store) {
        run.store->endCity(gaveList);
        run.anyListed = run.anyListed || gaveList;
    }
    errno = why;
    block.written = closeResults(results, failed);
    return block;
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

std::string notReadMessage(const RunOutcome& outcome)
{
    return "The site answered " + std::to_string(outcome.notReadCount) + " of " + std::to_string(outcome.citiesAsked)
        + " cities with pages that Quillobrand could not read. The site may have changed its pages; the user guide"
          " says what to do.";
}

std::string refusalMessage(const RunOutcome& outcome)
{
    return "The site refused the search for " + asciiUpper(outcome.refusedCity) + " (HTTP "
        + std::to_string(outcome.refusedStatus)
        + "). It may be limiting searches from this computer for a while, so the search stopped after "
        + std::to_string(outcome.refusedPass) + " of " + std::to_string(outcome.lineCount)
        + " cities. Try again later.";
}

std::string memoryNotSavedMessage(const RunOutcome& outcome)
{
    return "The list of ads already seen could not be saved: " + outcome.memoryFailure
        + ". The same ads will be marked new next time.";
}

std::string storeTooNewMessage()
{
    return "The ads kept in ads.db were written by a newer version of Quillobrand, so this version leaves them as "
           "they are: this search's ads were not remembered.";
}

void appendCityResults(const std::string& downloadPath, const std::string& cityCode, StoreRun* store)
{
    RunOutcome outcome;
    RunState run;
    run.resultsPath = shell::resultsPagePath;
    run.scheme = platform::settings().siteScheme;
    run.domain = platform::settings().siteDomain;
    run.store = store;
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
    // The tail names the search (its memory); the address asked is the site's own unless the settings say otherwise.
    const std::string tail = buildSearchTail(search, mainCode, settings.siteDomain);
    const std::string areaQuery = buildAreaQuery(search, mainCode);
    const bool askCityHost = settings.urlForm == "city";
    platform::useFineTimer();
    if (hooks.handlePendingEvents)
        hooks.handlePendingEvents();

    // This thread's connection: the builder's runs and the watch's runs each have their own.
    StoreStatus storeStatus = StoreStatus::failed;
    std::string storeError;
    AdStore* adStore = threadStore(&storeStatus, &storeError);
    outcome.storeTooNew = storeStatus == StoreStatus::newerVersion;
    StoreRun store;
    store.begin(adStore, tail, static_cast<std::int64_t>(std::time(nullptr)));
    RunState run;
    run.resultsPath = files.resultsPath;
    run.scheme = settings.siteScheme;
    run.domain = settings.siteDomain;
    run.mainCode = mainCode;
    run.excluded = excludedWords(search.words);
    run.store = &store;
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
            run.cityPosition = pass;
            const std::int64_t pageBefore = std::max<std::int64_t>(platform::regularFileSize(files.resultsPath), 0);
            const std::string url = askCityHost ? buildCityUrl(cityCode, tail, run.scheme)
                                                : buildAreaUrl(cityCode, areaQuery, run.scheme, run.domain);
            const int result = downloader.download(url, files.downloadPath);
            ++outcome.citiesAsked;
            bool written;
            if (result == 0 && platform::regularFileSize(files.downloadPath) > 0) {
                const BlockWritten block = appendBlock(run, files.downloadPath, cityCode);
                written = block.written;
                (block.notRead ? outcome.notReadCount : outcome.pagesRead) += 1;
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
    // A results page that lost a block would make the memory disagree with what the user saw. A newer store is
    // left alone on purpose, and says so itself.
    if (!outcome.pageComplete)
        store.abandon();
    else if (run.anyListed && !outcome.storeTooNew && !store.finish()) {
        outcome.memoryNotSaved = true;
        outcome.memoryFailure = !adStore ? storeError : store.failure();
        if (outcome.memoryFailure.empty())
            outcome.memoryFailure = "the ad store could not be written";
    }
    return outcome;
}

} // namespace search
