#pragma once
// The notification-area icon.

#include <functional>
#include <optional>
#include <string>

class QPixmap;
class QSystemTrayIcon;

namespace platform {

// Whether the desktop has a notification area to put an icon in.
bool trayAvailable();
// Tests decide the answer; std::nullopt asks the desktop again.
void setTrayAvailableOverride(std::optional<bool> available);

class TrayIcon {
public:
    // Shows the icon at once; onLeftClick runs for a single left click only.
    TrayIcon(const QPixmap& picture, const std::string& toolTip, std::function<void()> onLeftClick);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    std::string toolTip() const;
    // A balloon message at the icon, for a desktop without a notification service; onClicked runs when the user
    // clicks it.
    void showMessage(const std::string& title, const std::string& text, std::function<void()> onClicked = {});
    // For tests: what a left click on the icon does.
    void simulateLeftClick();

private:
    QSystemTrayIcon* m_icon = nullptr;
    std::function<void()> m_onLeftClick;
    std::function<void()> m_onMessageClicked;
};

} // namespace platform
