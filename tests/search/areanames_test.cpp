#include "search/arealist.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using Places = std::map<std::string, std::string>;

struct NamesCase {
    const char* name;
    std::string bytes;
    Places places;
};

class AreaNames : public ::testing::TestWithParam<NamesCase> { };

TEST_P(AreaNames, FromTheSitesList)
{
    EXPECT_EQ(search::decodeAreaNames(GetParam().bytes), GetParam().places);
}

const std::string header = "code\tname\tsection\tsubsection\n";

INSTANTIATE_TEST_SUITE_P(
    Files, AreaNames,
    ::testing::Values(
        NamesCase{"nameAndSubsection",
                  header + "bgky\tbowling green\tUS\tKentucky\nabilene\tabilene\tUS\tTexas\n",
                  {{"bgky", "bowling green, Kentucky"}, {"abilene", "abilene, Texas"}}},
        NamesCase{"crLfAndNoLastLineEnd",
                  "code\tname\tsection\tsubsection\r\nbgky\tbowling green\tUS\tKentucky",
                  {{"bgky", "bowling green, Kentucky"}}},
        NamesCase{"byteOrderMarkAndEmptyLines",
                  "\xEF\xBB\xBF" + header + "\n\nzagreb\tzagreb\tEurope\tCroatia\n\n",
                  {{"zagreb", "zagreb, Croatia"}}},
        NamesCase{"sectionForAnEmptySubsection",
                  header + "guam\tguam-micronesia\tOceania\t\n",
                  {{"guam", "guam-micronesia, Oceania"}}},
        NamesCase{"utf8Kept",
                  header
                      + "montreal\tmontr\xC3\xA9"
                        "al\tCanada\tQuebec\n",
                  {{"montreal",
                    "montr\xC3\xA9"
                    "al, Quebec"}}},
        NamesCase{"noHeaderIsDamaged", "bgky\tbowling green\tUS\tKentucky\n", {}},
        NamesCase{"otherHeaderIsDamaged", "code\tname\n" + std::string("bgky\tbowling green\n"), {}},
        NamesCase{"shortLineIsDamaged", header + "bgky\tbowling green\tUS\tKentucky\nabilene\tabilene\tUS\n", {}},
        NamesCase{"longLineIsDamaged", header + "bgky\tbowling green\tUS\tKentucky\tmore\n", {}},
        NamesCase{"lineWithoutCodeIsDamaged", header + "\tbowling green\tUS\tKentucky\n", {}},
        NamesCase{"emptyFile", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AreaLabel, CodeThenPlaceOrTheCodeAlone)
{
    const Places places{{"bgky", "bowling green, Kentucky"}, {"blank", ""}};
    EXPECT_EQ(search::areaLabel("bgky", places), "bgky \xE2\x80\x94 bowling green, Kentucky");
    EXPECT_EQ(search::areaLabel("boston", places), "boston");
    EXPECT_EQ(search::areaLabel("blank", places), "blank");
    EXPECT_EQ(search::areaLabel("BGKY", places), "BGKY") << "codes are matched as they stand";
}

} // namespace
