#include "shell/actions.h"

#include "about/aboutwindow.h"
#include "mail/emailwindow.h"
#include "mail/replywindow.h"
#include "pages/savedpageswindows.h"
#include "platform/settings.h"
#include "search/builderwindow.h"
#include "shell/mainwindow.h"
#include "shell/optionsdialog.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "watch/watchwindow.h"

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
    case watchCommand:
        openWatchSearches();
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
    // A later start replaces the remembered one, which keeps running; a start that fails is not reported and
    // leaves no help program remembered.
    const std::string program = suppliedFile("Help/Help");
    helpProgram.start(program, programName, program.substr(0, program.rfind('/') + 1));
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

void openWatchSearches()
{
    runModal([] { watch::watchWindow(programConfig.expertMode, watch::windowHooks()); });
}

static void runEmailWindow(int openingTab)
{
    runModal([openingTab] {
        programConfig.defaultProfile
            = mail::emailWindow(openingTab, programConfig.defaultProfile, programConfig.expertMode);
    });
}

void openEmailToFriend()
{
    runEmailWindow(mail::emailPageTab);
}

void openEmailOptions()
{
    runEmailWindow(mail::emailSetupTab);
}

void openProgramOptions()
{
    runModal(runOptionsDialog);
}

void openReplyToAd()
{
    runModal([] {
        programConfig.defaultProfile = mail::replyToAdWindow(programConfig.defaultProfile, programConfig.expertMode);
    });
}

} // namespace shell
