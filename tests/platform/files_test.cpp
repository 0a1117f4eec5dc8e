#include "platform/files.h"
#include "platform/linereader.h"

#include <gtest/gtest.h>

#include "testfolder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(Files, SizeOfRegularFilesOnly)
{
    const fs::path folder = fs::temp_directory_path() / ("qb-files-" + std::to_string(::getpid()));
    fs::create_directories(folder / "dir.html");
    std::ofstream(folder / "empty");
    std::ofstream(folder / "one") << "x";
    EXPECT_EQ(platform::regularFileSize((folder / "missing").string()), -1);
    EXPECT_EQ(platform::regularFileSize((folder / "dir.html").string()), -1);
    EXPECT_EQ(platform::regularFileSize((folder / "empty").string()), 0);
    EXPECT_EQ(platform::regularFileSize((folder / "one").string()), 1);
    EXPECT_TRUE(platform::isDirectory((folder / "dir.html").string()));
    EXPECT_FALSE(platform::readWholeFile((folder / "missing").string()).has_value());
    fs::remove_all(folder);
}

TEST(Files, AtomicWriteRoundTripsBinaryBytes)
{
    const fs::path folder = fs::temp_directory_path() / ("qb-atomic-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string path = (folder / "data.bin").string();
    std::string bytes("a\0b\r\n\xff", 6);
    ASSERT_TRUE(platform::writeFileAtomically(path, bytes));
    EXPECT_EQ(platform::readWholeFile(path).value(), bytes);
    ASSERT_TRUE(platform::writeFileAtomically(path, "z"));
    EXPECT_EQ(platform::readWholeFile(path).value(), "z");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

TEST(Files, AcceptableFileNames)
{
    struct Case {
        std::string name;
        bool accepted;
    };
    const Case cases[] = {
        {"Cars 2  3 & more ", true}, {"", true},           {"..", true},    {"caf\xc3\xa9 \x7f", true},
        {"../Last Search", false},   {"a/b", false},       {"/", false},    {std::string("a\0b", 3), false},
        {"line\r\nbreak", false},    {"tab\there", false}, {"\x1f", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::isAcceptableFileName(c.name), c.accepted) << c.name;
}

// What stands where an atomically written file goes, and what a write must do with it.
struct PlaceCase {
    const char* name;
    std::function<void(const std::string& folder, const std::string& path)> prepare;
    bool written;
    const char* contentAfter; // of the path, read through any link
    int modeAfter; // of the file the path names
    bool stillALink;
};

class AtomicWrite : public ::testing::TestWithParam<PlaceCase> { };

TEST_P(AtomicWrite, WritesThroughLinksAndLeavesReadOnlyAndSpecialFilesAlone)
{
    const std::string folder = makeTestFolder("qb-place");
    const std::string path = folder + "Quillobrand.cfg";
    GetParam().prepare(folder, path);
    ::umask(022);
    EXPECT_EQ(platform::writeFileAtomically(path, "new"), GetParam().written);
    EXPECT_EQ(platform::readWholeFile(path).value_or("(none)"), GetParam().contentAfter);
    EXPECT_EQ(modeOf(path), GetParam().modeAfter);
    EXPECT_EQ(fs::is_symlink(path), GetParam().stillALink);
    fs::remove_all(folder);
}

void writeWithMode(const std::string& path, const std::string& bytes, fs::perms mode)
{
    std::ofstream(path, std::ios::binary) << bytes;
    fs::permissions(path, mode);
}

INSTANTIATE_TEST_SUITE_P(
    Places, AtomicWrite,
    ::testing::Values(
        PlaceCase{"linkToAFileElsewhere",
                  [](const std::string& folder, const std::string& path) {
                      fs::create_directory(folder + "elsewhere");
                      writeWithMode(folder + "elsewhere/real.cfg", "old", fs::perms(0640));
                      fs::create_symlink("elsewhere/real.cfg", path);
                  },
                  true, "new", 0640, true},
        PlaceCase{
            "linkToAMissingFile",
            [](const std::string& folder, const std::string& path) { fs::create_symlink(folder + "later.cfg", path); },
            true, "new", 0644, true},
        PlaceCase{"readOnlyFile",
                  [](const std::string&, const std::string& path) { writeWithMode(path, "old", fs::perms(0444)); },
                  false, "old", 0444, false},
        PlaceCase{"privateFileKeepsItsMode",
                  [](const std::string&, const std::string& path) { writeWithMode(path, "old", fs::perms(0600)); },
                  true, "new", 0600, false},
        PlaceCase{"fifo", [](const std::string&, const std::string& path) { ::mkfifo(path.c_str(), 0644); }, false,
                  "(none)", 0644, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A line read in pieces comes back whole, no piece over the size asked for, whatever ends the lines; a line much
// longer than the reader's buffer never takes more than the piece's size.
TEST(LineReaderPieces, GiveTheLinesBack)
{
    const std::string folder = makeTestFolder("qb-pieces");
    const std::string longLine(200000, 'x');
    const std::string text = "abc\r\ndefghij\nk\rlmn\r\n" + longLine + "\n\nend";
    std::ofstream(folder + "lines.txt", std::ios::binary) << text;
    for (size_t maxBytes : {size_t(1), size_t(3), size_t(4), size_t(1000), size_t(1) << 20}) {
        platform::LineReader reader(folder + "lines.txt");
        std::vector<std::string> lines;
        while (!reader.atEnd()) {
            std::string line;
            for (bool ended = false; !ended;) {
                std::string piece;
                ended = reader.readPiece(piece, maxBytes);
                EXPECT_LE(piece.size(), maxBytes);
                EXPECT_LE(piece.capacity(), std::max<size_t>(maxBytes, 15)) << maxBytes; // 15: the string's own room
                line += piece;
            }
            lines.push_back(line);
        }
        EXPECT_EQ(lines, (std::vector<std::string>{"abc", "defghij", "k", "lmn", longLine, "", "end"})) << maxBytes;
    }
    fs::remove_all(folder);
}

// A write killed half-way, for real: the child may write 1 MB and is killed (SIGXFSZ) when it tries more.
// Returns the dead child's process id, 0 when it could not be made.
pid_t killedWrite(const std::string& path, size_t bytes)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit oneMegabyte{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &oneMegabyte);
        platform::writeFileAtomically(path, std::string(bytes, 'x'));
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFSIGNALED(status) || WTERMSIG(status) != SIGXFSZ)
        return 0;
    return child;
}

struct SiblingCase {
    const char* name;
    std::string (*fileName)(pid_t dead); // in the folder beside a.watch
    bool removed;
};

class LeftoverSiblings : public ::testing::TestWithParam<SiblingCase> { };

TEST_P(LeftoverSiblings, OnlyThoseOfProcessesGoneAreRemoved)
{
    const std::string folder = makeTestFolder("qb-siblings");
    const std::string path = folder + "a.watch";
    ASSERT_TRUE(platform::writeFileAtomically(path, "interval=30\r\n"));
    const pid_t dead = killedWrite(path, 2 << 20);
    ASSERT_GT(dead, 0) << "the write was not killed";
    const std::string left = platform::atomicSibling(path, dead);
    ASSERT_TRUE(fs::exists(left)) << "the killed write left no sibling";
    EXPECT_EQ(platform::readWholeFile(path), "interval=30\r\n") << "the old file stays whole";

    const std::string other = folder + GetParam().fileName(dead);
    if (other != left)
        std::ofstream(other) << "x";
    EXPECT_EQ(platform::removeLeftoverSiblings(folder), other == left ? 1 : GetParam().removed ? 2 : 1);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(fs::exists(other), !GetParam().removed);
    EXPECT_TRUE(fs::exists(path));
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LeftoverSiblings,
    ::testing::Values(
        SiblingCase{"theKilledOne", [](pid_t dead) { return "a.watch.new-" + std::to_string(dead); }, true},
        SiblingCase{"ofAnotherFile", [](pid_t dead) { return "b.smtp.new-" + std::to_string(dead); }, true},
        SiblingCase{"ofThisProcess", [](pid_t) { return "a.watch.new-" + std::to_string(::getpid()); }, false},
        SiblingCase{"ofARunningProcess", [](pid_t) { return std::string("a.watch.new-1"); }, false},
        SiblingCase{"noNumber", [](pid_t) { return std::string("a.watch.new-"); }, false},
        SiblingCase{"notANumber", [](pid_t dead) { return "a.watch.new-" + std::to_string(dead) + "x"; }, false},
        SiblingCase{"nameAloneIsNoSibling", [](pid_t dead) { return ".new-" + std::to_string(dead); }, false},
        SiblingCase{"theUsersFile", [](pid_t) { return std::string("a.watch.old"); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
