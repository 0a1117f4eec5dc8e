#pragma once
// The freedesktop autostart entry that starts the program at log-in: $XDG_CONFIG_HOME/autostart/quillobrand.desktop,
// $HOME/.config when XDG_CONFIG_HOME is unset, empty or not an absolute path.

#include <string>
#include <string_view>

namespace platform {

inline constexpr const char* inTrayArgument = "--in-tray";

// The entry's path; empty when neither XDG_CONFIG_HOME nor HOME gives an absolute folder.
std::string autostartEntryPath();

// One argument of an Exec line by the Desktop Entry rules: quoted when it holds a reserved character, with ", `, $
// and \ escaped inside the quotes; a % doubled; then the string escapes of a value (\\, \n, \t, \r).
std::string desktopExecArgument(std::string_view argument);

// The whole entry for the program at programPath: a Desktop Entry of Type Application named Quillobrand whose Exec
// line holds the path and the one argument --in-tray. Lines end in LF: the format reads a CR as part of a value.
std::string autostartEntryText(const std::string& programPath);

// Whether the path can stand in an entry: a desktop entry's values are UTF-8 text without control characters, and
// a desktop that meets anything else may drop the whole entry.
bool autostartCanHold(std::string_view programPath);
// The path as a message can show it: every byte that keeps autostartCanHold from taking it written as \xNN.
std::string printablePath(std::string_view programPath);

// Writes the entry atomically, making its folders (mode 0700, as the XDG base folders are) when missing. False,
// writing nothing, for a path autostartCanHold refuses.
bool writeAutostartEntry(const std::string& programPath);
// True when no entry is left.
bool removeAutostartEntry();
bool autostartEntryExists();

} // namespace platform
