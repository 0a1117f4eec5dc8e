#include "shell/programstate.h"

#include "platform/files.h"

namespace shell {

std::string programFolder;
std::string programFile;
std::string resultsPagePath;
ProgramConfig programConfig;
std::vector<std::string> attachmentList;
std::string allowedNameChars;
std::string rememberedWords;

std::string suppliedFile(const std::string& relative)
{
    return platform::suppliedFilePath(programFolder, relative);
}

bool useProgramFolders(const platform::ProgramFolders& folders)
{
    if (folders.userFolder.empty())
        return false;
    if (!folders.portable) {
        if (!platform::makeFolders(folders.userFolder, 0700))
            return false;
        for (const char* name : userFolderNames)
            platform::makeFolders(folders.userFolder + name, 0700);
    }
    programFolder = folders.userFolder;
    platform::suppliedFolder() = folders.portable ? std::string() : folders.suppliedFolder;
    return true;
}

} // namespace shell
