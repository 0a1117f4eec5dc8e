#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

} // namespace
