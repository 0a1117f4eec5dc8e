#include "search/categorytree.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using search::CategoryEntry;

namespace {

struct LevelCase {
    const char* field;
    int level;
};

class CategoryLevel : public ::testing::TestWithParam<LevelCase> { };

TEST_P(CategoryLevel, IsReadAsAWholeNumber)
{
    EXPECT_EQ(search::readLevel(GetParam().field), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Cases, CategoryLevel,
                         ::testing::Values(LevelCase{"0", 0}, LevelCase{"1", 1}, LevelCase{" \t 1", 1},
                                           LevelCase{"12abc", 12}, LevelCase{"+3", 3}, LevelCase{"-2", -2},
                                           LevelCase{"$1F", 31}, LevelCase{"$ff", 255}, LevelCase{"%101", 5},
                                           LevelCase{"%102", 2}, LevelCase{"", 0}, LevelCase{"abc", 0},
                                           LevelCase{"1 2", 1}, LevelCase{"\n1", 0}, LevelCase{"-$10", -16},
                                           LevelCase{"99999999999999", 2147483647}));

TEST(CategoryLine, SplitsAtCommasWithoutTrimming)
{
    const CategoryEntry full = search::parseCategoryLine(" For Sale , sss,0,extra,more");
    EXPECT_EQ(full.text, " For Sale ");
    EXPECT_EQ(full.code, " sss");
    EXPECT_EQ(full.level, 0);
    const CategoryEntry noCommas = search::parseCategoryLine("Alpha");
    EXPECT_EQ(noCommas.text, "Alpha");
    EXPECT_EQ(noCommas.code, "");
    EXPECT_EQ(noCommas.level, 0);
    const CategoryEntry twoFields = search::parseCategoryLine("Beta,abc");
    EXPECT_EQ(twoFields.code, "abc");
    EXPECT_EQ(search::parseCategoryLine("Beta,abc,1").level, 1);
}

std::vector<CategoryEntry> placed(std::initializer_list<int> levels)
{
    std::vector<CategoryEntry> entries;
    for (int level : levels)
        entries.push_back({"t", "c", level, -1});
    search::placeCategoryLines(entries);
    return entries;
}

std::vector<int> depthsOf(const std::vector<CategoryEntry>& entries)
{
    std::vector<int> depths;
    for (const CategoryEntry& e : entries)
        depths.push_back(e.depth);
    return depths;
}

TEST(CategoryPlacement, FollowsTheLineBefore)
{
    EXPECT_EQ(depthsOf(placed({1, 1, 0, 1})), (std::vector<int>{0, 1, 0, 1}));
    EXPECT_EQ(depthsOf(placed({0, 3, 3, 0})), (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(depthsOf(placed({0, 1, 2, 1, -4, 0})), (std::vector<int>{0, 1, 2, 1, 0, 0}));
    EXPECT_EQ(depthsOf(placed({5})), (std::vector<int>{0}));
}

class CategoryFile : public ::testing::Test {
protected:
    void SetUp() override { folder = makeTestFolder("qb-category"); }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::vector<CategoryEntry> read(const std::string& bytes)
    {
        std::ofstream(folder + "CategoryTree.dat", std::ios::binary) << bytes;
        return search::readCategoryFile(folder + "CategoryTree.dat");
    }
    std::string folder;
};

TEST_F(CategoryFile, ReadsEveryLineEndAndAZeroByte)
{
    const char bytes[] = "Alpha,sss,0\r\nBeta,abc,1\rGamma,ggg,0\nDelta,d,1\0Eps,e,0";
    const auto entries = read(std::string(bytes, sizeof bytes - 1));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1].code, "abc");
    EXPECT_EQ(entries[1].depth, 1);
    EXPECT_EQ(entries[3].code, "d");
    EXPECT_EQ(entries[4].text, "Eps");
    EXPECT_EQ(entries[4].depth, 0);
}

TEST_F(CategoryFile, EmptyFileGivesOneLineMissingFileNone)
{
    EXPECT_EQ(read("").size(), 1u);
    EXPECT_EQ(read("a,b,0\r\n").size(), 1u); // the final line break adds no line
    EXPECT_EQ(read("a,b,0\r\n\r\n").size(), 2u); // an empty line is a line of its own
    EXPECT_TRUE(search::readCategoryFile(folder + "missing.dat").empty());
}

TEST_F(CategoryFile, LinesAfterThe201stAreIgnored)
{
    std::string bytes;
    for (int i = 0; i < 250; ++i)
        bytes += "Line " + std::to_string(i) + ",c" + std::to_string(i) + ",0\r\n";
    const auto entries = read(bytes);
    ASSERT_EQ(entries.size(), 201u);
    EXPECT_EQ(entries.back().code, "c200");
    EXPECT_EQ(search::findCategory(entries, "c201"), -1);
}

TEST(CategoryLookup, FirstMatchAndItsMainLine)
{
    std::vector<CategoryEntry> entries = {
        {"Alpha", "sss", 0, 0},      {"Beta", "abc", 1, 0},  {"Gamma", "hhh", 0, 0},
        {"Beta again", "abc", 1, 0}, {"Delta", "dup", 1, 0}, {"Eps", "jjj", 0, 0},
    };
    search::placeCategoryLines(entries);
    EXPECT_EQ(search::findCategory(entries, "abc"), 1);
    EXPECT_EQ(search::findCategory(entries, "ABC"), -1);
    EXPECT_EQ(search::mainCodeAt(entries, 1, "abc"), "sss");
    EXPECT_EQ(search::mainCodeAt(entries, 0, "sss"), "sss");
    // The second "abc" line still takes the main line of the first one.
    EXPECT_EQ(search::mainCodeAt(entries, 3, "abc"), "sss");
    EXPECT_EQ(search::mainCodeAt(entries, 4, "dup"), "hhh");
    EXPECT_EQ(search::mainCodeAt(entries, 2, "dup"), "");
    // Positions past the table, as a failed look-up gives them, find nothing, an empty code included.
    EXPECT_EQ(search::mainCodeAt(entries, 7, ""), "");
    EXPECT_EQ(search::mainCodeAt(entries, 7, "nowhere"), "");
}

} // namespace
