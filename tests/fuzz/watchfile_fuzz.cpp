// A watch file of any bytes: rewritten, it keeps every line it does not know in its place, reads back the values
// it was read with, and a second rewrite changes nothing.

#include "fuzzcheck.h"

#include "watch/watchfile.h"

#include <string>
#include <vector>

namespace {

bool isKnownKeyLine(std::string_view line)
{
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return false;
    const std::string_view key = line.substr(0, equals);
    return key == "interval" || key == "mailTo" || key == "profile" || key == "lastRun" || key == "lastResult";
}

std::vector<std::string> unknownLines(const watch::WatchFile& file)
{
    std::vector<std::string> lines;
    for (const std::string& line : file.lines)
        if (!isKnownKeyLine(line))
            lines.push_back(line);
    return lines;
}

bool sameValues(const watch::WatchFile& a, const watch::WatchFile& b)
{
    return a.interval == b.interval && a.mailTo == b.mailTo && a.profile == b.profile && a.lastRun == b.lastRun
        && a.lastResult == b.lastResult;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const watch::WatchFile read = watch::decodeWatch(bytes);
    FUZZ_CHECK(read.interval >= watch::minimumInterval && read.interval <= watch::maximumInterval,
               "an interval out of its range");
    const std::string rewritten = watch::encodeWatch(read);
    FUZZ_CHECK(rewritten.ends_with("\r\n"), "a rewrite without its last line end");
    const watch::WatchFile again = watch::decodeWatch(rewritten);
    FUZZ_CHECK(unknownLines(again) == unknownLines(read), "a line the program does not know was lost or moved");
    FUZZ_CHECK(sameValues(again, read), "a rewrite reads back other values");
    FUZZ_CHECK(watch::encodeWatch(again) == rewritten, "a second rewrite changes the file");

    // Values set by the program, line breaks and all, stay one line each.
    watch::WatchFile changed = read;
    changed.lastResult = std::string(bytes.substr(0, 40));
    changed.mailTo = std::string(bytes.substr(bytes.size() / 2, 30));
    changed.lastRun = std::int64_t(size) * 86'399;
    const watch::WatchFile changedBack = watch::decodeWatch(watch::encodeWatch(changed));
    FUZZ_CHECK(unknownLines(changedBack) == unknownLines(read), "a line the program does not know was lost");
    FUZZ_CHECK(changedBack.lastRun == changed.lastRun, "the last run's time does not read back");
    return 0;
}
