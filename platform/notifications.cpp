#include "platform/notifications.h"

#include "platform/textcodec.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <map>

namespace platform {

namespace {

const char* const service = "org.freedesktop.Notifications";
const char* const objectPath = "/org/freedesktop/Notifications";
const char* const interfaceName = "org.freedesktop.Notifications";
// A local bus answers at once; a hung service must not hold the window for long.
constexpr int callTimeoutMs = 5000;

// Receives the service's signals; QtDBus delivers a signal only to a slot.
class NotificationSignals : public QObject {
    Q_OBJECT
public:
    std::map<std::uint32_t, std::function<void()>> waiting; // by notification id

public slots:
    void actionInvoked(uint id, const QString& actionKey)
    {
        if (actionKey != QLatin1String("default"))
            return;
        const auto found = waiting.find(id);
        if (found == waiting.end())
            return; // another program's notification
        const std::function<void()> onDefault = std::move(found->second);
        waiting.erase(found);
        if (onDefault)
            onDefault();
    }
    void notificationClosed(uint id, uint /*reason*/) { waiting.erase(id); }
};

NotificationSignals* signalReceiver()
{
    static NotificationSignals* receiver = nullptr;
    if (receiver)
        return receiver;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    receiver = new NotificationSignals;
    // Any sender: the service's unique name changes when it is started again.
    bus.connect(QString(), objectPath, interfaceName, "ActionInvoked", receiver, SLOT(actionInvoked(uint, QString)));
    bus.connect(QString(), objectPath, interfaceName, "NotificationClosed", receiver,
                SLOT(notificationClosed(uint, uint)));
    return receiver;
}

bool readsMarkup(QDBusConnection& bus)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(service, objectPath, interfaceName, "GetCapabilities");
    const QDBusReply<QStringList> reply = bus.call(call, QDBus::Block, callTimeoutMs);
    return reply.isValid() && reply.value().contains("body-markup");
}

} // namespace

bool notificationsAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> startable = bus.interface()->activatableServiceNames();
    return startable.isValid() && startable.value().contains(service);
}

std::uint32_t showNotification(const std::string& summary, const std::string& body, std::function<void()> onDefault)
{
    NotificationSignals* receiver = signalReceiver();
    if (!receiver)
        return 0;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QString bodyText = toWidgetText(body);
    if (readsMarkup(bus))
        bodyText = bodyText.toHtmlEscaped();
    QDBusMessage call = QDBusMessage::createMethodCall(service, objectPath, interfaceName, "Notify");
    call << QString("Quillobrand") << uint(0) << QString() << toWidgetText(summary) << bodyText
         << QStringList({"default", "Show"}) << QVariantMap() << int(-1);
    // Blocking: the action signal for this id can only be handled after the id is noted below.
    const QDBusReply<uint> reply = bus.call(call, QDBus::Block, callTimeoutMs);
    if (!reply.isValid() || reply.value() == 0)
        return 0;
    receiver->waiting[reply.value()] = std::move(onDefault);
    return reply.value();
}

} // namespace platform

#include "notifications.moc"
