#pragma once
// Desktop notifications through the freedesktop notification service (org.freedesktop.Notifications on the session
// bus). Which way the user is told when there is no such service (the tray icon's message, or nothing) is the
// caller's choice.

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Whether the session bus has the notification service, running or startable on demand.
bool notificationsAvailable();

// Shows a notification from "Quillobrand" with a default action; onDefault runs on this thread when the user
// invokes that action (clicks the notification). The body is escaped when the service reads markup in it. Returns
// the service's id for the notification, 0 when the service could not be reached or refused it.
std::uint32_t showNotification(const std::string& summary, const std::string& body, std::function<void()> onDefault);

} // namespace platform
