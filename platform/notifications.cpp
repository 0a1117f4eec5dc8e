#include "platform/notifications.h"

#include "platform/textcodec.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
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
class NotificationSignals : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    struct Waiting {
        QString sender; // the unique bus name of the service that gave the id
        std::function<void()> onDefault;
    };
    std::map<std::uint32_t, Waiting> waiting; // by notification id

public slots:
    void actionInvoked(uint id, const QString& actionKey)
    {
        const auto found = ours(id);
        if (found == waiting.end() || actionKey != QLatin1String("default"))
            return;
        const std::function<void()> onDefault = std::move(found->second.onDefault);
        waiting.erase(found);
        if (onDefault)
            onDefault();
    }
    void notificationClosed(uint id, uint /*reason*/)
    {
        const auto found = ours(id);
        if (found != waiting.end())
            waiting.erase(found);
    }

private:
    // Anyone on the session bus can send a signal by these names: only the service that showed the notification
    // may click or close it.
    std::map<std::uint32_t, Waiting>::iterator ours(uint id)
    {
        const auto found = waiting.find(id);
        if (found == waiting.end() || !calledFromDBus() || message().service() != found->second.sender)
            return waiting.end();
        return found;
    }
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
    // Any sender here: the service's unique name changes when it is started again. Each signal is checked
    // against the name that answered for its notification.
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
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1
        || reply.arguments()[0].userType() != QMetaType::UInt)
        return 0;
    const std::uint32_t id = reply.arguments()[0].toUInt();
    if (id == 0 || reply.service().isEmpty())
        return 0;
    receiver->waiting[id] = {reply.service(), std::move(onDefault)};
    return id;
}

} // namespace platform

#include "notifications.moc"
