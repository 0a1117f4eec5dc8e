// Saved searches and area lists, byte for byte.

#include "search/arealist.h"
#include "search/savedsearch.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using search::SearchDefinition;

namespace {

class SearchFiles : public ::testing::Test {
protected:
    void SetUp() override { folder = makeTestFolder("qb-searchfiles"); }
    void TearDown() override { std::filesystem::remove_all(folder); }
    void write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(folder + name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name)
    {
        std::ifstream in(folder + name, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    std::string folder;
};

std::string int32Bytes(std::int32_t value)
{
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((static_cast<std::uint32_t>(value) >> shift) & 0xFF);
    return bytes;
}

TEST_F(SearchFiles, EmptySearchIsTenLineEndsAndThirteenIntegers)
{
    const std::string bytes = search::encodeSavedSearch(SearchDefinition{});
    EXPECT_EQ(bytes.size(), 72u);
    EXPECT_EQ(bytes,
              "\r\n\r\n\r\n\r\n\r\n" + std::string(44, '\0') + "\r\n\r\n" + std::string(8, '\0') + "\r\n\r\n\r\n");
}

TEST_F(SearchFiles, EveryItemInItsPlace)
{
    SearchDefinition s;
    s.categoryCode = "sss";
    s.words = "red car";
    s.areaListName = "Major Cities";
    s.priceMin = "1";
    s.priceMax = "2";
    s.titleOnly = 1;
    s.hasPicture = 1;
    s.payAll = 1;
    s.nonProfit = 1;
    s.rentMin = "r1";
    s.rentMax = "r2";
    s.dogsOk = 1;
    s.bedrooms = "3";
    s.ageMin = "20";
    s.ageMax = "-7";
    s.contract = -2;
    const std::string expected = "sss\r\nred car\r\nMajor Cities\r\n1\r\n2\r\n" + int32Bytes(1) + int32Bytes(0)
        + int32Bytes(1) + int32Bytes(0) + int32Bytes(0) + int32Bytes(1) + int32Bytes(0) + int32Bytes(-2) + int32Bytes(0)
        + int32Bytes(0) + int32Bytes(1) + "r1\r\nr2\r\n" + int32Bytes(0) + int32Bytes(1) + "3\r\n20\r\n-7\r\n";
    EXPECT_EQ(search::encodeSavedSearch(s), expected);
    ASSERT_TRUE(search::writeSavedSearch(folder + "red.search", s));
    EXPECT_EQ(read("red.search"), expected);
    EXPECT_EQ(search::readSavedSearch(folder + "red.search"), s);
}

TEST_F(SearchFiles, IntegerBytesThatLookLikeLineEndsStayIntegers)
{
    SearchDefinition s;
    s.words = "w";
    s.titleOnly = 0x0A0D0A0D;
    s.entirePost = 13;
    s.hasPicture = 10;
    s.rentMin = "x";
    ASSERT_TRUE(search::writeSavedSearch(folder + "a.search", s));
    EXPECT_EQ(search::readSavedSearch(folder + "a.search"), s);
}

TEST_F(SearchFiles, ShortFileReadsEmptyTextsAndZeros)
{
    // Three texts, one of them with a lone CR, and one and a half integers.
    write("short.search", "hhh\rtwo bed\nEast\r\n" + std::string("\r\n", 2) + "p\r\n" + int32Bytes(1) + "\x01\x00");
    const auto s = search::readSavedSearch(folder + "short.search");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->categoryCode, "hhh");
    EXPECT_EQ(s->words, "two bed");
    EXPECT_EQ(s->areaListName, "East");
    EXPECT_EQ(s->priceMin, "");
    EXPECT_EQ(s->priceMax, "p");
    EXPECT_EQ(s->titleOnly, 1);
    EXPECT_EQ(s->entirePost, 0);
    EXPECT_EQ(s->rentMin, "");
    EXPECT_EQ(s->ageMax, "");
    EXPECT_FALSE(search::readSavedSearch(folder + "missing.search"));
}

TEST_F(SearchFiles, SaveReplacesAndNeverLeavesASibling)
{
    write("x.search", std::string(500, 'z'));
    ASSERT_TRUE(search::writeSavedSearch(folder + "x.search", SearchDefinition{}));
    EXPECT_EQ(read("x.search").size(), 72u);
    EXPECT_FALSE(search::writeSavedSearch(folder + "no/such/folder.search", SearchDefinition{}));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 1);
}

struct AreaReadCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

class AreaListRead : public SearchFiles, public ::testing::WithParamInterface<AreaReadCase> { };

TEST_P(AreaListRead, GivesEveryLine)
{
    write("a.city", GetParam().bytes);
    EXPECT_EQ(search::readAreaList(folder + "a.city"), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, AreaListRead,
                         ::testing::Values(AreaReadCase{"crlf", "boston\r\nchicago\r\n", {"boston", "chicago"}},
                                           AreaReadCase{"noFinalLineEnd", "boston\r\nchicago", {"boston", "chicago"}},
                                           AreaReadCase{"loneCrAndLf", "a\rb\nc", {"a", "b", "c"}},
                                           AreaReadCase{"emptyFile", "", {""}},
                                           AreaReadCase{"emptyLineKept", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                                           AreaReadCase{"blanksKept", " a \r\n", {" a "}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SearchFiles, AreaListWritesNonEmptyLinesWithCrLf)
{
    ASSERT_TRUE(search::writeAreaList(folder + "East.city", {"boston", "", "newyork", "philadelphia"}));
    EXPECT_EQ(read("East.city"), "boston\r\nnewyork\r\nphiladelphia\r\n");
    ASSERT_TRUE(search::writeAreaList(folder + "East.city", {""}));
    EXPECT_EQ(read("East.city"), "");
    EXPECT_FALSE(search::readAreaList(folder + "missing.city"));
    EXPECT_FALSE(search::readAreaList(folder));
    EXPECT_EQ(search::areaListFile("all cities"), "citydata/all cities.city");
    EXPECT_EQ(search::savedSearchFile("Last Search"), "savedsearch/Last Search.search");
}

} // namespace
