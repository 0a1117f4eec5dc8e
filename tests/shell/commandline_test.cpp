#include "shell/commandline.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using shell::StartAction;

struct LineCase {
    const char* name;
    std::vector<const char*> args;
    StartAction action;
    bool inTray;
    const char* badArgument;
};

class CommandLineTable : public ::testing::TestWithParam<LineCase> { };

TEST_P(CommandLineTable, ReadsTheArgumentsAsLinuxProgramsDo)
{
    const LineCase& c = GetParam();
    std::vector<const char*> argv = c.args;
    argv.push_back(nullptr);
    const shell::CommandLine line = shell::parseCommandLine(int(argv.size()) - 1, argv.data());
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.inTray, c.inTray);
    EXPECT_EQ(line.badArgument, c.badArgument);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineTable,
    ::testing::Values(
        LineCase{"none", {"quillobrand"}, StartAction::Run, false, ""},
        LineCase{"inTray", {"quillobrand", "--in-tray"}, StartAction::Run, true, ""},
        LineCase{"inTrayTwice", {"quillobrand", "--in-tray", "--in-tray"}, StartAction::Run, true, ""},
        LineCase{"help", {"quillobrand", "--help"}, StartAction::ShowHelp, false, ""},
        LineCase{"version", {"quillobrand", "--version"}, StartAction::ShowVersion, false, ""},
        LineCase{"firstDecides", {"quillobrand", "--version", "--help"}, StartAction::ShowVersion, false, ""},
        LineCase{"helpBeforeUnknown", {"quillobrand", "--help", "-x"}, StartAction::ShowHelp, false, ""},
        LineCase{"unknown", {"quillobrand", "--demo"}, StartAction::BadArguments, false, "--demo"},
        LineCase{"unknownAfterInTray", {"quillobrand", "--in-tray", "-x"}, StartAction::BadArguments, true, "-x"},
        LineCase{"exactOnly", {"quillobrand", "--in-tray=1"}, StartAction::BadArguments, false, "--in-tray=1"},
        LineCase{"qtOptionsToo", {"quillobrand", "-platform", "xcb"}, StartAction::BadArguments, false, "-platform"},
        LineCase{"shortHelpIsUnknown", {"quillobrand", "-h"}, StartAction::BadArguments, false, "-h"},
        LineCase{"emptyArgument", {"quillobrand", ""}, StartAction::BadArguments, false, ""},
        LineCase{"programNameIsNoArgument", {"--in-tray"}, StartAction::Run, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineTexts, VersionAndUsage)
{
    EXPECT_EQ(shell::versionLine(), "Quillobrand 1.0.171.1483\n");
    const std::string usage = shell::usageText();
    EXPECT_EQ(usage.rfind("Usage: quillobrand [--in-tray]\n", 0), 0u);
    for (const char* option : {"--in-tray", "--help", "--version", "~/.local/share/quillobrand/", "\"portable\""})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

} // namespace
