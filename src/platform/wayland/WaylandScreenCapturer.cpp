#include "platform/wayland/WaylandScreenCapturer.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QTimer>

#include "platform/DesktopNotifier.h"
#include "platform/wayland/PipeWireState.h"
#include "platform/wayland/WaylandPortalRequest.h"
#include "storage/Log.h"
#include "storage/Preferences.h"

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString screenCastInterface = u"org.freedesktop.portal.ScreenCast"_s;

void logInfo(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info, message);
}

void logError(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error, message);
}

QString storedRestoreToken()
{
    return Storage::Preferences::instance()
            .value(Storage::PreferenceKeys::screencastRestoreToken)
            .toString();
}

// The "streams" result of Start, a(ua{sv}): the node ids in order; the property maps are unused.
QList<quint32> streamNodeIds(const QVariant &streams)
{
    QList<quint32> nodeIds;
    if (!streams.canConvert<QDBusArgument>())
        return nodeIds;
    const QDBusArgument argument = streams.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        quint32 nodeId = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> nodeId >> properties;
        argument.endStructure();
        nodeIds.append(nodeId);
    }
    argument.endArray();
    return nodeIds;
}

} // namespace

int recoveryDelayMs(int attempt)
{
    if (attempt < 0)
        return 2000;
    if (attempt <= 3)
        return 2000 << attempt;
    return 30000;
}

WaylandScreenCapturer::WaylandScreenCapturer(QObject *parent)
    : WaylandScreenCapturer(Hooks(), parent)
{
}

WaylandScreenCapturer::WaylandScreenCapturer(Hooks hooks, QObject *parent)
    : IScreenCapturer(parent)
    , m_hooks(std::move(hooks))
    , m_bus(QDBusConnection::sessionBus())
{
    if (!storedRestoreToken().isEmpty())
        QMetaObject::invokeMethod(
                this, [this] { startSession(); }, Qt::QueuedConnection);
}

WaylandScreenCapturer::~WaylandScreenCapturer()
{
    teardown(false);
}

bool WaylandScreenCapturer::isAvailable()
{
    return m_available.load();
}

void WaylandScreenCapturer::requestAccess()
{
    m_interactive = true;
    startSession();
}

QString WaylandScreenCapturer::nextHandleToken()
{
    ++m_handleTokenCounter;
    return u"tembrix%1"_s.arg(m_handleTokenCounter);
}

void WaylandScreenCapturer::callPortal(const QString &method, const QList<QVariant> &arguments,
                                       const QString &handleToken,
                                       std::function<void(uint, const QVariantMap &)> callback,
                                       int timeoutMs)
{
    // Subscribed before the call leaves, so a Response sent ahead of the reply is still seen.
    m_pendingRequest = WaylandPortalRequest::create(m_bus, handleToken, std::move(callback), this,
                                                    timeoutMs);

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath,
                                                       screenCastInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (!finished->isError())
                    return;
                if (m_pendingRequest)
                    m_pendingRequest->cancel();
                failSession(u"ScreenCast %1 call failed: %2"_s.arg(method,
                                                                   finished->error().message()));
            });
}

void WaylandScreenCapturer::startSession()
{
    if (m_starting || m_available.load())
        return;
    if (!m_bus.isConnected()) {
        logError(u"WaylandScreenCapturer: no session bus — cannot start ScreenCast"_s);
        return;
    }
    m_starting = true;
    const QString handleToken = nextHandleToken();
    const QString sessionToken = nextHandleToken();
    const QVariantMap options{ { u"handle_token"_s, handleToken },
                               { u"session_handle_token"_s, sessionToken } };
    callPortal(
            u"CreateSession"_s, { options }, handleToken,
            [this](uint response, const QVariantMap &results) {
                onCreateSession(response, results);
            },
            m_hooks.createSessionTimeoutMs);
}

