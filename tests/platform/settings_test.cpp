#include "platform/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(Settings, IniOverridesKeyByKeyInTheSettingsSectionOnly)
{
    const platform::ProgramSettings defaults = platform::defaultSettings();
    const platform::ProgramSettings s = platform::applySettingsText(defaults,
                                                                    "; comment\r\n"
                                                                    "siteDomain = outside.example\r\n"
                                                                    "[Settings]\r\n"
                                                                    "  siteDomain =  localhost:8080  \r\n"
                                                                    "# homePageUrl=http://ignored/\n"
                                                                    "bannerUrl=http://127.0.0.1/banner.php?a=b\r"
                                                                    "unknownKey=1\n"
                                                                    "no equals sign\n"
                                                                    "[Other]\n"
                                                                    "tipAddress=ignored\n");
    EXPECT_EQ(s.siteDomain, "localhost:8080");
    EXPECT_EQ(s.bannerUrl, "http://127.0.0.1/banner.php?a=b");
    EXPECT_EQ(s.homePageUrl, defaults.homePageUrl);
    EXPECT_EQ(s.tipAddress, defaults.tipAddress);
}

TEST(Settings, DefaultsWithoutAFileAndTheBannerOnTheMakersHost)
{
    const auto folder = std::filesystem::temp_directory_path() / ("qb-settings-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const platform::ProgramSettings s = platform::loadSettings(folder.string() + "/");
    EXPECT_EQ(s.siteDomain, "craigslist.org");
    EXPECT_NE(s.bannerUrl.find("/banners/quillobrand/banner.php"), std::string::npos);

    std::ofstream(folder / "settings.ini") << "[Settings]\nhomePageUrl=http://127.0.0.1:9/\n";
    EXPECT_EQ(platform::loadSettings(folder.string() + "/").homePageUrl, "http://127.0.0.1:9/");
    std::filesystem::remove_all(folder);
}

} // namespace
