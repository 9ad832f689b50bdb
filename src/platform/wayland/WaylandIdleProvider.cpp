#include "platform/wayland/WaylandIdleProvider.h"

#include <QDBusMessage>

#include "storage/Log.h"

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

namespace {

constexpr int callTimeoutMs = 1000;
constexpr qint64 cacheMs = 500;

struct IdleService
{
    QString service;
    QString path;
    QString interface;
    QString method;
};

const IdleService mutter{ u"org.gnome.Mutter.IdleMonitor"_s,
                          u"/org/gnome/Mutter/IdleMonitor/Core"_s,
                          u"org.gnome.Mutter.IdleMonitor"_s, u"GetIdletime"_s };
const IdleService muffin{ u"org.cinnamon.Muffin.IdleMonitor"_s,
                          u"/org/cinnamon/Muffin/IdleMonitor/Core"_s,
                          u"org.cinnamon.Muffin.IdleMonitor"_s, u"GetIdletime"_s };
const QString screenSaverService = u"org.freedesktop.ScreenSaver"_s;
const QStringList screenSaverPaths{ u"/org/freedesktop/ScreenSaver"_s, u"/ScreenSaver"_s };

// The first argument of the reply as a signed 64-bit number; -1 for an error, no argument or one
// that does not convert.
qint64 callDbusInt64(QDBusConnection &bus, const QString &service, const QString &path,
                     const QString &interface, const QString &method)
{
    const QDBusMessage reply
            = bus.call(QDBusMessage::createMethodCall(service, path, interface, method),
                       QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return -1;
    bool ok = false;
    const qint64 value = reply.arguments().constFirst().toLongLong(&ok);
    return ok ? value : -1;
}

qint64 callService(QDBusConnection &bus, const IdleService &idle)
{
    return callDbusInt64(bus, idle.service, idle.path, idle.interface, idle.method);
}

void logInfo(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info, message);
}

} // namespace

WaylandIdleProvider::WaylandIdleProvider(QObject *parent)
    : IIdleProvider(parent)
    , m_bus(QDBusConnection::sessionBus())
{
    probe();
}

void WaylandIdleProvider::probe()
{
    m_backend = Backend::None;
    if (m_bus.isConnected()) {
        if (callService(m_bus, mutter) >= 0) {
            m_backend = Backend::Mutter;
        } else if (callService(m_bus, muffin) >= 0) {
            m_backend = Backend::Muffin;
        } else {
            for (const QString &path : screenSaverPaths) {
                if (callDbusInt64(m_bus, screenSaverService, path, screenSaverService,
                                  u"GetSessionIdleTime"_s)
                    >= 0) {
                    m_backend = Backend::ScreenSaver;
                    m_screenSaverPath = path;
                    break;
                }
            }
        }
    }

    switch (m_backend) {
    case Backend::Mutter:
        logInfo(u"WaylandIdleProvider: using Mutter IdleMonitor"_s);
        break;
    case Backend::Muffin:
        logInfo(u"WaylandIdleProvider: using Muffin IdleMonitor"_s);
        break;
    case Backend::ScreenSaver:
        logInfo(u"WaylandIdleProvider: using KDE ScreenSaver idle at %1"_s.arg(m_screenSaverPath));
        break;
    case Backend::None:
        logInfo(u"WaylandIdleProvider: no idle backend (Mutter/KDE) — idle detection disabled"_s);
        break;
    }
}

qint64 WaylandIdleProvider::queryMilliseconds()
{
    switch (m_backend) {
    case Backend::Mutter:
        return callService(m_bus, mutter);
    case Backend::Muffin:
        return callService(m_bus, muffin);
    case Backend::ScreenSaver:
        return callDbusInt64(m_bus, screenSaverService, m_screenSaverPath, screenSaverService,
                             u"GetSessionIdleTime"_s);
    case Backend::None:
        break;
    }
    return -1;
}

qint64 WaylandIdleProvider::idleSeconds()
{
    if (m_backend == Backend::None)
        return 0;
    if (!m_queryClock.isValid() || m_queryClock.elapsed() >= cacheMs) {
        const qint64 milliseconds = queryMilliseconds();
        // A failed query counts as activity until the next one.
        m_cachedIdleSeconds = milliseconds < 0 ? 0 : milliseconds / 1000;
        m_queryClock.restart();
    }
    return m_cachedIdleSeconds;
}

bool WaylandIdleProvider::isAvailable()
{
    return m_backend != Backend::None;
}

} // namespace Platform::Wayland