void WaylandScreenCapturer::onCreateSession(uint response, const QVariantMap &results)
{
    if (response != 0) {
        failSession(u"ScreenCast CreateSession failed/cancelled"_s);
        return;
    }
    const QVariant handle = results.value(u"session_handle"_s);
    m_sessionHandle = handle.userType() == qMetaTypeId<QDBusObjectPath>()
                              ? handle.value<QDBusObjectPath>().path()
                              : handle.toString();
    if (m_sessionHandle.isEmpty()) {
        m_starting = false;
        scheduleRecovery();
        return;
    }
    logInfo(u"ScreenCast CreateSession ok, session=%1"_s.arg(m_sessionHandle));

    const QString handleToken = nextHandleToken();
    const QString restoreToken = storedRestoreToken();
    m_usedRestoreToken = !restoreToken.isEmpty();
    QVariantMap options{ { u"handle_token"_s, handleToken },
                         { u"types"_s, QVariant::fromValue(quint32(1)) },
                         { u"multiple"_s, true },
                         { u"cursor_mode"_s, QVariant::fromValue(quint32(1)) },
                         { u"persist_mode"_s, QVariant::fromValue(quint32(2)) } };
    if (m_usedRestoreToken)
        options.insert(u"restore_token"_s, restoreToken);
    callPortal(
            u"SelectSources"_s, { QVariant::fromValue(QDBusObjectPath(m_sessionHandle)), options },
            handleToken,
            [this](uint response, const QVariantMap &results) {
                onSelectSources(response, results);
            },
            m_hooks.selectSourcesTimeoutMs);
}

void WaylandScreenCapturer::onSelectSources(uint response, const QVariantMap &)
{
    if (response != 0) {
        failSession(u"ScreenCast SelectSources failed/cancelled"_s);
        return;
    }
    logInfo(u"ScreenCast SelectSources ok, calling Start"_s);
    const QString handleToken = nextHandleToken();
    const QVariantMap options{ { u"handle_token"_s, handleToken } };
    callPortal(
            u"Start"_s,
            { QVariant::fromValue(QDBusObjectPath(m_sessionHandle)), QString(), options },
            handleToken,
            [this](uint response, const QVariantMap &results) { onStart(response, results); },
            m_hooks.startTimeoutMs);
}

void WaylandScreenCapturer::onStart(uint response, const QVariantMap &results)
{
    // A failed Start earns no desktop notice.
    m_starting = false;
    m_interactive = false;
    if (response != 0) {
        logError(u"ScreenCast Start failed/cancelled (code=%1, keys=%2)"_s.arg(response).arg(
                results.keys().join(u',')));
        closePortalSession();
        scheduleRecovery();
        return;
    }

    // Restore tokens are single use: each Start hands out the one to send next time.
    const QString restoreToken = results.value(u"restore_token"_s).toString();
    if (!restoreToken.isEmpty()) {
        Storage::Preferences::instance().setValue(Storage::PreferenceKeys::screencastRestoreToken,
                                                  restoreToken);
    }
    const QList<quint32> nodeIds = streamNodeIds(results.value(u"streams"_s));
    logInfo(u"ScreenCast Start ok: %1 stream(s), restore_token=%2"_s.arg(nodeIds.size())
                    .arg(restoreToken.isEmpty() ? u"(none)"_s : u"(set)"_s));

    if (!nodeIds.isEmpty()) {
        openPipeWireRemote(nodeIds);
        return;
    }
    if (m_usedRestoreToken) {
        Storage::Preferences::instance().remove(Storage::PreferenceKeys::screencastRestoreToken);
        logError(u"ScreenCast Start returned no streams; cleared restore_token"_s);
    }
    closePortalSession();
    scheduleRecovery();
}

void WaylandScreenCapturer::openPipeWireRemote(const QList<quint32> &nodeIds)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
            portalService, portalPath, screenCastInterface, u"OpenPipeWireRemote"_s);
    call.setArguments({ QVariant::fromValue(QDBusObjectPath(m_sessionHandle)), QVariantMap() });
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, nodeIds](QDBusPendingCallWatcher *finished) {
                onPipeWireRemoteOpened(finished, nodeIds);
            });
}

void WaylandScreenCapturer::onPipeWireRemoteOpened(QDBusPendingCallWatcher *watcher,
                                                   const QList<quint32> &nodeIds)
{
    watcher->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError() || !reply.value().isValid()) {
        logError(u"OpenPipeWireRemote failed"_s);
        closePortalSession();
        scheduleRecovery();
        return;
    }
    // The received descriptor belongs to the reply object; PipeWire gets a duplicate of its own.
    const int fd = ::dup(reply.value().fileDescriptor());
    if (fd < 0) {
        logError(u"OpenPipeWireRemote: dup(fd) failed"_s);
        closePortalSession();
        scheduleRecovery();
        return;
    }
    logInfo(u"OpenPipeWireRemote ok (fd=%1), starting PipeWire"_s.arg(fd));
    startPipeWire(fd, nodeIds);
}

