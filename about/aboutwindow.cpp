#include "about/aboutwindow.h"

#include "about/invite.h"
#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/textcodec.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>

#include <memory>
#include <vector>

namespace about {

namespace {

using shell::place;

QPixmap scaledPicture(const char* relativePath, int width, int height)
{
    QPixmap picture(QString::fromStdString(shell::suppliedFile(relativePath)));
    if (!picture.isNull())
        picture = picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

QLabel* centredText(QWidget* parent, const char* objectName, const QString& text, int x, int y, int width)
{
    auto* label = place(new QLabel(text, parent), objectName, x, y, width, 20);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

// A missing picture leaves its button out altogether.
QPushButton* pictureButton(QDialog& dialog, const char* objectName, const char* file, const char* name, int y)
{
    const QPixmap picture = scaledPicture(file, 110, 30);
    if (picture.isNull())
        return nullptr;
    auto* button = place(new QPushButton(&dialog), objectName, 280, y, 110, 30);
    button->setIcon(QIcon(picture));
    button->setIconSize(picture.size());
    button->setAccessibleName(name); // a picture has no caption a screen reader could read
    button->setAutoDefault(false);
    return button;
}

} // namespace

void aboutWindow(const std::string& programName)
{
    const platform::ProgramSettings& settings = platform::settings();
    // No close box; a close request from the window manager still ends the window.
    QDialog dialog(shell::mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog.setObjectName("aboutWindow");
    dialog.setWindowTitle(platform::toWidgetText(programName));

    const QPixmap logo = scaledPicture("about/logo.bmp", 250, 70);
    if (!logo.isNull())
        place(new QLabel(&dialog), "logo", 10, 10, 250, 70)->setPixmap(logo);

    auto* tabs = place(new QTabWidget(&dialog), "documentTabs", 10, 85, 250, 225);
    // Declared after the dialog, so they go before it: a browser must be deleted before its parent widget.
    std::vector<std::unique_ptr<platform::Browser>> browsers;
    const std::pair<const char*, const char*> documents[] = {
        {"About", "about/about.html"},
        {"Credits", "about/credits.html"},
        {"Read Me", "about/readme.html"},
        {"Licence", "about/licence.html"},
    };
    for (const auto& [title, file] : documents) {
        auto* page = new QWidget;
        page->setObjectName(QString(title) + " page");
        tabs->addTab(page, title);
        browsers.push_back(std::make_unique<platform::Browser>(page, 0, 0, 244, 199));
        browsers.back()->view()->setAccessibleName(title);
        browsers.back()->navigate("file://" + shell::suppliedFile(file));
    }

    centredText(&dialog, "creditLine", platform::toWidgetText(settings.creditText), 10, 315, 255);
    place(new QGroupBox("Tip The Programmer", &dialog), "tipFrame", 270, 5, 130, 95);
    QPushButton* coin = pictureButton(dialog, "coinTipButton", "about/bitcoin.bmp", "Tip using Bitcoin", 25);
    QPushButton* payment = pictureButton(dialog, "paymentTipButton", "about/paypal.bmp", "Tip using PayPal", 60);
    place(new QGroupBox("Invite A Friend", &dialog), "inviteFrame", 270, 110, 130, 185);
    QLabel* yourNameCaption = centredText(&dialog, "yourNameCaption", "Your Name", 280, 130, 110);
    auto* yourName = place(new QLineEdit(&dialog), "yourNameField", 280, 145, 110, 20);
    QLabel* friendNameCaption = centredText(&dialog, "friendNameCaption", "Friends Name", 280, 175, 110);
    auto* friendName = place(new QLineEdit(&dialog), "friendNameField", 280, 190, 110, 20);
    QLabel* friendEmailCaption = centredText(&dialog, "friendEmailCaption", "Friends Email", 280, 220, 110);
    auto* friendEmail = place(new QLineEdit(&dialog), "friendEmailField", 280, 235, 110, 20);
    yourNameCaption->setBuddy(yourName);
    friendNameCaption->setBuddy(friendName);
    friendEmailCaption->setBuddy(friendEmail);
    auto* send = place(new QPushButton("Send", &dialog), "sendButton", 320, 265, 40, 20);
    auto* makerSite = place(new QPushButton(platform::toWidgetText(settings.makerSiteCaption), &dialog),
                            "makerSiteButton", 270, 305, 130, 20);
    auto* exit = place(new QPushButton("Exit", &dialog), "exitButton", 270, 330, 130, 20);

    if (coin)
        QObject::connect(coin, &QPushButton::clicked, &dialog, [&] {
            platform::copyToClipboard(settings.tipAddress);
            platform::showMessageBox("Tip Using Bitcoin", "Address has been copied to your clipboard",
                                     platform::BoxIcon::Information);
        });
    if (payment)
        QObject::connect(payment, &QPushButton::clicked, &dialog,
                         [&] { platform::openInDefaultBrowser(settings.paymentSiteUrl); });
    QObject::connect(makerSite, &QPushButton::clicked, &dialog,
                     [&] { platform::openInDefaultBrowser(settings.makerSiteUrl); });
    QObject::connect(send, &QPushButton::clicked, &dialog, [&] {
        platform::openInDefaultBrowser(buildInviteUrl(settings.inviteUrl, platform::fromWidgetText(yourName->text()),
                                                      platform::fromWidgetText(friendName->text()),
                                                      platform::fromWidgetText(friendEmail->text()), programName));
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::accept);

    shell::showFixedCentred(dialog, 410, 360);
    dialog.exec();
}

} // namespace about
