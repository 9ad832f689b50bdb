#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace Platform {

DesktopNotifier &DesktopNotifier::instance()
{
    static DesktopNotifier notifier;
    return notifier;
}

bool DesktopNotifier::notify(const QString &summary, const QString &body, int timeoutMs)
{
    const auto name = u"org.freedesktop.Notifications"_s;
    // A dynamic interface is invalid while nobody owns the name, so no call goes out then.
    QDBusInterface notifications(name, u"/org/freedesktop/Notifications"_s, name,
                                 QDBusConnection::sessionBus());
    if (!notifications.isValid())
        return false;

    // The service checks the signature "susssasa{sv}i": every argument goes with its exact type.
    const QDBusMessage reply = notifications.call(u"Notify"_s, u"Tembrix Clockwarden"_s, quint32(0),
                                                  u"tembrix-clockwarden"_s, summary, body,
                                                  QStringList(), QVariantMap(), qint32(timeoutMs));
    return reply.type() != QDBusMessage::ErrorMessage;
}

} // namespace Platform
