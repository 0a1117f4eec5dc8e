#include "platform/autostart.h"

#include "environmentvalue.h"
#include "platform/files.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

struct PathCase {
    const char* name;
    std::optional<std::string> configHome;
    std::optional<std::string> home;
    const char* path;
};

class AutostartPath : public ::testing::TestWithParam<PathCase> { };

TEST_P(AutostartPath, FollowsTheBaseFolderRules)
{
    const PathCase& c = GetParam();
    EnvironmentValue configHome("XDG_CONFIG_HOME", c.configHome);
    EnvironmentValue home("HOME", c.home);
    EXPECT_EQ(platform::autostartEntryPath(), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutostartPath,
    ::testing::Values(PathCase{"configHomeSet", "/x/conf", "/home/u", "/x/conf/autostart/quillobrand.desktop"},
                      PathCase{"trailingSlash", "/x/conf/", "/home/u", "/x/conf/autostart/quillobrand.desktop"},
                      PathCase{"unset", std::nullopt, "/home/u", "/home/u/.config/autostart/quillobrand.desktop"},
                      PathCase{"empty", "", "/home/u", "/home/u/.config/autostart/quillobrand.desktop"},
                      PathCase{"relativeIsIgnored", "conf", "/home/u", "/home/u/.config/autostart/quillobrand.desktop"},
                      PathCase{"noHomeEither", std::nullopt, std::nullopt, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExecCase {
    const char* name;
    const char* programPath;
    const char* execLine;
};

class AutostartExec : public ::testing::TestWithParam<ExecCase> { };

TEST_P(AutostartExec, QuotesThePathByTheDesktopEntryRules)
{
    const std::string text = platform::autostartEntryText(GetParam().programPath);
    EXPECT_NE(text.find(std::string("\nExec=") + GetParam().execLine + "\n"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutostartExec,
    ::testing::Values(ExecCase{"plainPath", "/opt/qb/quillobrand", "/opt/qb/quillobrand --in-tray"},
                      ExecCase{"blank", "/home/u/My Programs/quillobrand",
                               "\"/home/u/My Programs/quillobrand\" --in-tray"},
                      // Inside the quotes a dollar is \$, and the value's own escaping doubles that backslash.
                      ExecCase{"dollar", "/opt/$x/quillobrand", "\"/opt/\\\\$x/quillobrand\" --in-tray"},
                      ExecCase{"backslash", "/opt/a\\b/quillobrand", "\"/opt/a\\\\\\\\b/quillobrand\" --in-tray"},
                      ExecCase{"doubleQuote", "/opt/\"q\"/quillobrand", "\"/opt/\\\\\"q\\\\\"/quillobrand\" --in-tray"},
                      ExecCase{"percentIsNoFieldCode", "/opt/100%/quillobrand", "/opt/100%%/quillobrand --in-tray"},
                      ExecCase{"singleQuote", "/opt/it's/quillobrand", "\"/opt/it's/quillobrand\" --in-tray"}),
    [](const auto& info) { return std::string(info.param.name); });

class AutostartEntry : public ::testing::Test {
protected:
    void SetUp() override { folder = makeTestFolder("qb-autostart"); }
    void TearDown() override { fs::remove_all(folder); }
    std::string folder;
};

TEST_F(AutostartEntry, WrittenWithItsFoldersAndRemoved)
{
    EnvironmentValue configHome("XDG_CONFIG_HOME", folder + "deep/config");
    EXPECT_FALSE(platform::autostartEntryExists());
    ASSERT_TRUE(platform::writeAutostartEntry("/home/u/Quillo brand/quillobrand"));
    EXPECT_TRUE(platform::autostartEntryExists());
    const std::string path = folder + "deep/config/autostart/quillobrand.desktop";
    EXPECT_EQ(platform::readWholeFile(path),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Quillobrand\n"
              "Comment=Watches saved searches for new ads\n"
              "Exec=\"/home/u/Quillo brand/quillobrand\" --in-tray\n"
              "Terminal=false\n");
    EXPECT_EQ(modeOf(folder + "deep/config/autostart"), 0700);
    ASSERT_TRUE(platform::writeAutostartEntry("/opt/quillobrand")) << "written again over the old one";
    EXPECT_NE(platform::readWholeFile(path)->find("Exec=/opt/quillobrand --in-tray\n"), std::string::npos);

    EXPECT_TRUE(platform::removeAutostartEntry());
    EXPECT_FALSE(platform::autostartEntryExists());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(platform::removeAutostartEntry()) << "nothing left is no failure";
}

TEST_F(AutostartEntry, AFileWhereTheFolderShouldBeFailsTheWrite)
{
    EnvironmentValue configHome("XDG_CONFIG_HOME", folder + "config");
    fs::create_directories(folder + "config");
    platform::writeFileAtomically(folder + "config/autostart", "not a folder");
    EXPECT_FALSE(platform::writeAutostartEntry("/opt/quillobrand"));
    EXPECT_FALSE(platform::autostartEntryExists());
}

} // namespace
