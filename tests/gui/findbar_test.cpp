// Finding in the shown page, and the keys of the main window a Linux user presses without thinking.

#include "shellfixture.h"

#include "shell/actions.h"
#include "shell/findbar.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <filesystem>

namespace fs = std::filesystem;
using namespace shell;

namespace {

class Find : public ShellTest {
protected:
    // Shows a page of the program folder in the main browser.
    void show(const std::string& file, const std::string& html)
    {
        writeFile(folder + file, html);
        mainBrowser->navigate("file://" + folder + file);
        ASSERT_TRUE(mainBrowser->waitForLoadFinished(30000));
    }
    bool countReads(const QString& text)
    {
        return processEventsUntil([&] { return findBar.count->text() == text; }, 20000);
    }
};

// Seventeen desks and no other "d", so the first match stays the first while the word is typed.
std::string seventeenDesks()
{
    std::string html = "<html><body>";
    for (int i = 1; i <= 17; ++i)
        html += "<p>Herman Miller desk " + std::to_string(i) + "</p>";
    return html + "</body></html>";
}

TEST_F(Find, TheBarCountsAndWalksTheMatchesAndEscapeClosesIt)
{
    startShell();
    show("desks.html", seventeenDesks());
    const int W = clientWidth;
    const int areaHeight = clientArea->height();
    dispatchCommand(findInPageCommand); // the menu item "Find in Page"
    ASSERT_TRUE(findBar.bar->isVisible());
    EXPECT_EQ(mainWindow->focusWidget(), findBar.field);
    EXPECT_EQ(findBar.bar->geometry(), QRect(0, areaHeight - findBarHeight, W, findBarHeight));
    EXPECT_EQ(mainBrowser->view()->geometry(), QRect(0, 140, W, areaHeight - findBarHeight - 140))
        << "the browser ends above the bar";

    QTest::keyClicks(findBar.field, "desk");
    ASSERT_TRUE(countReads("1 of 17")) << findBar.count->text().toStdString();
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* count;
    };
    const Step steps[] = {
        {"Enter", [] { QTest::keyClick(findBar.field, Qt::Key_Return); }, "2 of 17"},
        {"Enter", [] { QTest::keyClick(findBar.field, Qt::Key_Enter); }, "3 of 17"},
        {"Shift+Enter", [] { QTest::keyClick(findBar.field, Qt::Key_Return, Qt::ShiftModifier); }, "2 of 17"},
        {"Previous", [] { findBar.previous->click(); }, "1 of 17"},
        {"Previous wraps", [] { findBar.previous->click(); }, "17 of 17"},
        {"Next wraps", [] { findBar.next->click(); }, "1 of 17"},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_TRUE(countReads(step.count)) << step.what << ": " << findBar.count->text().toStdString();
    }
    // Another page while the bar is open: the count is that page's.
    show("three.html", "<html><body><p>desk</p><p>desk</p><p>desk</p></body></html>");
    EXPECT_TRUE(countReads("1 of 3")) << findBar.count->text().toStdString();
    findBar.field->selectAll();
    QTest::keyClicks(findBar.field, "wardrobe");
    EXPECT_TRUE(countReads("No matches")) << findBar.count->text().toStdString();

    QTest::keyClick(findBar.field, Qt::Key_Escape);
    EXPECT_TRUE(findBar.bar->isHidden());
    EXPECT_EQ(findBar.count->text(), "");
    EXPECT_EQ(mainBrowser->view()->geometry(), QRect(0, 140, W, clientHeight - 140));
    EXPECT_EQ(endCalls, 0) << "Escape closes the bar and nothing else";

    // Opened again it holds the last text, selected for typing over.
    openFindBar();
    EXPECT_EQ(findBar.field->text(), "wardrobe");
    EXPECT_EQ(findBar.field->selectedText(), "wardrobe");
    findBar.close->click();
    EXPECT_TRUE(findBar.bar->isHidden());
}

TEST_F(Find, TheBarStaysAtTheBottomWhenTheWindowIsResized)
{
    startShell();
    openFindBar();
    mainWindow->resize(900, 650);
    ASSERT_TRUE(processEventsUntil([] { return clientArea->width() == 900; }));
    const int areaHeight = clientArea->height();
    EXPECT_EQ(findBar.bar->geometry(), QRect(0, areaHeight - findBarHeight, 900, findBarHeight));
    EXPECT_EQ(mainBrowser->view()->geometry(), QRect(0, 140, 900, areaHeight - findBarHeight - 140));
}

