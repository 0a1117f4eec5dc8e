#include "shellfixture.h"
#include "testfolder.h"

#include "platform/browser.h"
#include "platform/processend.h"
#include "platform/settings.h"
#include "platform/trayicon.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void whenModalOpens(std::function<void(QWidget*)> act)
{
    whenWindowOpens(nullptr, std::move(act));
}

// A window can take long to open: the mail and page windows first read the shown page's source, and the browser
// may wait up to 10 s for it when the machine is busy. So the bound is well beyond that.
static constexpr int openingBoundMs = 60000;

void whenWindowOpens(const char* objectName, std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer;
    auto* elapsed = new QElapsedTimer;
    elapsed->start();
    const QString name = objectName ? QString(objectName) : QString();
    QObject::connect(poll, &QTimer::timeout, [poll, elapsed, act, name] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && ((!name.isEmpty() && modal->objectName() != name) || !modal->isVisible()))
            modal = nullptr;
        if (!modal && elapsed->elapsed() < openingBoundMs)
            return;
        poll->stop();
        poll->deleteLater();
        delete elapsed;
        if (modal)
            act(modal);
        else
            ADD_FAILURE() << "no window " << name.toStdString() << " opened within " << openingBoundMs << " ms";
    });
    poll->start(10);
}

bool withModalWindow(const char* objectName, const std::function<void()>& open,
                     const std::function<void(QWidget*)>& act)
{
    bool acted = false;
    whenWindowOpens(objectName, [&](QWidget* window) {
        acted = true;
        act(window);
        if (QApplication::activeModalWidget() == window)
            window->close();
    });
    open();
    EXPECT_TRUE(shell::mainWindow && shell::mainWindow->isEnabled());
    return acted;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string configBytes(int expertMode, int defaultProfile, int trayMode)
{
    return shell::encodeConfig({expertMode, defaultProfile, trayMode});
}

void ShellTest::SetUp()
{
    folder = makeTestFolder("qb-program");
    for (const char* sub : {"citydata", "savedsearch", "savedpages", "smtp", "sent", "about", "Help"})
        fs::create_directories(folder + sub);
    for (const char* image : {"back.bmp", "fwd.bmp", "search.bmp", "home2.bmp", "builder.bmp", "help.bmp"})
        fs::copy_file(std::string(QB_STAGE_DIR) + image, folder + image);
    // Home and banner on a closed loopback port: nothing leaves the machine and loads fail at once.
    writeFile(folder + "settings.ini",
              "[Settings]\r\nhomePageUrl=http://127.0.0.1:9/home\r\n"
              "bannerUrl=http://127.0.0.1:9/banners/quillobrand/banner.php\r\n");

    shell::programFolder = folder;
    shell::allowedNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    shell::programConfig = {};
    platform::setProcessEndHook([this](int code) {
        ++endCalls;
        lastExitCode = code;
    });
    platform::setMessageBoxResponder([this](const platform::MessageBoxRequest& request) {
        boxes.push_back(request);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    });
}

void ShellTest::TearDown()
{
    if (shell::mainWindow)
        shell::endProcess();
    QCoreApplication::processEvents();
    platform::setProcessEndHook({});
    platform::setMessageBoxResponder({});
    platform::setTrayAvailableOverride(std::nullopt);
    fs::remove_all(folder);
}

void ShellTest::startShell()
{
    platform::settings() = platform::loadSettings(folder);
    ASSERT_TRUE(shell::openMainWindow());
    // The start page is done with (in tests nothing answers there) before the test shows pages of its own: a late
    // end of its load would otherwise pass for theirs.
    auto* view = static_cast<QWebEngineView*>(shell::mainBrowser->view());
    ASSERT_TRUE(processEventsUntil(
        [view] { return view->history()->currentItem().isValid() && !view->page()->isLoading(); }));
}
