#pragma once
// The main window, its two browsers and the ways out of the program.

#include "platform/browser.h"
#include "platform/childprocess.h"
#include "platform/trayicon.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QTimer;

namespace shell {

class MainWindow : public QMainWindow {
public:
    using QMainWindow::QMainWindow;
    // Set by exitProgram so that its own close goes through.
    bool closingForExit = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

// The main window's parts, alive from openMainWindow until endProcess.
extern MainWindow* mainWindow;
extern QWidget* clientArea; // the window's inner area below the menu bar: W x (H - the menu bar's height)
extern platform::Browser* bannerBrowser;
extern platform::Browser* mainBrowser;
extern QTimer* bannerTimer;
extern std::unique_ptr<platform::TrayIcon> trayIcon;
extern platform::ChildProcess helpProgram; // the last help program started
extern int clientWidth; // W, the window's inner width now
extern int clientHeight; // H, the inner height with the menu bar, now

inline constexpr int bannerWidth = 748;
inline constexpr int bannerHeight = 120;
inline constexpr int bannerPeriodMs = 20000;
// The window opens at the desktop's size and can be made no smaller than this.
inline constexpr int smallestWidth = 800;
inline constexpr int smallestHeight = 600;

// Places the banner, the text buttons, the main browser and the find bar by the window's inner size W x H: the
// banner centred, the text buttons at W - 135, the main browser at 0, 140 over the width W and H - 140 high. With
// the find bar shown the browser ends above it, at the bottom of the area below the menu bar. Runs on every resize.
void placeControls();

// Start-up steps from opening the main window to installing the session-end hook; shows the window.
// False (after ending the process) when the window can't be opened.
bool openMainWindow();

// The start page: "file://" + the results page when it holds at least one byte, else the home page.
std::string startPageUrl();

// Shows the window again if it was put away by a close request; otherwise nothing.
void restoreFromTray();
// What a close request of the main window does, by trayMode.
void requestClose();
// Saves the configuration, ends a running help program and ends the process.
void exitProgram();
// Releases everything and ends the process with exit code 0, saving nothing.
void endProcess();

// Runs a secondary window modally: the main window is disabled while the window's routine runs.
void runModal(const std::function<void()>& windowRoutine);

} // namespace shell