TEST_F(Find, TheMenuShowsFindInPageAndTheKeysBesideTheirItems)
{
    startShell();
    std::map<QString, QKeySequence> keys;
    for (QAction* menu : mainWindow->menuBar()->actions())
        for (const QAction* item : menu->menu()->actions())
            keys[menu->text() + "/" + item->text()] = item->shortcut();
    EXPECT_EQ(keys["Menu/Find in Page"], QKeySequence("Ctrl+F"));
    EXPECT_EQ(keys["Menu/Exit Program"], QKeySequence("Ctrl+Q"));
    EXPECT_EQ(keys["Help/Help"], QKeySequence("F1"));
}

// Each key as a user presses it in the page shown, and what shows that it did its work (given the program folder
// and the count of process ends).
struct KeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    std::function<bool(const std::string& folder, int endCalls)> done;
};

bool showsPage(const char* file)
{
    return processEventsUntil([&] { return mainBrowser->url().fileName() == file; });
}

class MainWindowKeys : public Find, public ::testing::WithParamInterface<KeyCase> { };

TEST_P(MainWindowKeys, DoWhatTheirButtonOrMenuItemDoes)
{
    const KeyCase& c = GetParam();
    // A help program that leaves a mark; the tray mode Never, so that Ctrl+Q ends the program.
    writeFile(folder + "Help/Help", "#!/bin/sh\necho started > '" + folder + "help-ran'\n");
    fs::permissions(folder + "Help/Help", fs::perms::owner_all);
    writeFile(folder + "Quillobrand.cfg", configBytes(0, 0, 1));
    startShell();
    show("a.html", "<html><body>A</body></html>");
    show("b.html", "<html><body>B</body></html>");
    if (c.key == Qt::Key_Right) { // Forward needs a page to go forward to
        mainBrowser->back();
        ASSERT_TRUE(showsPage("a.html"));
    }
    writeFile(folder + "b.html", "<html><body>B again</body></html>"); // for F5
    // Keys go to the active window; window tests running side by side on one display take the focus from each
    // other, so it is asked for again until it comes (bounded).
    bool active = false;
    for (int attempt = 0; attempt < 30 && !active; ++attempt) {
        mainWindow->activateWindow();
        active = QTest::qWaitForWindowActive(mainWindow, 1000);
    }
    ASSERT_TRUE(active);
    QWidget* page = mainBrowser->view()->focusProxy() ? mainBrowser->view()->focusProxy() : mainBrowser->view();
    QTest::keyClick(page, Qt::Key(c.key), c.modifiers);
    EXPECT_TRUE(c.done(folder, endCalls));
    EXPECT_EQ(endCalls, c.key == Qt::Key_Q ? 1 : 0) << "only Ctrl+Q ends the program";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MainWindowKeys,
    ::testing::Values(
        KeyCase{"F1",
                Qt::Key_F1,
                {},
                [](const std::string& folder, int) {
                    return processEventsUntil([&] { return fs::exists(folder + "help-ran"); });
                }},
        KeyCase{"CtrlQ", Qt::Key_Q, Qt::ControlModifier, [](const std::string&, int ends) { return ends == 1; }},
        KeyCase{"AltLeft", Qt::Key_Left, Qt::AltModifier, [](const std::string&, int) { return showsPage("a.html"); }},
        KeyCase{"AltRight", Qt::Key_Right, Qt::AltModifier,
                [](const std::string&, int) { return showsPage("b.html"); }},
        KeyCase{"F5",
                Qt::Key_F5,
                {},
                [](const std::string&, int) {
                    return processEventsUntil(
                        [] { return mainBrowser->documentSource().find("B again") != std::string::npos; });
                }},
        KeyCase{"CtrlF", Qt::Key_F, Qt::ControlModifier,
                [](const std::string&, int) {
                    return findBar.bar->isVisible() && mainWindow->focusWidget() == findBar.field;
                }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MatchCount, ReadsAsTheUserCountsThem)
{
    EXPECT_EQ(matchCountText(3, 17), "3 of 17");
    EXPECT_EQ(matchCountText(1, 1), "1 of 1");
    EXPECT_EQ(matchCountText(0, 0), "No matches");
}

} // namespace
