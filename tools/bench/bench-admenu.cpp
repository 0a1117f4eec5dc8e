// Measures how soon a shown results page of many ads follows a star or a hide from its link menu: the store's
// change and the page's, until the page has changed.
//   qb_bench_admenu FOLDER ADS      a page of ADS ads (400 a city) in FOLDER; prints star_ms and hide_ms, medians
//                                   of 5, for ads in the middle of the page, each change from a page at rest
//                                   until the changed page is laid out

#include "platform/browser.h"
#include "search/adstore.h"
#include "search/searchrun.h"
#include "shell/admenu.h"
#include "shell/programstate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

std::string keyAt(int i)
{
    return std::to_string(7700000000LL + i);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER ADS\n", argv[0]);
        return 2;
    }
    platform::prepareBrowserEngine();
    QApplication app(argc, argv);
    shell::programFolder = std::string(argv[1]) + "/";
    const int ads = std::atoi(argv[2]);
    const std::string pagePath = shell::programFolder + "Last Search.html";
    {
        std::ofstream page(pagePath, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < ads; ++i) {
            if (i % 400 == 0)
                page << (i ? "<br>\r\n" : "")
                     << search::cityHeadingLine("city" + std::to_string(i / 400), "https", "example.org") << "\r\n";
            page << "<p class=\"ad\"><a href=\"https://city.example.org/fuo/d/oak-desk/" << keyAt(i)
                 << ".html\">Oak desk number " << i << "</a> $" << 100 + i % 900 << " (downtown)</p>";
            if (i == 399)
                page << "<br>" << search::adListStyle << "\r\n";
        }
        page << "<br>\r\n";
    }
    search::AdStore* store = search::threadStore();
    if (!store)
        return 1;
    QWidget window;
    window.resize(1200, 900);
    platform::Browser browser(&window, 0, 0, 1200, 900);
    window.show();
    browser.navigate("file://" + pagePath);
    if (!browser.waitForLoadFinished(60000))
        return 1;
    browser.runProgramScript("window.scrollTo(0, document.body.scrollHeight / 2)");

    auto timeChange = [&](int at, bool hide) {
        // Each change from a page at rest: the one before has been laid out and painted.
        QElapsedTimer rest;
        rest.start();
        waitUntil([&] { return rest.elapsed() >= 1000; }, 2000);
        const std::string key = keyAt(at);
        QElapsedTimer timer;
        timer.start();
        if (hide)
            store->setHidden(key, true);
        else
            store->setStarred(key, true);
        bool done = false;
        browser.runProgramScript(shell::adMarksScript(key, store->marksOf(key)));
        // Asking for the page's height lays the changed page out before it answers.
        browser.runProgramScript("String(document.body.offsetHeight)", [&](const std::string&) { done = true; });
        waitUntil([&] { return done; }, 10000);
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };
    std::vector<double> stars, hides;
    for (int i = 0; i < 5; ++i) {
        stars.push_back(timeChange(ads / 2 + i, false));
        hides.push_back(timeChange(ads / 2 + 100 + i, true));
    }
    std::sort(stars.begin(), stars.end());
    std::sort(hides.begin(), hides.end());
    std::printf("ads %d star_ms %.1f hide_ms %.1f\n", ads, stars[2], hides[2]);
    return 0;
}
