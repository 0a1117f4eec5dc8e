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

struct HoldCase {
    const char* name;
    const char* path;
    const char* shown; // nullptr: held, shown as it is
};

class AutostartHold : public AutostartEntry, public ::testing::WithParamInterface<HoldCase> { };

TEST_P(AutostartHold, OnlyUtf8WithoutControlsIsWrittenElseNothing)
{
    const HoldCase& c = GetParam();
    EnvironmentValue configHome("XDG_CONFIG_HOME", folder + "config");
    EXPECT_EQ(platform::autostartCanHold(c.path), c.shown == nullptr);
    EXPECT_EQ(platform::printablePath(c.path), c.shown ? c.shown : c.path);
    EXPECT_EQ(platform::writeAutostartEntry(c.path), c.shown == nullptr);
    EXPECT_EQ(platform::autostartEntryExists(), c.shown == nullptr);
    EXPECT_EQ(fs::exists(folder + "config"), c.shown == nullptr) << "nothing made for a refused path";
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutostartHold,
    ::testing::Values(HoldCase{"ascii", "/opt/qb/quillobrand", nullptr},
                      HoldCase{"utf8Accent", "/home/ren\xC3\xA9/quillobrand", nullptr},
                      HoldCase{"utf8FourBytes", "/home/\xF0\x9F\x8F\xA0/quillobrand", nullptr},
                      HoldCase{"latin1Byte", "/home/ren\xE9/quillobrand", "/home/ren\\xE9/quillobrand"},
                      HoldCase{"tab", "/opt/a\tb/quillobrand", "/opt/a\\x09b/quillobrand"},
                      HoldCase{"newline", "/opt/a\nb/quillobrand", "/opt/a\\x0Ab/quillobrand"},
                      HoldCase{"escapeByte", "/opt/\x1B[0m/quillobrand", "/opt/\\x1B[0m/quillobrand"},
                      HoldCase{"delete", "/opt/\x7F/quillobrand", "/opt/\\x7F/quillobrand"},
                      HoldCase{"c1Control", "/opt/\xC2\x85/quillobrand", "/opt/\\xC2\\x85/quillobrand"},
                      HoldCase{"overlongSlash", "/opt/\xC0\xAF/quillobrand", "/opt/\\xC0\\xAF/quillobrand"},
                      HoldCase{"surrogate", "/opt/\xED\xA0\x80/quillobrand", "/opt/\\xED\\xA0\\x80/quillobrand"},
                      HoldCase{"pastTheLastCodePoint", "/opt/\xF4\x90\x80\x80/q", "/opt/\\xF4\\x90\\x80\\x80/q"},
                      HoldCase{"cutSequence", "/opt/\xE2\x82", "/opt/\\xE2\\x82"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
