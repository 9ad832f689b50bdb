#pragma once

#include "platform/IScreenCapturer.h"
#include "platform/wayland/IDmaBufImporter.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QVariantMap>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

class QDBusPendingCallWatcher;
struct spa_buffer;
struct spa_pod;

namespace Platform::Wayland {

class WaylandPortalRequest;
struct PipeWireState;
struct StreamData;

// The next recovery delay after `attempt` earlier ones: 2 s doubling to 16 s, then 30 s.
int recoveryDelayMs(int attempt);

// The screen capturer of a Wayland session with the xdg-desktop-portal ScreenCast interface.
//
// The portal conversation (CreateSession, SelectSources, Start, OpenPipeWireRemote) runs
// asynchronously on the GUI thread; its restore token lives in the preferences and is sent again
// with every later start. The shared screens then arrive as PipeWire streams on the thread loop
// "tembrix-screencast": their callbacks run under the loop's lock, store each stream's latest image
// under the frame mutex, and mark the capturer available once every stream has one.
// captureScreens() wakes the streams and blocks the GUI thread for at most 1500 ms.
//
// Locks: the GUI thread takes the loop lock only to set the streams active, never while it holds
// the frame mutex. Streams are created and destroyed only while the loop is stopped.
class WaylandScreenCapturer final : public IScreenCapturer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaylandScreenCapturer)

public:
    // Seams for tests; the defaults are the real behaviour.
    struct Hooks
    {
        // Replaces the real PipeWire start; takes ownership of the descriptor.
        std::function<void(int fd, const QList<quint32> &nodeIds)> startPipeWire;
        std::function<std::unique_ptr<IDmaBufImporter>()> makeImporter;
        int createSessionTimeoutMs = 120000;
        int selectSourcesTimeoutMs = 120000;
        int startTimeoutMs = 600000;
    };

    explicit WaylandScreenCapturer(QObject *parent = nullptr);
    explicit WaylandScreenCapturer(Hooks hooks, QObject *parent = nullptr);
    ~WaylandScreenCapturer() override;

    QList<QImage> captureScreens() override;
    bool isAvailable() override;
    void requestAccess() override;
    void onSystemResumed() override;
    void onPermissionRevoked() override;

private:
    friend struct WaylandScreenCapturerTestAccess;

    // The portal conversation.
    void startSession();
    void onCreateSession(uint response, const QVariantMap &results);
    void onSelectSources(uint response, const QVariantMap &results);
    void onStart(uint response, const QVariantMap &results);
    void callPortal(const QString &method, const QList<QVariant> &arguments,
                    const QString &handleToken,
                    std::function<void(uint, const QVariantMap &)> callback, int timeoutMs);
    QString nextHandleToken();
    void openPipeWireRemote(const QList<quint32> &nodeIds);
    void onPipeWireRemoteOpened(QDBusPendingCallWatcher *watcher, const QList<quint32> &nodeIds);
    void closePortalSession();

    void failSession(const QString &message);
    void notifyGrantFailure();
    void scheduleRecovery();
    void onRecoveryTimer();
    void onSessionLost();
    void teardown(bool notify);

    // PipeWire streams and frames.
    void startPipeWire(int fd, const QList<quint32> &nodeIds);
    void startPipeWireStreams(int fd, const QList<quint32> &nodeIds);
    void destroyPipeWire();
    void setStreamsActive(bool active);
    static void onStreamStateChanged(void *data, int oldState, int newState, const char *error);
    static void onStreamParamChanged(void *data, uint32_t id, const spa_pod *param);
    static void onStreamProcess(void *data);
    void processBuffer(StreamData &stream);
    void convertDmaBufBuffer(StreamData &stream, const spa_buffer &buffer, qint64 now);
    void storeFrame(int index, const QImage &image);
    QImage importDmaBufFrame(quint32 fourcc, quint64 modifier, int width, int height,
                             int planeCount, const IDmaBufImporter::PlaneInts &fds,
                             const IDmaBufImporter::PlaneOffsets &offsets,
                             const IDmaBufImporter::PlaneStrides &strides);
    void warnDmaBufImportFailed();
    std::unique_ptr<IDmaBufImporter> makeImporter() const;
    static void initPipeWireOnce();

    Hooks m_hooks;
    QDBusConnection m_bus;
    QPointer<WaylandPortalRequest> m_pendingRequest;
    QString m_sessionHandle;
    bool m_starting = false;
    bool m_usedRestoreToken = false;
    bool m_interactive = false;
    int m_handleTokenCounter = 0;
    bool m_dmaBufWarned = false;
    bool m_recoveryScheduled = false;
    int m_recoveryAttempts = 0;
    std::atomic_bool m_available{ false };
    std::atomic_bool m_capturing{ false };
    QMutex m_frameMutex;
    QWaitCondition m_frameArrived;
    QList<QImage> m_frames;
    int m_streamCount = 0;
    int m_streamsWithFrame = 0;
    int m_freshCount = 0;
    QByteArray m_freshFlags;
    std::unique_ptr<PipeWireState> m_pipeWire;
};

} // namespace Platform::Wayland
