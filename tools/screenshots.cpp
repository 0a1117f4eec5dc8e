// Takes the pictures of the README and the user guide from a real run: opens the main window in a prepared program
// folder, starts the saved "Last Search" from the search builder, waits for the merged page to be shown, and
// saves the window as it looks.
//   qb_screenshots PROGRAM_FOLDER README_PNG GUIDE_PNG
// The folder's settings.ini points the program at the sample site; tools/screenshots.sh prepares it.

#include "platform/browser.h"
#include "platform/settings.h"
#include "search/savedsearch.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER README_PNG GUIDE_PNG\n", argv[0]);
        return 2;
    }
    platform::prepareBrowserEngine();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    shell::useProgramFont();
    shell::programFolder = std::string(argv[1]) + "/";
    shell::resultsPagePath = shell::programFolder + "Last Search.html";
    shell::allowedNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    platform::settings() = platform::loadSettings(shell::programFolder);
    // The search to show: oak tables, in the supplied "Major Cities".
    search::SearchDefinition oakTables;
    oakTables.categoryCode = "fua";
    oakTables.words = "oak table";
    oakTables.areaListName = "Major Cities";
    oakTables.entirePost = 1;
    search::writeSavedSearch(shell::programFolder + search::savedSearchFile("Last Search"), oakTables);
    if (!shell::openMainWindow()) {
        std::fprintf(stderr, "the main window did not open\n");
        return 1;
    }

    // Start Search as soon as the builder is open; its run returns when the merged page is written.
    bool started = false;
    auto* poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, [&] {
        QWidget* builder = QApplication::activeModalWidget();
        if (!builder || builder->objectName() != "searchBuilder")
            return;
        poll->stop();
        started = true;
        builder->findChild<QAbstractButton*>("startSearchButton")->click();
    });
    poll->start(20);
    shell::toolbar.searchBuilder->click();
    if (!started || !shell::mainBrowser->url().isLocalFile()) {
        std::fprintf(stderr, "the search did not run\n");
        return 1;
    }
    shell::mainBrowser->waitForLoadFinished(15000);
    // Let the page paint once more after its load.
    bool painted = false;
    QTimer::singleShot(500, [&] { painted = true; });
    waitUntil([&] { return painted; }, 2000);

    const QImage window = shell::mainWindow->grab().toImage();
    const bool saved = window.save(argv[2]) && window.scaledToWidth(800, Qt::SmoothTransformation).save(argv[3]);
    std::printf("%dx%d window saved\n", window.width(), window.height());
    shell::endProcess();
    return saved ? 0 : 1;
}