void WaylandScreenCapturer::closePortalSession()
{
    if (m_sessionHandle.isEmpty())
        return;
    // A session left open keeps the desktop's sharing indicator on; the answer does not matter.
    const QDBusMessage close = QDBusMessage::createMethodCall(
            portalService, m_sessionHandle, u"org.freedesktop.portal.Session"_s, u"Close"_s);
    m_bus.call(close, QDBus::NoBlock);
    m_sessionHandle.clear();
}

void WaylandScreenCapturer::failSession(const QString &message)
{
    m_starting = false;
    logError(message);
    closePortalSession();
    notifyGrantFailure();
    scheduleRecovery();
}

void WaylandScreenCapturer::notifyGrantFailure()
{
    if (!m_interactive)
        return;
    m_interactive = false;
    logError(u"WaylandScreenCapturer: interactive screen-capture grant failed to establish a "
             "session — notifying the user"_s);
    const QString summary = u"Tembrix Clockwarden"_s;
    const QString body = u"Couldn't start screen capture. This Wayland session may not support "
                         "screen sharing (xdg-desktop-portal ScreenCast). Screenshots will be "
                         "unavailable — an Xorg (X11) session works without extra setup."_s;
    DesktopNotifier::instance();
    DesktopNotifier::notify(summary, body, 5000);
}

void WaylandScreenCapturer::scheduleRecovery()
{
    if (m_recoveryScheduled || m_available.load() || m_pipeWire)
        return;
    if (storedRestoreToken().isEmpty()) {
        logInfo(u"WaylandScreenCapturer: session lost and no restore_token — not "
                "auto-recovering"_s);
        return;
    }
    m_recoveryScheduled = true;
    const int delay = recoveryDelayMs(m_recoveryAttempts);
    ++m_recoveryAttempts;
    logInfo(u"WaylandScreenCapturer: scheduling ScreenCast recovery in %1 ms"_s.arg(delay));
    QTimer::singleShot(delay, this, [this] { onRecoveryTimer(); });
}

void WaylandScreenCapturer::onRecoveryTimer()
{
    m_recoveryScheduled = false;
    if (m_available.load())
        return;
    if (!m_pipeWire)
        startSession();
}

void WaylandScreenCapturer::onSessionLost()
{
    if (!m_pipeWire)
        return;
    logInfo(u"WaylandScreenCapturer: ScreenCast session lost — tearing down"_s);
    const bool wasAvailable = m_available.load();
    teardown(true);
    if (wasAvailable)
        m_recoveryAttempts = 0;
    scheduleRecovery();
}

void WaylandScreenCapturer::onSystemResumed()
{
    if (!m_pipeWire && !m_available.load() && !m_starting)
        return;
    if (storedRestoreToken().isEmpty()) {
        logInfo(u"WaylandScreenCapturer: system resumed but no restore_token — leaving the "
                "existing ScreenCast session untouched"_s);
        return;
    }
    logInfo(u"WaylandScreenCapturer: system resumed — re-establishing ScreenCast session"_s);
    teardown(false);
    m_recoveryAttempts = 0;
    scheduleRecovery();
}

void WaylandScreenCapturer::onPermissionRevoked()
{
    Storage::Preferences::instance().remove(Storage::PreferenceKeys::screencastRestoreToken);
    logInfo(u"WaylandScreenCapturer: permission revoked — restore_token cleared, dropping live "
            "session"_s);
    teardown(true);
}

void WaylandScreenCapturer::teardown(bool notify)
{
    if (m_pendingRequest)
        m_pendingRequest->cancel();
    destroyPipeWire();
    {
        QMutexLocker locker(&m_frameMutex);
        m_frames.clear();
        m_streamCount = 0;
        m_streamsWithFrame = 0;
    }
    m_starting = false;
    closePortalSession();
    if (m_available.exchange(false) && notify)
        Q_EMIT availabilityChanged();
}

} // namespace Platform::Wayland
