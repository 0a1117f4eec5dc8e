#include "watch/watchfile.h"

#include "platform/files.h"
#include "shell/programstate.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;
using namespace watch;

namespace {

struct DecodeCase {
    const char* name;
    const char* bytes;
    int interval;
    const char* mailTo;
    const char* profile;
    std::optional<std::int64_t> lastRun;
    const char* lastResult;
};

class WatchFileDecode : public ::testing::TestWithParam<DecodeCase> { };

TEST_P(WatchFileDecode, MissingOrBadValuesGiveTheDefaults)
{
    const DecodeCase& c = GetParam();
    const WatchFile watch = decodeWatch(c.bytes);
    EXPECT_EQ(watch.interval, c.interval);
    EXPECT_EQ(watch.mailTo, c.mailTo);
    EXPECT_EQ(watch.profile, c.profile);
    EXPECT_EQ(watch.lastRun, c.lastRun);
    EXPECT_EQ(watch.lastResult, c.lastResult);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WatchFileDecode,
    ::testing::Values(
        DecodeCase{"empty", "", 60, "", "", std::nullopt, ""},
        DecodeCase{"allKeys",
                   "interval=30\r\nmailTo=me@example.org\r\nprofile=Home Mail\r\nlastRun=2024-02-29T23:59:59Z\r\n"
                   "lastResult=2 new ads; mail sent\r\n",
                   30, "me@example.org", "Home Mail", 1709251199, "2 new ads; mail sent"},
        DecodeCase{"lowestAndHighestInterval", "interval=15\r\n", 15, "", "", std::nullopt, ""},
        DecodeCase{"highestInterval", "interval=1440\n", 1440, "", "", std::nullopt, ""},
        DecodeCase{"intervalTooShort", "interval=14\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"intervalTooLong", "interval=1441\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"intervalNotANumber", "interval=30m\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"intervalNegative", "interval=-30\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"intervalEmpty", "interval=\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"intervalHugeDoesNotOverflow", "interval=99999999999999999999\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"blanksAroundNumbersAndAddress", "interval= 45 \r\nmailTo= a@b.c \r\n", 45, "a@b.c", "",
                   std::nullopt, ""},
        DecodeCase{"profileKeptAsTyped", "profile= Work \r\n", 60, "", " Work ", std::nullopt, ""},
        DecodeCase{"lastRunEpoch", "lastRun=1970-01-01T00:00:00Z\r\n", 60, "", "", 0, ""},
        DecodeCase{"lastRunWithoutZ", "lastRun=2024-01-01T10:00:00\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"lastRunNotALeapDay", "lastRun=2023-02-29T10:00:00Z\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"lastRunHour24", "lastRun=2024-01-01T24:00:00Z\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"lastRunMonth13", "lastRun=2024-13-01T10:00:00Z\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"lastRunWithOffset", "lastRun=2024-01-01T10:00:00+01:00\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"lastRunNever", "lastRun=never\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"loneCrAndLfEndLines", "interval=20\rmailTo=x@y.z\nlastResult=ok", 20, "x@y.z", "", std::nullopt,
                   "ok"},
        DecodeCase{"firstOfTwoLinesCounts", "interval=20\r\ninterval=40\r\n", 20, "", "", std::nullopt, ""},
        DecodeCase{"keysAreCaseSensitive", "Interval=20\r\nMAILTO=a@b.c\r\n", 60, "", "", std::nullopt, ""},
        DecodeCase{"valueMayHoldEquals", "lastResult=a=b\r\n", 60, "", "", std::nullopt, "a=b"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EncodeCase {
    const char* name;
    const char* before;
    const char* after; // with mailTo changed to new@example.org and a run at 2024-05-06T07:08:09Z
};

class WatchFileRewrite : public ::testing::TestWithParam<EncodeCase> { };

TEST_P(WatchFileRewrite, KeepsUnknownLinesInTheirPlace)
{
    const EncodeCase& c = GetParam();
    WatchFile watch = decodeWatch(c.before);
    watch.mailTo = "new@example.org";
    watch.lastRun = parseUtcTime("2024-05-06T07:08:09Z");
    EXPECT_EQ(encodeWatch(watch), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WatchFileRewrite,
    ::testing::Values(
        EncodeCase{"newFileHasEveryKey", "",
                   "interval=60\r\nmailTo=new@example.org\r\nprofile=\r\nlastRun=2024-05-06T07:08:09Z\r\n"
                   "lastResult=\r\n"},
        EncodeCase{"unknownKeysKeptInOrder",
                   "colour=blue\r\ninterval=30\r\n# a note\r\nmailTo=old@example.org\r\nzeta=1\r\n",
                   "colour=blue\r\ninterval=30\r\n# a note\r\nmailTo=new@example.org\r\nzeta=1\r\nprofile=\r\n"
                   "lastRun=2024-05-06T07:08:09Z\r\nlastResult=\r\n"},
        EncodeCase{"badIntervalWrittenAsDefault", "interval=5\nlastResult=refused\n",
                   "interval=60\r\nlastResult=refused\r\nmailTo=new@example.org\r\nprofile=\r\n"
                   "lastRun=2024-05-06T07:08:09Z\r\n"},
        EncodeCase{"secondLineOfAKeyDropped", "mailTo=a@b.c\r\nmailTo=d@e.f\r\n",
                   "mailTo=new@example.org\r\ninterval=60\r\nprofile=\r\nlastRun=2024-05-06T07:08:09Z\r\n"
                   "lastResult=\r\n"},
        EncodeCase{"emptyLinesDropped", "\r\n\r\nx=1\r\n\r\n",
                   "x=1\r\ninterval=60\r\nmailTo=new@example.org\r\nprofile=\r\nlastRun=2024-05-06T07:08:09Z\r\n"
                   "lastResult=\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WatchFile, NeverRunWritesNoLastRunAndAValueCannotBreakItsLine)
{
    WatchFile watch;
    watch.lastResult = "refused\r\nmailTo=evil@example.org";
    const std::string bytes = encodeWatch(watch);
    EXPECT_EQ(bytes.find("lastRun"), std::string::npos);
    const WatchFile back = decodeWatch(bytes);
    EXPECT_EQ(back.mailTo, "");
    EXPECT_EQ(back.lastResult, "refused  mailTo=evil@example.org");
}

TEST(WatchFile, UtcTimesGoBothWays)
{
    const std::pair<const char*, std::int64_t> times[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2000-02-29T12:34:56Z", 951827696},
        {"2038-01-19T03:14:08Z", 2147483648LL}, // past 32 bits
        {"1969-12-31T23:59:59Z", -1},
        {"2100-03-01T00:00:00Z", 4107542400LL}, // 2100 is no leap year
    };
    for (const auto& [text, seconds] : times) {
        EXPECT_EQ(parseUtcTime(text), seconds) << text;
        EXPECT_EQ(formatUtcTime(seconds), text);
    }
    EXPECT_EQ(parseUtcTime("2100-02-29T00:00:00Z"), std::nullopt);
}

// The same moment read in three zones, summer time included; the zone is set for the test and put back after.
TEST(WatchFile, LocalTimesReadInTheComputersZone)
{
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    const std::tuple<const char*, std::int64_t, const char*> times[] = {
        {"UTC0", 1797426000LL, "2026-12-16 13:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1797426000LL, "2026-12-16 14:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1782309600LL, "2026-06-24 16:00"},
        {"EST5EDT,M3.2.0,M11.1.0", 1797426000LL, "2026-12-16 08:00"},
        {"UTC0", 1797426059LL, "2026-12-16 13:00"}, // seconds are not shown
    };
    for (const auto& [zone, seconds, text] : times) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        EXPECT_EQ(formatLocalTime(seconds), text) << zone;
    }
    if (before)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

class WatchFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-watch");
        shell::programFolder = folder;
        fs::create_directories(folder + "savedsearch");
    }
    void TearDown() override
    {
        fs::remove_all(folder);
        shell::programFolder.clear();
    }
    void touch(const std::string& relative) { std::ofstream(folder + relative) << "x"; }
    std::string folder;
};

TEST_F(WatchFolder, WatchedWhileTheFileExistsAndTheFolderIsMadeAgain)
{
    EXPECT_FALSE(isWatched("Cars"));
    EXPECT_EQ(readWatch("Cars"), std::nullopt);
    WatchFile watch;
    watch.interval = 90;
    watch.lines = {"note=kept"};
    ASSERT_TRUE(writeWatch("Cars", watch)) << "the watch/ folder was missing";
    EXPECT_TRUE(isWatched("Cars"));
    const std::string bytes = *platform::readWholeFile(folder + "watch/Cars.watch");
    EXPECT_EQ(bytes, "note=kept\r\ninterval=90\r\nmailTo=\r\nprofile=\r\nlastResult=\r\n");
    EXPECT_EQ(readWatch("Cars")->interval, 90);
    EXPECT_TRUE(removeWatch("Cars"));
    EXPECT_FALSE(isWatched("Cars"));
    EXPECT_TRUE(removeWatch("Cars")) << "nothing left to remove is no failure";
}

TEST_F(WatchFolder, NamesTheFileSystemRefusesAreNeverWritten)
{
    for (const char* name : {"../escape", "a/b", "tab\there", "line\nbreak"}) {
        EXPECT_FALSE(writeWatch(name, WatchFile{})) << name;
        EXPECT_FALSE(isWatched(name));
    }
    EXPECT_FALSE(fs::exists(folder + "escape.watch"));
}

TEST_F(WatchFolder, AFileWhereTheFolderShouldBeFailsTheWrite)
{
    touch("watch");
    EXPECT_FALSE(writeWatch("Cars", WatchFile{}));
    EXPECT_FALSE(isWatched("Cars"));
}

TEST_F(WatchFolder, OnlyWatchesWithTheirSavedSearchRun)
{
    fs::create_directories(folder + "watch");
    touch("watch/Cars.watch");
    touch("watch/Flats.watch");
    touch("watch/notes.txt");
    fs::create_directories(folder + "watch/Bikes.watch");
    touch("savedsearch/Cars.search");
    touch("savedsearch/Boats.search");
    EXPECT_EQ(watchedSearches(), (std::vector<std::string>{"Cars", "Flats"}));
    EXPECT_EQ(activeWatches(), (std::vector<std::string>{"Cars"}));
    EXPECT_TRUE(savedSearchExists("Cars"));
    EXPECT_FALSE(savedSearchExists("Flats"));
}

struct SizeCase {
    const char* name;
    std::uintmax_t size;
    bool read;
};

class WatchFileSize : public WatchFolder, public ::testing::WithParamInterface<SizeCase> { };

TEST_P(WatchFileSize, OverSixtyFourKilobytesIsDamagedAndLeftAsItIs)
{
    const SizeCase& c = GetParam();
    fs::create_directories(folder + "watch");
    const std::string path = folder + "watch/Cars.watch";
    std::ofstream(path) << "interval=30\r\nlastResult=";
    fs::resize_file(path, c.size); // the rest is zero bytes; sparse, so 100 MB costs the disk nothing
    const auto before = fs::last_write_time(path);
    const std::optional<WatchFile> read = readWatch("Cars");
    EXPECT_EQ(read.has_value(), c.read);
    EXPECT_EQ(isDamagedWatch("Cars"), !c.read);
    EXPECT_TRUE(isWatched("Cars"));
    if (read) {
        EXPECT_EQ(read->interval, 30);
    }
    WatchFile changed;
    changed.interval = 15;
    EXPECT_EQ(writeWatch("Cars", changed), c.read);
    if (!c.read) {
        EXPECT_EQ(fs::file_size(path), c.size);
        EXPECT_EQ(fs::last_write_time(path), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WatchFileSize,
                         ::testing::Values(SizeCase{"small", 100, true}, SizeCase{"exactlyTheBound", 65536, true},
                                           SizeCase{"oneByteOver", 65537, false},
                                           SizeCase{"hundredMegabytes", 100u << 20, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
