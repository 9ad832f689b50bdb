#include "platform/wayland/WaylandPlatformIntegration.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "platform/LogindSleepWatcher.h"
#include "platform/wayland/WaylandIdleProvider.h"
#include "platform/wayland/WaylandInputMonitor.h"
#include "platform/wayland/WaylandScreenCapturer.h"
#include "platform/wayland/WaylandScreenshotCapturer.h"
#include "storage/Log.h"

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

namespace {

// The portal lists its interfaces as <interface name="...">; only the quoted name counts.
const QString quotedScreenCast = u"\"org.freedesktop.portal.ScreenCast\""_s;

bool portalOffersScreenCast(QDBusConnection &bus)
{
    const QDBusMessage reply
            = bus.call(QDBusMessage::createMethodCall(u"org.freedesktop.portal.Desktop"_s,
                                                      u"/org/freedesktop/portal/desktop"_s,
                                                      u"org.freedesktop.DBus.Introspectable"_s,
                                                      u"Introspect"_s),
                       QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
           && reply.arguments().constFirst().toString().contains(quotedScreenCast);
}

} // namespace

WaylandPlatformIntegration::WaylandPlatformIntegration()
    : PlatformIntegration(factories())
{
}

PlatformIntegration::Factories WaylandPlatformIntegration::factories()
{
    // The input monitor reads the idle provider made just before it.
    auto idleProvider = std::make_shared<IIdleProvider *>(nullptr);
    Factories made;
    made.idleProvider = [idleProvider] {
        auto provider = std::make_unique<WaylandIdleProvider>();
        *idleProvider = provider.get();
        return provider;
    };
    made.inputMonitor
            = [idleProvider] { return std::make_unique<WaylandInputMonitor>(*idleProvider); };
    made.screenCapturer = &WaylandPlatformIntegration::createScreenCapturer;
    made.sleepWatcher = [] { return std::make_unique<LogindSleepWatcher>(); };
    return made;
}

std::unique_ptr<IScreenCapturer> WaylandPlatformIntegration::createScreenCapturer()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && portalOffersScreenCast(bus)) {
        Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info,
                         u"Wayland: using ScreenCast portal capturer"_s);
        return std::make_unique<WaylandScreenCapturer>();
    }
    const QDBusConnectionInterface *busInterface = bus.isConnected() ? bus.interface() : nullptr;
    if (busInterface
        && busInterface->isServiceRegistered(u"org.gnome.Shell.Screenshot"_s).value()) {
        Core::Log::write(
                Core::Log::Category::Config, Core::Log::Level::Info,
                u"Wayland: ScreenCast absent — using org.gnome.Shell.Screenshot capturer"_s);
        return std::make_unique<WaylandScreenshotCapturer>();
    }
    // A portal may still come up later; the capturer's steps fail until it does.
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error,
                     u"Wayland: no ScreenCast / Shell.Screenshot — screenshots disabled"_s);
    return std::make_unique<WaylandScreenCapturer>();
}

} // namespace Platform::Wayland
