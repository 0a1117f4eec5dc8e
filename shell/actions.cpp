#include "shell/actions.h"

#include "about/aboutwindow.h"
#include "ads/adswindow.h"
#include "mail/emailwindow.h"
#include "mail/replywindow.h"
#include "pages/savedpageswindows.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "search/builderwindow.h"
#include "shell/findbar.h"
#include "shell/mainwindow.h"
#include "shell/optionsdialog.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "watch/watchwindow.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <optional>

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
    case adsCommand:
        openAdsList();
        break;
    case findInPageCommand:
        openFindInPage();
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

void reloadPage()
{
    mainBrowser->reload();
}

void openFindInPage()
{
    openFindBar();
}

std::string helpNotShownText()
{
    return "No web browser could be opened to show the user guide. The guide is the file "
        + suppliedFile("Help/index.html") + ": open it in a web browser.";
}

// The help program hands the guide to the desktop's web browser and ends; ending in failure means that nothing
// could show it. Watched for a while only: a browser that it started may keep it running.
static void watchHelpProgram()
{
    const pid_t started = helpProgram.pid();
    if (started == 0)
        return;
    auto* poll = new QTimer(mainWindow);
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, elapsed, started] {
        // Replaced by a later start, or ended and reaped at the exit.
        std::optional<int> status;
        const bool same = helpProgram.pid() == started;
        if (same)
            status = helpProgram.exitStatus();
        if (same && !status && elapsed->elapsed() < helpWatchMs)
            return;
        poll->stop();
        poll->deleteLater();
        if (status && *status != 0)
            platform::showMessageBox(programName, helpNotShownText(), platform::BoxIcon::Information);
    });
    poll->start(100);
}

void startHelpProgram()
{
    // A later start replaces the remembered one, which keeps running; a start that fails leaves no help program
    // remembered and says where the guide is.
    const std::string program = suppliedFile("Help/Help");
    if (!helpProgram.start(program, programName, program.substr(0, program.rfind('/') + 1))) {
        platform::showMessageBox(programName, helpNotShownText(), platform::BoxIcon::Information);
        return;
    }
    watchHelpProgram();
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

void openAdsList()
{
    runModal([] { ads::adsWindow(programConfig.expertMode); });
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
