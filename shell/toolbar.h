#pragma once
// The main window's image buttons, text buttons, menu bar and tool tips.

#include <QPixmap>
#include <array>

class QPushButton;

namespace shell {

struct Toolbar {
    QPushButton* back = nullptr;
    QPushButton* forward = nullptr;
    QPushButton* home = nullptr;
    QPushButton* searchBuilder = nullptr;
    QPushButton* help = nullptr;
    QPushButton* saveThisPage = nullptr;
    QPushButton* savedPages = nullptr;
    QPushButton* programOptions = nullptr;
    QPushButton* emailOptions = nullptr;
    QPushButton* emailToFriend = nullptr;
    QPushButton* replyToAd = nullptr;
};
extern Toolbar toolbar;

// Images by their fixed numbers: 0 back, 1 forward, 2 search (builder window), 3 home, 4 builder, 5 search (tray
// icon), 7 help. A missing file leaves an empty picture.
// Made on first use: a QPixmap can't exist before the application object.
std::array<QPixmap, 8>& images();

// Command numbers of the menu items; 4 has no item: a second start sends it.
enum Command { exitProgramCommand = 1, helpCommand = 2, aboutCommand = 3, restoreCommand = 4, watchCommand = 5,
               adsCommand = 6 };
inline constexpr int findInPageCommand = 7;

void createMenuBar();
// F1 Help, Ctrl+Q Exit Program, Ctrl+F Find in Page (shown beside their menu items), Alt+Left and Alt+Right Back
// and Forward, F5 reload. After the menu bar.
void createKeys();
void createImageButtons();
void createTextButtons(int clientWidth);
// The text buttons at x = clientWidth - 135, each at its own y.
void placeTextButtons(int clientWidth);
// Tool tips on the eleven buttons when expertMode is 0, none otherwise.
void applyToolTips(int expertMode);
const QPixmap& trayPicture();
void releaseToolbar();

} // namespace shell
