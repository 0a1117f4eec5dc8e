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

// The scheme and the address form each have one other value a test site may choose; anything else is the default.
TEST(Settings, SchemeAndAddressFormTakeOnlyTheirKnownValues)
{
    const struct {
        const char* ini;
        const char* scheme;
        const char* urlForm;
    } rows[] = {
        {"", "https", "area"},
        {"siteScheme=http\nurlForm=city\n", "http", "city"},
        {"urlForm=area\n", "https", "area"},
        {"urlForm=City\nsiteScheme=HTTP\n", "https", "area"},
        {"urlForm=\nsiteScheme=ftp\n", "https", "area"},
        {"urlForm = city \r\n", "https", "city"},
    };
    for (const auto& row : rows) {
        const platform::ProgramSettings s
            = platform::applySettingsText(platform::defaultSettings(), std::string("[Settings]\n") + row.ini);
        EXPECT_EQ(s.siteScheme, row.scheme) << row.ini;
        EXPECT_EQ(s.urlForm, row.urlForm) << row.ini;
    }
}

} // namespace
