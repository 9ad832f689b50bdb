#include "platform/wayland/WaylandScreenshotCapturer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "storage/Log.h"

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

namespace {

const QString shellService = u"org.gnome.Shell.Screenshot"_s;
constexpr int callTimeoutMs = 8000;

void logError(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error, message);
}

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

WaylandScreenshotCapturer::WaylandScreenshotCapturer(QObject *parent)
    : IScreenCapturer(parent)
    , m_bus(QDBusConnection::sessionBus())
{
    const QDBusConnectionInterface *busInterface
            = m_bus.isConnected() ? m_bus.interface() : nullptr;
    m_available = busInterface && busInterface->isServiceRegistered(shellService).value();
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info,
                     u"WaylandScreenshotCapturer: org.gnome.Shell.Screenshot %1"_s.arg(
                             m_available ? u"available"_s : u"unavailable"_s));
}

bool WaylandScreenshotCapturer::isAvailable()
{
    return m_available;
}

void WaylandScreenshotCapturer::requestAccess() { }

QList<QImage> WaylandScreenshotCapturer::captureScreens()
{
    if (!m_available)
        return {};
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return captureInto(runtime + u"/tembrix-wlshot.png"_s);
    // No runtime directory: a fixed name in the shared temporary directory could be planted by
    // another user, so the request goes into a private (0700) folder of its own.
    const QTemporaryDir privateDir(QDir::tempPath() + u"/tembrix-wlshot-XXXXXX"_s);
    if (!privateDir.isValid()) {
        logError(u"Shell.Screenshot failed: %1"_s.arg(privateDir.errorString()));
        return {};
    }
    return captureInto(privateDir.filePath(u"tembrix-wlshot.png"_s));
}

QList<QImage> WaylandScreenshotCapturer::captureInto(const QString &requestedPath)
{
    QFile::remove(requestedPath);
    QDBusMessage call = QDBusMessage::createMethodCall(
            shellService, u"/org/gnome/Shell/Screenshot"_s, shellService, u"Screenshot"_s);
    call.setArguments({ true, false, requestedPath });
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, callTimeoutMs);

    if (reply.type() == QDBusMessage::ErrorMessage
        && reply.errorName() == u"org.freedesktop.DBus.Error.AccessDenied"_s) {
        // GNOME 41 and later keep the service to the Shell's own callers: no later call can
        // succeed, so the capturer gives up and lets the permission state say so.
        logError(u"Shell.Screenshot failed: %1"_s.arg(reply.errorMessage()));
        m_available = false;
        Q_EMIT availabilityChanged();
        return {};
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) {
        logError(u"Shell.Screenshot failed: %1"_s.arg(
                reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString()));
        return {};
    }
    const bool success = reply.arguments().at(0).toBool();
    const QString usedPath = reply.arguments().at(1).toString();
    if (!success || usedPath.isEmpty()) {
        logError(u"Shell.Screenshot returned no file"_s);
        return {};
    }

    const QImage image(usedPath);
    // Only the file this program asked for is deleted: whoever owns the service name must not
    // be able to make it delete any other file of the user's.
    if (cleanAbsolute(usedPath) == cleanAbsolute(requestedPath))
        QFile::remove(usedPath);
    if (image.isNull()) {
        logError(u"Shell.Screenshot: could not load %1"_s.arg(usedPath));
        return {};
    }
    return { image };
}

} // namespace Platform::Wayland
