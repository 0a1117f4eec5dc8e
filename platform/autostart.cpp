#include "platform/autostart.h"

#include "platform/files.h"
#include "platform/programfolder.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

std::string autostartEntryPath()
{
    const auto home = xdgBaseFolder("XDG_CONFIG_HOME", ".config");
    return home ? *home + "/autostart/quillobrand.desktop" : std::string();
}

std::string desktopExecArgument(std::string_view argument)
{
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = argument.empty() || argument.find_first_of(reserved) != std::string_view::npos;
    std::string exec = quote ? "\"" : "";
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            exec += '\\';
        exec += c;
        if (c == '%')
            exec += '%'; // a single % would start a field code
    }
    if (quote)
        exec += '"';
    // The Exec key is a string value: its own escapes apply on top of the quoting.
    std::string value;
    for (char c : exec) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::string autostartEntryText(const std::string& programPath)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillobrand\n"
           "Comment=Watches saved searches for new ads\n"
           "Exec="
        + desktopExecArgument(programPath) + " " + inTrayArgument
        + "\n"
          "Terminal=false\n";
}

bool writeAutostartEntry(const std::string& programPath)
{
    const std::string path = autostartEntryPath();
    if (path.empty() || !makeFolders(path.substr(0, path.rfind('/')), 0700))
        return false;
    return writeFileAtomically(path, autostartEntryText(programPath));
}

bool removeAutostartEntry()
{
    const std::string path = autostartEntryPath();
    return path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool autostartEntryExists()
{
    const std::string path = autostartEntryPath();
    return !path.empty() && regularFileSize(path) >= 0;
}

} // namespace platform
