#include "shell/config.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using shell::ProgramConfig;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

std::string fileContent(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct DecodeCase {
    const char* name;
    std::string fileBytes;
    ProgramConfig expected;
};

class ConfigDecode : public ::testing::TestWithParam<DecodeCase> { };

TEST_P(ConfigDecode, ReadsWhatIsThereAndZeroForTheRest)
{
    const ProgramConfig c = shell::decodeConfig(GetParam().fileBytes);
    EXPECT_EQ(c.expertMode, GetParam().expected.expertMode);
    EXPECT_EQ(c.defaultProfile, GetParam().expected.defaultProfile);
    EXPECT_EQ(c.trayMode, GetParam().expected.trayMode);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigDecode,
    ::testing::Values(
        DecodeCase{"empty", "", {0, 0, 0}}, DecodeCase{"sixBytes", bytes({1, 0, 0, 0, 2, 0}), {1, 2, 0}},
        DecodeCase{"oneByteOfTheLast", bytes({0, 0, 0, 0, 0, 0, 0, 0, 7}), {0, 0, 7}},
        DecodeCase{"full", bytes({1, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0}), {1, 3, 2}},
        DecodeCase{"minusOne", bytes({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), {0, -1, -1}},
        DecodeCase{"bigEndianLooking", bytes({0, 0, 0, 1, 0, 1, 0, 0, 0x10, 0x27, 0, 0}), {0x01000000, 256, 10000}},
        DecodeCase{"trailingBytesIgnored", bytes({5, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 9, 9, 9, 9}), {5, 0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigEncode, WritesTwelveLittleEndianBytes)
{
    EXPECT_EQ(shell::encodeConfig({0, 0, 1}), bytes({0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(shell::encodeConfig({1, 0, 0}), bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(shell::encodeConfig({0, 0, -1}), bytes({0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(shell::encodeConfig({-2, 513, 7}), bytes({0xFE, 0xFF, 0xFF, 0xFF, 1, 2, 0, 0, 7, 0, 0, 0}));
}

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-config");
        path = folder / "Quillobrand.cfg";
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
    fs::path path;
};

TEST_F(ConfigFile, MissingFileOrAFolderOfThatNameReadsAsZeros)
{
    ProgramConfig c = shell::readConfig(path.string());
    EXPECT_EQ(c.expertMode, 0);
    EXPECT_EQ(c.defaultProfile, 0);
    EXPECT_EQ(c.trayMode, 0);
    fs::create_directory(path);
    c = shell::readConfig(path.string());
    EXPECT_EQ(c.trayMode, 0);
}

TEST_F(ConfigFile, WriteReplacesALongerFileWithExactlyTwelveBytes)
{
    std::ofstream(path, std::ios::binary) << bytes({1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 42, 42, 42});
    ProgramConfig c = shell::readConfig(path.string());
    EXPECT_EQ(c.expertMode, 1);
    c.trayMode = 1;
    ASSERT_TRUE(shell::writeConfig(path.string(), c));
    EXPECT_EQ(fileContent(path), bytes({1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "no sibling left behind";
}

TEST_F(ConfigFile, FailedWriteKeepsTheOldFile)
{
    std::ofstream(path, std::ios::binary) << bytes({1, 0, 0, 0});
    // The sibling the new content goes to can't be created, as on a full or read-only disk.
    fs::create_directory(path.string() + ".new-" + std::to_string(::getpid()));
    EXPECT_FALSE(shell::writeConfig(path.string(), {0, 0, 2}));
    EXPECT_EQ(fileContent(path), bytes({1, 0, 0, 0}));
}

TEST_F(ConfigFile, MissingFolderWritesNothing)
{
    EXPECT_FALSE(shell::writeConfig((folder / "absent" / "Quillobrand.cfg").string(), {0, 0, 1}));
    EXPECT_FALSE(fs::exists(folder / "absent"));
}

struct PlaceReadCase {
    const char* name;
    std::function<void(const fs::path& path)> prepare;
    ProgramConfig expected;
};

class ConfigPlace : public ConfigFile, public ::testing::WithParamInterface<PlaceReadCase> { };

// Only a regular file is read, and only its first twelve bytes: the start never waits on a FIFO or reads a device
// for ever.
TEST_P(ConfigPlace, ReadsTwelveBytesFromARegularFileOnly)
{
    GetParam().prepare(path);
    auto reading = std::async(std::launch::async, [&] { return shell::readConfig(path.string()); });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the read does not end";
        // Free a reader waiting for a FIFO's writer; one reading a device for ever can only be cut short.
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0 || reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
            std::_Exit(1);
        ::close(writer);
    }
    const ProgramConfig c = reading.get();
    EXPECT_EQ(c.expertMode, GetParam().expected.expertMode);
    EXPECT_EQ(c.defaultProfile, GetParam().expected.defaultProfile);
    EXPECT_EQ(c.trayMode, GetParam().expected.trayMode);
}

INSTANTIATE_TEST_SUITE_P(
    Places, ConfigPlace,
    ::testing::Values(PlaceReadCase{"fifo", [](const fs::path& p) { ::mkfifo(p.c_str(), 0644); }, {0, 0, 0}},
                      PlaceReadCase{
                          "linkToADevice", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
