#pragma once
// Process-wide state of the program, set at start-up and kept until the process ends.

#include "platform/programfolder.h"
#include "shell/config.h"

#include <string>
#include <vector>

namespace shell {

inline constexpr const char* versionText = "V1.0.171.1483";
inline constexpr const char* windowTitle = "Quillobrand - V1.0.171.1483";
inline constexpr const char* programName = "Quillobrand";

// The folder of the user's files, ending in "/": beside the program when it runs portable, the XDG data folder
// when installed. Every file the program writes is addressed from it.
extern std::string programFolder;
// The running program's own file, for the log-in start.
extern std::string programFile;
// programFolder + "Last Search.html".
extern std::string resultsPagePath;
extern ProgramConfig programConfig;
// Files to attach to the mail being sent; empty except during a send.
extern std::vector<std::string> attachmentList;
// Letters and digits a sent page's file name may hold.
extern std::string allowedNameChars;
// The search words last taken from the search builder; empty at program start.
extern std::string rememberedWords;

// A supplied file (the category tree, an area list, a picture, an about document, the help program) by its path
// relative to programFolder: the user's own copy when there is one, else the install's.
std::string suppliedFile(const std::string& relative);

// The user's folders that the program writes in, made on an installed program's start.
inline constexpr const char* userFolderNames[]
    = {"citydata", "savedsearch", "savedpages", "smtp", "sent", "seen", "watch"};
// Puts the program on the given folders: programFolder, and where supplied files are read. Installed, makes the
// user's folder (owner-only, as the XDG data folders are) and the folders in it; nothing is copied there. False,
// with nothing set, when the user's folder is unknown or can't be made.
bool useProgramFolders(const platform::ProgramFolders& folders);

} // namespace shell
