#pragma once
// Process-wide state of the program, set at start-up and kept until the process ends.

#include "shell/config.h"

#include <string>
#include <vector>

namespace shell {

inline constexpr const char* versionText = "V1.0.171.1483";
inline constexpr const char* windowTitle = "Quillobrand - V1.0.171.1483";
inline constexpr const char* programName = "Quillobrand";

// Folder of the running program, ending in "/"; every data file is addressed from it.
extern std::string programFolder;
// programFolder + "Last Search.html".
extern std::string resultsPagePath;
extern ProgramConfig programConfig;
// Files to attach to the mail being sent; empty except during a send.
extern std::vector<std::string> attachmentList;
// Letters and digits a sent page's file name may hold.
extern std::string allowedNameChars;
// The search words last taken from the search builder; empty at program start.
extern std::string rememberedWords;

} // namespace shell
