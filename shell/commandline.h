#pragma once
// The command line, as Linux programs answer it: --help, --version, --in-tray (the log-in start gives it), and a
// usage on standard error with status 2 for anything else.

#include <string>

namespace shell {

enum class StartAction { Run, ShowHelp, ShowVersion, BadArguments };

struct CommandLine {
    StartAction action = StartAction::Run;
    bool inTray = false;
    // The argument that was not understood, for the message.
    std::string badArgument;
};

// Reads the arguments after the program's name in order: the first --help or --version decides, as does the first
// argument not known; --in-tray may come any number of times.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The short usage that --help prints, ending in a newline.
std::string usageText();
// "Quillobrand" and the version, as --version prints it, ending in a newline.
std::string versionLine();

} // namespace shell
