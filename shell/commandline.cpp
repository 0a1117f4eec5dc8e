#include "shell/commandline.h"

#include "platform/autostart.h"
#include "shell/programstate.h"

#include <cstring>

namespace shell {

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, platform::inTrayArgument) == 0) {
            line.inTray = true;
        } else if (std::strcmp(argument, "--help") == 0) {
            line.action = StartAction::ShowHelp;
            return line;
        } else if (std::strcmp(argument, "--version") == 0) {
            line.action = StartAction::ShowVersion;
            return line;
        } else {
            line.action = StartAction::BadArguments;
            line.badArgument = argument;
            return line;
        }
    }
    return line;
}

std::string usageText()
{
    return "Usage: quillobrand [--in-tray]\n"
           "Searches a classified-ads site in many cities at once and merges the ads into one page.\n"
           "\n"
           "  --in-tray   start with the window hidden in the system tray\n"
           "  --help      show this help and exit\n"
           "  --version   show the version and exit\n"
           "\n"
           "Your files are kept in $XDG_DATA_HOME/quillobrand/ (by default ~/.local/share/quillobrand/), or beside\n"
           "the program when a file named \"portable\" lies there.\n";
}

std::string versionLine()
{
    // The window title's version without its "V".
    return std::string(programName) + " " + (versionText + 1) + "\n";
}

} // namespace shell
