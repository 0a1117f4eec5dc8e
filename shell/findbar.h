#pragma once
// The find bar at the bottom of the main browser: a field, "Previous" and "Next", and the count of matches.
// Enter finds the next match, Shift+Enter the one before, Escape closes the bar.

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace shell {

struct FindBar {
    QWidget* bar = nullptr;
    QLineEdit* field = nullptr;
    QPushButton* previous = nullptr;
    QPushButton* next = nullptr;
    QLabel* count = nullptr;
    QPushButton* close = nullptr;
};
extern FindBar findBar;

inline constexpr int findBarHeight = 26;

// Made hidden, in the area below the menu bar. Once the main browser exists, each page it loads while the bar is
// open is looked through again for the text, so the count is the new page's.
void createFindBar(QWidget* parent);
void followMainBrowser();
// Shows the bar with its field ready for typing (what it held is selected); the browser makes room.
void openFindBar();
// Hides the bar, ends the marking of the matches and gives the keyboard back to the browser.
void closeFindBar();
// Puts the bar at the bottom of an area that wide and high; returns its height while it is shown, else 0.
int placeFindBar(int areaWidth, int areaHeight);
void releaseFindBar();

// "3 of 17"; "No matches" when there is none; empty before anything was looked for.
QString matchCountText(int active, int count);

} // namespace shell
