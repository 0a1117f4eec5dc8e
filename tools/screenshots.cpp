// Takes the pictures of the README and the user guide from a real run: opens the main window in a prepared program
// folder, starts the saved "Last Search" from the search builder, waits for the merged page to be shown, and
// saves the window as it looks; then the ad items of the link menu, as ad-menu.png beside GUIDE_PNG.
//   qb_screenshots PROGRAM_FOLDER README_PNG GUIDE_PNG [NOTIFICATION_PNG MAIL_PNG MAILDIR]
// The folder's settings.ini points the program at the sample site; tools/screenshots.sh prepares it. With the
// watch's pictures asked for, the folder also holds the sender profile "Ann" of a running mail server that writes
// into MAILDIR, and a notification service shows on the display: a watched search runs twice (the second time with
// two ads forgotten) and the notification and the mail it sends are pictured.

#include "mail/securitylibrary.h"
#include "platform/browser.h"
#include "platform/settings.h"
#include "search/savedsearch.h"
#include "search/adlist.h"
#include "search/adstore.h"
#include "shell/actions.h"
#include "shell/admenu.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"
#include "watch/watcher.h"
#include "watch/watchfile.h"
#include "watch/watchwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs the watch and waits for its result.
bool runWatch(const std::string& name)
{
    const std::string before = watch::readWatch(name)->lastResult;
    watch::windowHooks().runNow(name);
    return waitUntil([&] { return watch::readWatch(name)->lastResult != before; }, 120000);
}

bool watchPictures(const std::string& notificationPng, const std::string& mailPng, const std::string& maildir)
{
    search::SearchDefinition desks;
    desks.categoryCode = "fua";
    desks.words = "desk";
    desks.areaListName = "Watch Cities";
    desks.entirePost = 1;
    std::ofstream(shell::programFolder + "citydata/Watch Cities.city", std::ios::binary)
        << "springfield\r\nshelbyville\r\n";
    search::writeSavedSearch(shell::programFolder + search::savedSearchFile("Desks"), desks);
    std::ofstream(shell::programFolder + "watch/Desks.watch", std::ios::binary)
        << "interval=120\r\nmailTo=bob@example.com\r\nprofile=Ann\r\n";
    mail::loadSecurityLibrary(shell::programFolder + mail::securityLibraryFileName);
    watch::startWatching();
    if (!runWatch("Desks"))
        return false;
    // Two ads "appear": the memory forgets the second ad of each city.
    const std::string tail = search::buildSearchTail(desks, "sss", platform::settings().siteDomain);
    {
        search::AdStore store;
        store.open(search::adStorePath());
        for (const std::string& city : store.searchCities(tail)) {
            for (const search::StoredAd& ad : store.searchAds(tail)) {
                if (ad.cityCode == city && ad.pagePosition == 1)
                    store.forgetKey(tail, ad.key);
            }
        }
    }
    if (!runWatch("Desks") || watch::readWatch("Desks")->lastResult.find("mail sent") == std::string::npos) {
        std::fprintf(stderr, "the watch run gave: %s\n", watch::readWatch("Desks")->lastResult.c_str());
        return false;
    }
    bool drawn = false;
    QTimer::singleShot(1500, [&] { drawn = true; });
    waitUntil([&] { return drawn; }, 3000);
    // The notification service's own window, found by its name on the display.
    QProcess tree;
    tree.start("xwininfo", {"-root", "-tree"});
    tree.waitForFinished(5000);
    const std::string windows = tree.readAllStandardOutput().toStdString();
    std::smatch found;
    if (!std::regex_search(windows, found, std::regex(R"re("Dunst".*?(\d+)x(\d+)\+(-?\d+)\+(-?\d+))re"))) {
        std::fprintf(stderr, "no notification window on the display\n");
        return false;
    }
    const QRect area(std::stoi(found[3]), std::stoi(found[4]), std::stoi(found[1]), std::stoi(found[2]));
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
             .save(QString::fromStdString(notificationPng)))
        return false;

    // The mail as it reached the server, shown as a mail program would.
    const std::string page = maildir + "/message-1.html";
    if (QProcess::execute("/usr/bin/python3",
                          {QString(QB_MAIL_PICTURE), QString::fromStdString(maildir + "/message-1.json"),
                           QString::fromStdString(page)})
        != 0)
        return false;
    QWidget view;
    view.setFixedSize(640, 300);
    platform::Browser browser(&view, 0, 0, 640, 300);
    view.show();
    browser.navigate(page);
    browser.waitForLoadFinished(15000);
    bool painted = false;
    QTimer::singleShot(700, [&] { painted = true; });
    waitUntil([&] { return painted; }, 2000);
    const bool saved = view.grab().toImage().save(QString::fromStdString(mailPng));
    watch::stopWatching();
    return saved;
}

