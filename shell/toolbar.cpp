#include "shell/toolbar.h"

#include "shell/actions.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

#include <cstring>

namespace shell {

Toolbar toolbar;
std::array<QPixmap, 8>& images()
{
    static std::array<QPixmap, 8> loaded;
    return loaded;
}

void createMenuBar()
{
    QMenuBar* bar = mainWindow->menuBar();
    struct MenuItem {
        const char* menuTitle;
        const char* itemText;
        int command;
    };
    static const MenuItem items[] = {
        {"Menu", "Ads List", adsCommand},
        {"Menu", "Watch Searches", watchCommand},
        {"Menu", "Find in Page", findInPageCommand},
        {"Menu", "Exit Program", exitProgramCommand},
        {"About", "About Quillobrand", aboutCommand},
        {"Help", "Help", helpCommand},
    };
    QMenu* menu = nullptr;
    const char* menuTitle = "";
    for (const MenuItem& item : items) {
        if (std::strcmp(item.menuTitle, menuTitle) != 0)
            menu = bar->addMenu(menuTitle = item.menuTitle);
        QAction* action = menu->addAction(item.itemText);
        action->setData(item.command);
        if (item.command == adsCommand)
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
        const int command = item.command;
        QObject::connect(action, &QAction::triggered, [command] { dispatchCommand(command); });
    }
}

void createKeys()
{
    const std::pair<int, QKeySequence> menuKeys[] = {
        {helpCommand, QKeySequence(Qt::Key_F1)},
        {exitProgramCommand, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {findInPageCommand, QKeySequence(Qt::CTRL | Qt::Key_F)},
    };
    for (QAction* menu : mainWindow->menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            for (const auto& [command, key] : menuKeys)
                if (item->data().toInt() == command)
                    item->setShortcut(key);
        }
    }
    const std::pair<QKeySequence, void (*)()> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Left), goBack},
        {QKeySequence(Qt::ALT | Qt::Key_Right), goForward},
        {QKeySequence(Qt::Key_F5), reloadPage},
    };
    for (const auto& [key, action] : keys)
        QObject::connect(new QShortcut(key, mainWindow), &QShortcut::activated, action);
}

static QPixmap loadImage(const char* fileName, bool scaleTo27)
{
    QPixmap picture(QString::fromStdString(suppliedFile(fileName)));
    if (scaleTo27 && !picture.isNull())
        picture = picture.scaled(27, 27, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

static QPushButton* makeButton(const char* objectName, int x, int y, int width, int height)
{
    auto* button = new QPushButton(clientArea);
    button->setObjectName(objectName);
    button->setGeometry(x, y, width, height);
    button->setFocusPolicy(Qt::NoFocus); // the browser below keeps the keyboard
    return button;
}

static QPushButton* makeImageButton(const char* objectName, int x, int y, int image, const char* name, void (*action)())
{
    QPushButton* button = makeButton(objectName, x, y, 35, 40);
    if (!images()[image].isNull()) {
        button->setIcon(QIcon(images()[image]));
        button->setIconSize(images()[image].size());
    }
    // A picture has no caption a screen reader could read; the button's tool tip text names it.
    button->setAccessibleName(name);
    QObject::connect(button, &QPushButton::clicked, action);
    return button;
}

void createImageButtons()
{
    images()[0] = loadImage("back.bmp", false);
    images()[1] = loadImage("fwd.bmp", false);
    images()[2] = loadImage("search.bmp", false);
    images()[3] = loadImage("home2.bmp", true);
    images()[4] = loadImage("builder.bmp", false);
    images()[5] = loadImage("search.bmp", false);
    images()[7] = loadImage("help.bmp", true);

    toolbar.back = makeImageButton("backButton", 10, 10, 0, "Back", goBack);
    toolbar.forward = makeImageButton("forwardButton", 50, 10, 1, "Forward", goForward);
    toolbar.home = makeImageButton("homeButton", 90, 10, 3, "Tarnwick Home", goHome);
    toolbar.searchBuilder = makeImageButton("searchBuilderButton", 10, 55, 4, "Search Builder", openSearchBuilder);
    toolbar.help = makeImageButton("helpButton", 50, 55, 7, "Help!", startHelpProgram);
}

void createTextButtons(int clientWidth)
{
    struct TextButton {
        QPushButton* Toolbar::*member;
        const char* objectName;
        const char* caption;
        int y;
        void (*action)();
    };
    static const TextButton buttons[] = {
        {&Toolbar::saveThisPage, "saveThisPageButton", "Save This Page", 10, openSaveThisPage},
        {&Toolbar::savedPages, "savedPagesButton", "Saved Pages", 30, openSavedPages},
        {&Toolbar::programOptions, "programOptionsButton", "Program Options", 50, openProgramOptions},
        {&Toolbar::emailOptions, "emailOptionsButton", "Email Options", 70, openEmailOptions},
        {&Toolbar::emailToFriend, "emailToFriendButton", "Email To Friend", 90, openEmailToFriend},
        {&Toolbar::replyToAd, "replyToAdButton", "Reply To Ad", 110, openReplyToAd},
    };
    for (const TextButton& b : buttons) {
        QPushButton* button = makeButton(b.objectName, clientWidth - 135, b.y, 115, 20);
        button->setText(b.caption);
        QObject::connect(button, &QPushButton::clicked, b.action);
        toolbar.*b.member = button;
    }
}

void placeTextButtons(int clientWidth)
{
    for (QPushButton* button : {toolbar.saveThisPage, toolbar.savedPages, toolbar.programOptions, toolbar.emailOptions,
                                toolbar.emailToFriend, toolbar.replyToAd}) {
        if (button)
            button->move(clientWidth - 135, button->y());
    }
}

void applyToolTips(int expertMode)
{
    const std::pair<QPushButton*, const char*> tips[] = {
        {toolbar.back, "Back"},
        {toolbar.forward, "Forward"},
        {toolbar.searchBuilder, "Search Builder"},
        {toolbar.help, "Help!"},
        {toolbar.home, "Tarnwick Home"},
        {toolbar.programOptions, "Program options"},
        {toolbar.saveThisPage, "Save this page"},
        {toolbar.savedPages, "Load or delete a saved page"},
        {toolbar.emailOptions, "Email setup options"},
        {toolbar.emailToFriend, "Email this page to a friend"},
        {toolbar.replyToAd, "Reply to this ad"},
    };
    for (const auto& [button, tip] : tips) {
        if (button)
            button->setToolTip(expertMode == 0 ? QString(tip) : QString());
    }
}

const QPixmap& trayPicture()
{
    return images()[5];
}

void releaseToolbar()
{
    // The buttons died with the main window.
    toolbar = Toolbar{};
}

} // namespace shell
