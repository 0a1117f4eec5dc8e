#include "shell/actions.h"

#include "about/aboutwindow.h"
#include "pages/savedpageswindows.h"
#include "platform/settings.h"
#include "search/builderwindow.h"
#include "shell/mainwindow.h"
#include "shell/optionsdialog.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

namespace shell {

void dispatchCommand(int command)
{
    switch (command) {
    case exitProgramCommand:
        requestClose();
        break;
    case helpCommand:
        startHelpProgram();
        break;
    case aboutCommand:
        openAbout();
        break;
    case restoreCommand:
        restoreFromTray();
        break;
    default:
        break;
    }
}

void goBack()
{
    mainBrowser->back();
}

void goForward()
{
    mainBrowser->forward();
}

void goHome()
{
    mainBrowser->navigate(platform::settings().homePageUrl);
}

void startHelpProgram()
{
    // A failed start is not reported; a later start replaces the remembered one, which keeps running.
    platform::ChildProcess started;
    if (started.start(programFolder + "Help/Help", programName, programFolder + "Help/"))
        helpProgram = started;
}

void openSearchBuilder()
{
    runModal([] { search::openSearchBuilder("Last Search", programConfig.expertMode); });
}

void openSaveThisPage()
{
    runModal(pages::savePageDialog);
}

void openSavedPages()
{
    runModal(pages::savedPagesDialog);
}

void openAbout()
{
    runModal([] { about::aboutWindow(programName); });
}

void openProgramOptions()
{
    runModal(runOptionsDialog);
}

// Windows not built yet: each button stays in place and does nothing until its window is wired here.
void openEmailOptions() { }
void openEmailToFriend() { }
void openReplyToAd() { }

} // namespace shell
