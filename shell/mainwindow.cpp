#include "shell/mainwindow.h"

#include "mail/securitylibrary.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/network.h"
#include "platform/processend.h"
#include "platform/sessionend.h"
#include "platform/settings.h"
#include "shell/admenu.h"
#include "shell/findbar.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "watch/watcher.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace shell {

MainWindow* mainWindow = nullptr;
QWidget* clientArea = nullptr;
platform::Browser* bannerBrowser = nullptr;
platform::Browser* mainBrowser = nullptr;
QTimer* bannerTimer = nullptr;
std::unique_ptr<platform::TrayIcon> trayIcon;
platform::ChildProcess helpProgram;
int clientWidth = 0;
int clientHeight = 0;

// Set when a close request minimized the window because the desktop has no notification area.
static bool minimizedInsteadOfTray = false;

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closingForExit) {
        event->accept();
        return;
    }
    event->ignore();
    requestClose();
}

void MainWindow::changeEvent(QEvent* event)
{
    // Brought back by the user: a later second start must leave the window as it is, even when the user minimizes
    // it again with the minimize box.
    if (event->type() == QEvent::WindowStateChange && !(windowState() & Qt::WindowMinimized))
        minimizedInsteadOfTray = false;
    QMainWindow::changeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    placeControls();
}

void placeControls()
{
    if (!mainWindow || !clientArea)
        return;
    // The area below the menu bar follows the window through the window's layout, which has placed it by now.
    clientWidth = mainWindow->width();
    clientHeight = mainWindow->height();
    placeTextButtons(clientWidth);
    if (bannerBrowser)
        bannerBrowser->view()->setGeometry((clientWidth - bannerWidth) / 2, 10, bannerWidth, bannerHeight);
    const int findBarHeight = placeFindBar(clientWidth, clientArea->height());
    if (mainBrowser) {
        const int height = findBarHeight > 0 ? clientArea->height() - findBarHeight - 140 : clientHeight - 140;
        mainBrowser->view()->setGeometry(0, 140, clientWidth, std::max(height, 0));
    }
}

std::string startPageUrl()
{
    if (platform::regularFileSize(resultsPagePath) > 0)
        return "file://" + resultsPagePath;
    return platform::settings().homePageUrl;
}

bool openMainWindow()
{
    // Step 8: the window, at 0,0, with the desktop's width and its height less 60 as the inner size.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        endProcess();
        return false;
    }
    const QSize desktop = screen->geometry().size();
    mainWindow
        = new MainWindow(nullptr,
                         Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                             | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    mainWindow->setObjectName("mainWindow");
    mainWindow->setWindowTitle(windowTitle);
    clientArea = new QWidget(mainWindow);
    clientArea->setObjectName("clientArea");
    mainWindow->setCentralWidget(clientArea);

    // Step 9: the menu bar, inside the inner size: the controls' area below it is that much lower, and the main
    // browser, placed by the inner height, is cut at the bottom by as much.
    createMenuBar();
    createKeys();
    const int menuBarHeight = mainWindow->menuBar()->sizeHint().height();
    // It opens at that size and can be resized, maximised and tiled; the controls follow by the same rule.
    mainWindow->setMinimumSize(smallestWidth, smallestHeight);
    mainWindow->resize(desktop.width(), desktop.height() - 60);
    clientArea->resize(mainWindow->width(), mainWindow->height() - menuBarHeight);
    // Step 10: images and image buttons.
    createImageButtons();
    // The program's icon is the tray's picture: the window and every dialog show it.
    if (!trayPicture().isNull())
        QApplication::setWindowIcon(QIcon(trayPicture()));
    // Step 11: H counts the menu bar.
    clientWidth = mainWindow->width();
    clientHeight = mainWindow->height();
    // Step 12.
    createTextButtons(clientWidth);
    createFindBar(clientArea);
    // Step 13.
    programConfig = readConfig(programFolder + configFileName);
    applyToolTips(programConfig.expertMode);

    // Step 14.
    bannerBrowser = new platform::Browser(clientArea, (clientWidth - bannerWidth) / 2, 10, bannerWidth, bannerHeight);
    bannerBrowser->view()->setObjectName("bannerBrowser");
    bannerBrowser->hideWhenLoadFails();
    bannerBrowser->navigate(platform::settings().bannerUrl);

    // Step 15.
    resultsPagePath = programFolder + "Last Search.html";
    mainBrowser = new platform::Browser(clientArea, 0, 140, clientWidth, clientHeight - 140);
    mainBrowser->view()->setObjectName("mainBrowser");
    mainBrowser->navigate(startPageUrl());
    installAdMenu(*mainBrowser);
    followMainBrowser();
    placeControls();

    // Step 16.
    bannerTimer = new QTimer(mainWindow);
    QObject::connect(bannerTimer, &QTimer::timeout, [] {
        if (bannerBrowser)
            bannerBrowser->reload();
    });
    bannerTimer->start(bannerPeriodMs);

    // Step 17: log-off, shutdown and SIGTERM end the process at once from any window.
    static bool sessionHookInstalled = false;
    if (!sessionHookInstalled) {
        platform::installSessionEndHandler([] { endProcess(); });
        sessionHookInstalled = true;
    }

    mainWindow->move(0, 0);
    mainWindow->show();
    return true;
}

void restoreFromTray()
{
    if (trayIcon) {
        mainWindow->show();
        trayIcon.reset();
    } else if (minimizedInsteadOfTray && mainWindow && mainWindow->isMinimized()) {
        mainWindow->showNormal();
        mainWindow->activateWindow();
        minimizedInsteadOfTray = false;
    }
}

static void sendToTray()
{
    if (!platform::trayAvailable()) {
        // Without a notification area a hidden window could never be brought back.
        minimizedInsteadOfTray = true;
        mainWindow->showMinimized();
        return;
    }
    trayIcon = std::make_unique<platform::TrayIcon>(trayPicture(), programName, [] { restoreFromTray(); });
    mainWindow->hide();
}

void requestClose()
{
    switch (programConfig.trayMode) {
    case 0:
        sendToTray();
        break;
    case 1:
        exitProgram();
        break;
    case 2:
        if (platform::askYesNo(programName, "Send to system tray?"))
            sendToTray();
        else
            exitProgram();
        break;
    default:
        programConfig.trayMode = 2;
        break;
    }
}

void exitProgram()
{
    watch::stopWatching();
    writeConfig(programFolder + configFileName, programConfig);
    helpProgram.terminate(); // only a help program this instance started and that still runs
    if (bannerTimer)
        bannerTimer->stop();
    if (mainWindow) {
        mainWindow->closingForExit = true;
        mainWindow->close();
    }
    endProcess();
}

void endProcess()
{
    trayIcon.reset();
    // The browsers' pages go before the shared profile.
    delete bannerBrowser;
    bannerBrowser = nullptr;
    delete mainBrowser;
    mainBrowser = nullptr;
    platform::releaseBrowserEngine();
    if (mainWindow) {
        mainWindow->closingForExit = true;
        mainWindow->close();
        // Later, not now: endProcess may run inside one of the window's own event handlers.
        mainWindow->deleteLater();
        mainWindow = nullptr;
        clientArea = nullptr;
        bannerTimer = nullptr;
        releaseToolbar();
        releaseFindBar();
    }
    minimizedInsteadOfTray = false;
    mail::releaseSecurityLibrary();
    platform::stopNetwork();
    platform::endProcessNow(0);
}

void runModal(const std::function<void()>& windowRoutine)
{
    mainWindow->setEnabled(false);
    windowRoutine();
    if (mainWindow)
        mainWindow->setEnabled(true);
}

} // namespace shell