// The guide's picture of the ad items in the link menu: the first ad starred with a note, then a right-click on the
// second ad's title, and the screen around the menu.
bool adMenuPicture(const std::string& png)
{
    QWidget* view = shell::mainBrowser->view();
    std::string first, rect;
    bool answered = false;
    shell::mainBrowser->runProgramScript(
        "(function(){var a=document.querySelectorAll('p.ad > a');var r=a[1].getBoundingClientRect();"
        "return a[0].href+' '+Math.round(r.left+10)+' '+Math.round(r.top+r.height/2);})()",
        [&](const std::string& value) {
            rect = value;
            answered = true;
        });
    waitUntil([&] { return answered; }, 5000);
    std::istringstream parts(rect);
    int x = 0, y = 0;
    parts >> first >> x >> y;
    search::AdStore* store = search::threadStore();
    const std::string key(search::postIdOf(first));
    if (!store || !store->setStarred(key, true) || !store->setNote(key, "Ask whether the legs come off"))
        return false;
    shell::mainBrowser->runProgramScript(shell::adMarksScript(key, store->marksOf(key)));
    bool painted = false;
    QTimer::singleShot(700, [&] { painted = true; });
    waitUntil([&] { return painted; }, 2000);

    // A real right-click, as the mouse gives it, on the widget that takes the page's input.
    QWidget* input = view->focusProxy() ? view->focusProxy() : view;
    const QPoint at(x, y);
    const QPoint global = view->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, input->mapFromGlobal(global), global, Qt::RightButton,
                          type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &click);
    }
    if (!waitUntil([] { return QApplication::activePopupWidget() != nullptr; }, 5000))
        return false;
    painted = false;
    QTimer::singleShot(700, [&] { painted = true; });
    waitUntil([&] { return painted; }, 2000);
    // The page from its left edge, the ad above the click, and the menu with a margin.
    const QRect menu = QApplication::activePopupWidget()->frameGeometry();
    const QPoint topLeft(view->mapToGlobal(QPoint(0, 0)).x(), std::max(global.y() - 120, 0));
    const QRect shot(topLeft, QPoint(std::max(menu.right() + 30, topLeft.x() + 620), menu.bottom() + 30));
    const bool saved = QGuiApplication::primaryScreen()->grabWindow(0, shot.x(), shot.y(), shot.width(), shot.height())
                           .save(QString::fromStdString(png));
    QApplication::activePopupWidget()->close();
    return saved;
}

// Opens the Ads window on the search just run (the ad starred for the menu's picture among them), sorts it by
// price and pictures the window once the preview has loaded the second ad's page.
bool adsPicture(const std::string& png)
{
    bool saved = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&saved, poll, png] {
        QWidget* window = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "adsWindow" && top->isVisible())
                window = top;
        if (!window)
            return;
        poll->stop();
        poll->deleteLater();
        window->resize(1100, 560);
        window->findChild<QSplitter*>("splitter")->setSizes({660, 420});
        auto* list = window->findChild<QTreeView*>("adsList");
        list->header()->setSortIndicator(2, Qt::AscendingOrder);
        list->setFocus();
        if (list->model()->rowCount() > 1) {
            list->selectionModel()->setCurrentIndex(list->model()->index(1, 0), QItemSelectionModel::ClearAndSelect
                                                                                      | QItemSelectionModel::Rows);
        }
        auto* preview = window->findChild<QWidget*>("previewBrowser");
        const QUrl before = preview ? static_cast<QWebEngineView*>(preview)->url() : QUrl();
        waitUntil([&] { return preview && static_cast<QWebEngineView*>(preview)->url() != before; }, 5000);
        bool painted = false;
        QTimer::singleShot(2500, [&] { painted = true; });
        waitUntil([&] { return painted; }, 3000);
        saved = window->grab().toImage().save(QString::fromStdString(png));
        window->findChild<QPushButton*>("exitButton")->click();
    });
    poll->start(20);
    shell::dispatchCommand(shell::adsCommand);
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 7) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER README_PNG GUIDE_PNG [NOTIFICATION_PNG MAIL_PNG MAILDIR]\n",
                     argv[0]);
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
    oakTables.priceMin = "100"; // a range the site honours: every price shown lies in it
    oakTables.priceMax = "300";
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
    // Let the page paint once more after its load, its pictures too.
    bool painted = false;
    QTimer::singleShot(1500, [&] { painted = true; });
    waitUntil([&] { return painted; }, 2000);

    const QImage window = shell::mainWindow->grab().toImage();
    const bool saved = window.save(argv[2]) && window.scaledToWidth(800, Qt::SmoothTransformation).save(argv[3]);
    std::printf("%dx%d window saved\n", window.width(), window.height());
    const std::string menuPng = std::filesystem::path(argv[3]).replace_filename("ad-menu.png").string();
    const bool menuSaved = adMenuPicture(menuPng);
    std::printf(menuSaved ? "ad menu picture saved\n" : "the ad menu picture failed\n");
    const std::string adsPng = (std::filesystem::path(argv[3]).parent_path() / "ads-window.png").string();
    const bool adsSaved = adsPicture(adsPng);
    std::printf(adsSaved ? "ads window saved\n" : "the ads window picture failed\n");
    bool watchSaved = true;
    if (argc == 7) {
        watchSaved = watchPictures(argv[4], argv[5], argv[6]);
        std::printf(watchSaved ? "watch pictures saved\n" : "the watch pictures failed\n");
    }
    shell::endProcess();
    return saved && menuSaved && adsSaved && watchSaved ? 0 : 1;
}
