#include "watch/watchfile.h"

#include "platform/files.h"
#include "search/savedsearch.h"
#include "shell/filelist.h"
#include "shell/programstate.h"
#include "watch/pending.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace watch {

namespace {

constexpr const char* knownKeys[] = {"interval", "mailTo", "profile", "lastRun", "lastResult"};

std::string_view keyOf(std::string_view line)
{
    const size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view() : line.substr(0, equals);
}

bool isKnownKey(std::string_view key)
{
    for (const char* known : knownKeys)
        if (key == known)
            return true;
    return false;
}

std::string_view trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> parseInterval(std::string_view text)
{
    text = trimmed(text);
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < minimumInterval || value > maximumInterval)
        return std::nullopt;
    return value;
}

// A value is one line: a line break in it would make a second line, read back as another key.
std::string oneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    return line;
}

std::string valueLine(const WatchFile& watch, std::string_view key)
{
    std::string value;
    if (key == "interval")
        value = std::to_string(watch.interval);
    else if (key == "mailTo")
        value = oneLine(watch.mailTo);
    else if (key == "profile")
        value = oneLine(watch.profile);
    else if (key == "lastRun")
        value = formatUtcTime(*watch.lastRun);
    else
        value = oneLine(watch.lastResult);
    return std::string(key) + "=" + value + "\r\n";
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian), after Howard Hinnant's days_from_civil.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

unsigned daysInMonth(std::int64_t year, unsigned month)
{
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::string folderPath()
{
    return shell::programFolder + "watch/";
}

} // namespace

std::string watchFile(const std::string& name)
{
    return "watch/" + name + ".watch";
}

WatchFile decodeWatch(std::string_view bytes)
{
    WatchFile watch;
    bool seen[std::size(knownKeys)] = {};
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = bytes.substr(at, end - at);
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty())
            continue;
        watch.lines.emplace_back(line);
        const std::string_view key = keyOf(line);
        const std::string_view value = line.substr(key.size() + (key.empty() ? 0 : 1));
        // The first line of a key counts, as the rewrite keeps only that one.
        size_t index = 0;
        while (index < std::size(knownKeys) && key != knownKeys[index])
            ++index;
        if (index == std::size(knownKeys) || seen[index])
            continue;
        seen[index] = true;
        if (key == "interval")
            watch.interval = parseInterval(value).value_or(defaultInterval);
        else if (key == "mailTo")
            watch.mailTo = std::string(trimmed(value));
        else if (key == "profile")
            watch.profile = std::string(value); // profile names are used as typed
        else if (key == "lastRun")
            watch.lastRun = parseUtcTime(trimmed(value));
        else
            watch.lastResult = std::string(value);
    }
    return watch;
}

std::string encodeWatch(const WatchFile& watch)
{
    std::string bytes;
    bool written[std::size(knownKeys)] = {};
    auto writeKey = [&](size_t index) {
        written[index] = true;
        if (std::string_view(knownKeys[index]) == "lastRun" && !watch.lastRun)
            return;
        bytes += valueLine(watch, knownKeys[index]);
    };
    for (const std::string& line : watch.lines) {
        const std::string_view key = keyOf(line);
        if (!isKnownKey(key)) {
            bytes += oneLine(line) + "\r\n";
            continue;
        }
        for (size_t index = 0; index < std::size(knownKeys); ++index)
            if (key == knownKeys[index] && !written[index])
                writeKey(index);
    }
    for (size_t index = 0; index < std::size(knownKeys); ++index)
        if (!written[index])
            writeKey(index);
    return bytes;
}

std::optional<std::int64_t> parseUtcTime(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SSZ
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':'
        || text[19] != 'Z')
        return std::nullopt;
    auto number = [&](size_t from, size_t count) -> std::optional<unsigned> {
        unsigned value = 0;
        for (size_t i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
        }
        return value;
    };
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month) || *hour > 23 || *minute > 59
        || *second > 59)
        return std::nullopt;
    return daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::string formatUtcTime(std::int64_t secondsSinceEpoch)
{
    std::int64_t days = secondsSinceEpoch / 86400;
    std::int64_t rest = secondsSinceEpoch % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // civil_from_days, the inverse of daysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(year), month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

std::string formatLocalTime(std::int64_t secondsSinceEpoch)
{
    const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    char text[64];
    if (!::localtime_r(&seconds, &local) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0)
        return formatUtcTime(secondsSinceEpoch);
    return text;
}

bool isWatched(const std::string& name)
{
    return platform::isAcceptableFileName(name)
        && platform::regularFileSize(shell::programFolder + watchFile(name)) >= 0;
}

std::optional<WatchFile> readWatch(const std::string& name)
{
    if (!platform::isAcceptableFileName(name))
        return std::nullopt;
    // One byte past the bound is enough to know; a file of 100 MB is never read whole.
    const auto bytes = platform::readFileStart(shell::programFolder + watchFile(name), size_t(maximumWatchBytes) + 1);
    if (!bytes || std::int64_t(bytes->size()) > maximumWatchBytes)
        return std::nullopt;
    return decodeWatch(*bytes);
}

bool isDamagedWatch(const std::string& name)
{
    return platform::isAcceptableFileName(name)
        && platform::regularFileSize(shell::programFolder + watchFile(name)) > maximumWatchBytes;
}

bool writeWatch(const std::string& name, const WatchFile& watch)
{
    if (!platform::isAcceptableFileName(name) || isDamagedWatch(name))
        return false;
    // The folder is staged empty; the user may have deleted it to forget every watch.
    if (::mkdir(folderPath().c_str(), 0777) != 0 && errno != EEXIST)
        return false;
    return platform::writeFileAtomically(shell::programFolder + watchFile(name), encodeWatch(watch));
}

bool removeWatch(const std::string& name)
{
    if (!platform::isAcceptableFileName(name))
        return true; // no such file can exist
    const std::string path = shell::programFolder + watchFile(name);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return false;
    // The ads it had not mailed yet go with it.
    writePending(name, {});
    return true;
}

bool savedSearchExists(const std::string& name)
{
    return platform::isAcceptableFileName(name)
        && platform::regularFileSize(shell::programFolder + search::savedSearchFile(name)) >= 0;
}

std::vector<std::string> watchedSearches()
{
    return shell::listDataFiles(folderPath(), ".watch");
}

std::vector<std::string> activeWatches()
{
    std::vector<std::string> active;
    for (std::string& name : watchedSearches())
        if (savedSearchExists(name))
            active.push_back(std::move(name));
    return active;
}

} // namespace watch
