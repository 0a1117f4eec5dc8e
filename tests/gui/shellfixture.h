#pragma once
// A fresh program folder and main window per test, with the process end and the message boxes answered by the
// test instead of ending the test process or waiting for a user.

#include "platform/messagebox.h"

#include <QListWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Handles events until done() holds or the time runs out; returns done().
bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 15000);
// Runs act on the next modal window as soon as it is shown (bounded by 60 s; a window that does not open by then
// fails the test).
void whenModalOpens(std::function<void(QWidget*)> act);
// The same for the modal window of that object name, once it is the active one.
void whenWindowOpens(const char* objectName, std::function<void(QWidget*)> act);
// Opens the modal window of that object name by calling open (a button's click, a command), runs act on it, and
// closes it when act left it open; true when it opened. The main window takes input again afterwards.
bool withModalWindow(const char* objectName, const std::function<void()>& open,
                     const std::function<void(QWidget*)>& act);
// The window's child of that object name, failing the test when there is none.
template <typename T = QWidget> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

inline std::vector<std::string> itemsOf(QListWidget* list)
{
    std::vector<std::string> items;
    for (int row = 0; row < list->count(); ++row)
        items.push_back(list->item(row)->text().toStdString());
    return items;
}

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
std::string configBytes(int expertMode, int defaultProfile, int trayMode);

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the main window in the test's program folder.
    void startShell();

    std::string folder; // the program folder, ending in "/"
    int endCalls = 0;
    int lastExitCode = -1;
    std::vector<platform::MessageBoxRequest> boxes;
    std::deque<bool> answers; // Yes/No answers for the next boxes; No when empty
};
