#include "shell/programstate.h"

namespace shell {

std::string programFolder;
std::string resultsPagePath;
ProgramConfig programConfig;
std::vector<std::string> attachmentList;
std::string allowedNameChars;
std::string rememberedWords;

} // namespace shell
