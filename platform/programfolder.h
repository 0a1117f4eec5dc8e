#pragma once
// Where the program's files are. Portable: a file named "portable" in the program's own folder keeps everything
// beside the program (the build's staged folder has one). Installed: the user's files go to the XDG data folder,
// supplied files are read from the install's data folder and the security library from its library folder.

#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr const char* portableMarker = "portable";

// The folder of the running executable with symlinks resolved, ending in "/". Empty if it can't be told.
std::string executableFolder();
// The running executable's own path, symlinks resolved. Empty if it can't be told.
std::string executablePath();

// An XDG base folder without its trailing slashes: the variable's value when it is an absolute path, else
// $HOME/belowHome; nothing when HOME is no absolute path either.
std::optional<std::string> xdgBaseFolder(const char* variable, const char* belowHome);

struct ProgramFolders {
    bool portable = false;
    // Everything the program writes goes here: the part programFolder plays for the user's files. Ends in "/";
    // empty when installed and no home folder is known.
    std::string userFolder;
    // Supplied, read-only files: the category tree, the area lists, pictures, about documents, the help program.
    std::string suppliedFolder;
    // The security library.
    std::string libraryFolder;
};

// The folders of a program whose executable lies in executableFolder (ending in "/"). Installed, the user's folder
// is $XDG_DATA_HOME/quillobrand/ ($HOME/.local/share/quillobrand/ by default), and the data and library folders lie
// where the install rules put them, found from the executable's folder so that any prefix works.
ProgramFolders locateProgramFolders(const std::string& executableFolder);

// The install's data folder while the program runs installed; empty when portable, where the supplied files lie
// among the user's.
std::string& suppliedFolder();

// A supplied file by its path relative to the program's folders: the user's own copy under userFolder when there is
// one, else the install's; where neither exists, the user's path, so that a file made there lands among the user's.
std::string suppliedFilePath(const std::string& userFolder, const std::string& relative);

// The folders whose files together make a listing of userFolder + relative: the user's first, then the install's.
std::vector<std::string> suppliedFolderPaths(const std::string& userFolder, const std::string& relative);

} // namespace platform
