// Window tests: one QApplication for the process, a private temporary folder so that the single-instance socket
// and lock files of parallel test processes never meet.

#include "platform/browser.h"
#include "shell/widgethelpers.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest does it at build time) needs no display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    std::string tmp = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/qb-gui-XXXXXX");
    if (::mkdtemp(tmp.data()))
        ::setenv("TMPDIR", tmp.c_str(), 1);

    platform::prepareBrowserEngine();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    shell::useProgramFont();
    shell::useWindowKeyRules();
    const int result = RUN_ALL_TESTS();
    std::string cleanup = "rm -rf '" + tmp + "'";
    [[maybe_unused]] int ignored = std::system(cleanup.c_str());
    return result;
}
