#include "platform/trayicon.h"

#include "platform/textcodec.h"

#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace platform {

static std::optional<bool> trayOverride;

bool trayAvailable()
{
    return trayOverride ? *trayOverride : QSystemTrayIcon::isSystemTrayAvailable();
}

void setTrayAvailableOverride(std::optional<bool> available)
{
    trayOverride = available;
}

TrayIcon::TrayIcon(const QPixmap& picture, const std::string& toolTip, std::function<void()> onLeftClick)
    : m_icon(new QSystemTrayIcon(QIcon(picture)))
    , m_onLeftClick(std::move(onLeftClick))
{
    m_icon->setToolTip(toWidgetText(toolTip));
    QObject::connect(m_icon, &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            simulateLeftClick();
    });
    QObject::connect(m_icon, &QSystemTrayIcon::messageClicked, [this] {
        auto handler = m_onMessageClicked;
        if (handler)
            handler();
    });
    m_icon->show();
}

TrayIcon::~TrayIcon()
{
    m_icon->hide();
    delete m_icon;
}

std::string TrayIcon::toolTip() const
{
    return fromWidgetText(m_icon->toolTip());
}

void TrayIcon::showMessage(const std::string& title, const std::string& text, std::function<void()> onClicked)
{
    m_onMessageClicked = std::move(onClicked);
    m_icon->showMessage(toWidgetText(title), toWidgetText(text));
}

void TrayIcon::simulateLeftClick()
{
    // The handler may delete this icon, so it runs from a copy.
    auto handler = m_onLeftClick;
    if (handler)
        handler();
}

} // namespace platform
