#include "services/alerts/notify/dbus_notifier.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace tev::alerts {

DbusNotifier::DbusNotifier() : connection_(QDBusConnection::sessionBus()) {}

DbusNotifier::DbusNotifier(const QDBusConnection& connection) : connection_(connection) {}

void DbusNotifier::notify(const std::string& summary, const std::string& body) {
    if (!connection_.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    call << QString(kAppName) << 0u << QString("dialog-warning") << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << QVariantMap() << kExpireMs;
    // Auto-starting a notification server stays the bus's choice; no answer is awaited.
    connection_.send(call);
    ++sent_;
}

}  // namespace tev::alerts
