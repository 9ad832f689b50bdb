#pragma once

#include "models/UploadTaskType.h"
#include "networking/APIError.h"
#include "services/server/UploadFailureClassification.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimeZone>
#include <QUuid>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <optional>

class QThread;

namespace Models {
struct Session;
struct UploadTask;
} // namespace Models

namespace Storage {
class SQLiteStore;
}

namespace Services {

class UploadServiceTestHooks;

// The one way tracked work reaches the service: session starts, final heartbeats, activity
// segments and screenshot files become rows of the store's upload queue, which the
// "upload.worker" thread drains; the live heartbeat after each capture goes out at once.
//
// Threading: start, stop, the enqueue operations, wakeWorker and the live heartbeat run on the
// caller's thread (the GUI thread); the passes, the queued senders and the periodic sweep run on
// the worker. The store serialises its own access; the worker holds no lock of its own while it
// talks to the server. The store is not owned and must outlive the worker.
//
// Failures never reach the caller: enqueueing without a store does nothing, a failed live
// heartbeat is its result, and queued tasks fail by the policy of classifyFailure.
class UploadService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadService)

public:
    enum class HeartbeatResult : qint32 {
        Ok = 0,       // sent and accepted
        Deferred = 1, // not sent: a token refresh is running, or the session's start is queued
        Failed = 2,   // not sent, rejected, or the session was taken over
    };

    enum class ScreenshotUploadOutcome : qint32 {
        Uploaded = 0,        // sent, and the file deleted
        FileUnavailable = 1, // the file is missing or cannot be opened
        Failed = 2,          // the request failed, or the task has no file path
    };

    struct ScreenshotUploadResult
    {
        ScreenshotUploadOutcome outcome = ScreenshotUploadOutcome::Failed;
        std::optional<Networking::APIError> error;
    };

    // Whether a task queued under a session and path still waits (pending, failed, in progress).
    using QueuedPredicate = std::function<bool(const QUuid &sessionId, const QString &path)>;

    // Created on first use (the wiring, on the GUI thread); stops the worker at exit.
    static UploadService &instance();

    ~UploadService() override;

    // Launch cleanup, the first orphan sweep, then the worker thread. Does nothing while a worker
    // runs, not even change the store.
    void start(Storage::SQLiteStore *store);
    // Aborts running requests and joins the worker for up to 5 s; a worker stuck longer ends the
    // process with status 75.
    void stop();
    // Ends the worker's wait at once; harmless without a worker.
    void wakeWorker();

    // None of these wakes the worker: callers wake it after enqueueing.
    void enqueueSessionStart(const Models::Session &session);
    // The final "completed" heartbeat, then every capture file of the session not yet queued.
    void enqueueSessionStop(const Models::Session &session);
    // Every capture file of the session not yet queued.
    void enqueueScreenshotsForSession(const QUuid &sessionId);
    void enqueueScreenshotsForSession(const Models::Session &session);

    // The "active" heartbeat, sent synchronously on the calling thread through its own client.
    HeartbeatResult uploadHeartbeatNow(const Models::Session &session);

    // Announces a session that another device took over (once per session and run) and drops
    // its queued heartbeat and start tasks (every time).
    void handleSessionTakenOver(const QUuid &sessionId, int httpStatus);

    // The failure policy of queued tasks.
    static bool isPermanentHttpStatus(int status, Models::UploadTaskType type);
    static bool isOfflineTransportError(const Networking::APIError &error);
    static UploadFailureClassification classifyFailure(const Networking::APIError &error,
                                                       Models::UploadTaskType type);
    static bool isPastRetention(Models::UploadTaskType type, const QDateTime &createdAt,
                                const QDateTime &now);
    static bool isUnrecoverable(bool transient, int retryCount, qint64 ageSeconds);
    // 60 to 90 whole seconds after now.
    static QDateTime offlineRetryTime(const QDateTime &now);

private:
    friend class UploadServiceTestHooks;

    UploadService();

    void runWorkerLoop();
    // One pass over the queue; returns the seconds to wait before the next one.
    int processQueue();
    void queueSegmentTaskIfNeeded();
    // tokenBefore: the stored access token when the task was sent.
    void handleFailure(const Models::UploadTask &task, const Networking::APIError &error,
                       const std::optional<QString> &tokenBefore);
    void rescheduleWithoutPenalty(const Models::UploadTask &task, const QString &reason);
    std::optional<Networking::APIError> dispatch(const Models::UploadTask &task,
                                                 bool *fileUnavailable);

    std::optional<Networking::APIError> sendSessionStart(const Models::UploadTask &task);
    std::optional<Networking::APIError> sendHeartbeat(const Models::UploadTask &task);
    std::optional<Networking::APIError> sendSegmentsBatch(const Models::UploadTask &task);
    ScreenshotUploadResult uploadScreenshot(const Models::UploadTask &task);

    void enqueueOrphanedScreenshots();
    static QByteArray restampScreenshotName(const QString &fileName, const QUuid &sessionId,
                                            const QTimeZone &zone);
    static QList<Models::UploadTask>
    scanCaptureFolder(const QString &folder, const QueuedPredicate &isQueued, const QDateTime &now);

    // Whether a start task of the session still waits, so a 404 or 409 on its heartbeat only
    // means the server has not heard of the session yet.
    bool isSessionStartQueued(const QUuid &sessionId);

    Storage::SQLiteStore *m_store = nullptr;
    QThread *m_worker = nullptr;
    std::atomic_bool m_stopRequested{ false };
    QMutex m_workerMutex;
    QWaitCondition m_workerWake;
    // Set by wakeWorker under the worker mutex, so a wake between a pass and the wait counts.
    bool m_wakePending = false;
    QMutex m_takenOverMutex;
    QSet<QUuid> m_takenOver;
};

} // namespace Services
