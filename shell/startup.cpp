#include "shell/startup.h"

#include "watch/watcher.h"

#include "mail/securitylibrary.h"
#include "platform/autostart.h"
#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/network.h"
#include "platform/programfolder.h"
#include "platform/settings.h"
#include "platform/singleinstance.h"
#include "search/adstore.h"
#include "shell/actions.h"
#include "shell/commandline.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include "shell/widgethelpers.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace shell {

// Qt aborts when it can't reach a display; say so in one line instead.
static bool displayAvailable()
{
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if (platformName && *platformName)
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Qt's windowing set-up ends in an abort with a page of text when it fails; one line and status 1 instead.
static QtMessageHandler handlerBeforeStart = nullptr;

static void reportFailedStart(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "Quillobrand: the windowing system could not be started; it needs a graphical desktop.\n");
        std::_Exit(1);
    }
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return; // the lines that lead up to that end, or notes about the display no user needs
    if (handlerBeforeStart)
        handlerBeforeStart(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void putInTray()
{
    // The road of a close request with the tray mode Always: the same icon, and the same way back from a window
    // minimised for want of a tray.
    const std::int32_t trayMode = programConfig.trayMode;
    programConfig.trayMode = 0;
    requestClose();
    programConfig.trayMode = trayMode;
}

void removeLeftoverWrites()
{
    // Only the one instance writes in the program's folders, and it has not written yet.
    for (const char* folder : {"", "watch/", "savedsearch/", "citydata/", "seen/", "smtp/", "sent/", "savedpages/"})
        platform::removeLeftoverSiblings(programFolder + folder);
    const std::string entry = platform::autostartEntryPath();
    if (!entry.empty())
        platform::removeLeftoverSiblings(entry.substr(0, entry.rfind('/')), "quillobrand.desktop");
}

int runProgram(int argc, char** argv)
{
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case StartAction::ShowHelp:
        std::fputs(usageText().c_str(), stdout);
        return 0;
    case StartAction::ShowVersion:
        std::fputs(versionLine().c_str(), stdout);
        return 0;
    case StartAction::BadArguments:
        std::fprintf(stderr, "quillobrand: unknown argument \"%s\"\n%s", line.badArgument.c_str(), usageText().c_str());
        return 2;
    case StartAction::Run:
        break;
    }
    const bool inTray = line.inTray;
    if (!displayAvailable()) {
        std::fprintf(stderr, "Quillobrand: no display available (DISPLAY is not set); it needs a graphical desktop.\n");
        return 1;
    }
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if ((!platformName || !*platformName || std::strncmp(platformName, "xcb", 3) == 0)
        && !platform::xDisplayReachable()) {
        std::fprintf(stderr, "Quillobrand: the display \"%s\" can't be reached; it needs a graphical desktop.\n",
                     std::getenv("DISPLAY"));
        return 1;
    }

    // Steps 1 to 3.
    allowedNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    const platform::ProgramFolders folders = platform::locateProgramFolders(platform::executableFolder());
    if (!useProgramFolders(folders)) {
        if (folders.userFolder.empty())
            std::fprintf(stderr, "Quillobrand: no home folder (HOME is not set) to keep your files in.\n");
        else
            std::fprintf(stderr, "Quillobrand: the folder %s can't be made.\n", folders.userFolder.c_str());
        return 1;
    }
    programFile = platform::executablePath();
    platform::settings() = platform::loadSettings(programFolder);

    platform::prepareBrowserEngine();
    handlerBeforeStart = qInstallMessageHandler(reportFailedStart);
    QApplication app(argc, argv);
    qInstallMessageHandler(handlerBeforeStart);
    app.setApplicationName(programName);
    // The launcher's name: the desktop matches the windows to quillobrand.desktop by it on Wayland.
    app.setDesktopFileName("quillobrand");
    app.setQuitOnLastWindowClosed(false); // the tray keeps the program running with no window shown
    useProgramFont();
    useWindowKeyRules();

    // Step 4: nothing is tested here; the mail windows check the library before they use it.
    mail::loadSecurityLibrary(folders.libraryFolder + mail::securityLibraryFileName);
    // Step 5.
    attachmentList.clear();

    // Step 6: a second start wakes the first and ends.
    static platform::InstanceServer instanceServer;
    // A start at log-in that finds the program running leaves its window as it is: command 0 does nothing.
    if (!platform::becomeFirstInstance(instanceServer, platform::instanceName(), inTray ? 0 : restoreCommand,
                                       [](int command) { dispatchCommand(command); })) {
        endProcess();
        return 0;
    }

    removeLeftoverWrites();

    // Step 7.
    if (!platform::startNetwork()) {
        platform::showMessageBox("Network Error", "Could Not Initialize Network", platform::BoxIcon::Error);
        endProcess();
        return 0;
    }

    // The ad store's chores, before any run can use it: what a killed run left, ads unlisted for 90 days, and the
    // memory files of earlier versions (read once). A store that can't be opened is said by the first run.
    if (search::AdStore* store = search::threadStore())
        store->startUp(static_cast<std::int64_t>(std::time(nullptr)), programFolder + "seen/");

    // Steps 8 to 17.
    if (!openMainWindow())
        return 0;
    if (inTray)
        putInTray();
    watch::startWatching();

    // Step 18.
    return app.exec();
}

} // namespace shell
