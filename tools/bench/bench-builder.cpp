// Times the opening of the search builder: from the call to the window being shown on the screen (exposed),
// five times.
//   qb_bench_builder FOLDER   (FOLDER holds CategoryTree.dat, search.bmp and citydata/)

#include "search/builderwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    shell::useProgramFont();
    shell::programFolder = std::string(argv[1]) + "/";
    shell::images()[2] = QPixmap(QString::fromStdString(shell::programFolder + "search.bmp"));

    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer clock;
        double shownAfter = -1;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (window && window->windowHandle() && window->windowHandle()->isExposed()) {
                if (shownAfter < 0)
                    shownAfter = double(clock.nsecsElapsed()) / 1e6;
                window->close();
            } else if (clock.elapsed() > 10000) {
                std::fprintf(stderr, "the builder did not open\n");
                std::exit(1);
            }
        });
        poll.start(0);
        clock.start();
        search::openSearchBuilder("Last Search", 0);
        poll.stop();
        times.push_back(shownAfter);
        std::printf("opening %d: %.1f ms\n", round + 1, shownAfter);
    }
    std::sort(times.begin(), times.end());
    std::printf("builder_open_median_ms %.1f\n", times[2]);
    return 0;
}
