#pragma once

#include "models/Project.h"
#include "models/RemoteConfig.h"
#include "models/Session.h"
#include "services/server/ServerTodayTotal.h"
#include "services/tracking/ActivitySample.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <functional>
#include <optional>

class QTimer;

namespace Platform {
class IPlatformIntegration;
}

namespace Storage {
class SQLiteStore;
}

namespace Services {
class ActivityTracker;
class ScreenCaptureService;
class SegmentClockService;
} // namespace Services

namespace Core {

class IdleDetector;

// The session engine: the one object that knows whether the employee is working. It owns the open
// session and its intervals, counts time once a second, drives the idle detector, the activity
// tracker, the screen-capture service and the segment clock, writes every change of the session to
// the store and hands starts, completions and screenshots to the uploads.
//
// Threading: GUI thread only. One recursive mutex is held for the whole of every public
// operation, slot and getter. It is given up before the live heartbeat (a nested event loop of up
// to the request timeout), before the stop of the "stop" idle policy, around the resume after a
// wake and before the fresh start that follows a cross-midnight resumption; no reference into the
// engine's state is kept across those points. Times are UTC from Core::Clock; days are days of the
// company zone.
class SessionManager final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionManager)
    Q_PROPERTY(bool isTracking READ isTracking NOTIFY stateChanged)
    Q_PROPERTY(bool isPaused READ isPaused NOTIFY stateChanged)
    Q_PROPERTY(bool isIdle READ isIdle NOTIFY stateChanged)
    Q_PROPERTY(bool needsIdleDecision READ needsIdleDecision NOTIFY stateChanged)
    Q_PROPERTY(double elapsedSeconds READ elapsedSeconds NOTIFY stateChanged)
    Q_PROPERTY(double todayTotalSeconds READ todayTotalSeconds NOTIFY stateChanged)

public:
    // Selects the test-only constructor; the program reaches the engine through instance().
    struct TestInstance
    {
        explicit TestInstance() = default;
    };

    static SessionManager &instance();
    explicit SessionManager(TestInstance);
    ~SessionManager() override;

    // Once, after the store is open. Creates the four services over the integration's back ends
    // (none without an integration), wires the notices and offers a session left open by an
    // earlier run while a company endpoint is stored. Neither pointer is owned.
    void initialize(Storage::SQLiteStore *store, Platform::IPlatformIntegration *integration);
    // Shows the idle-decision dialog; called later from the event loop, never inside a lock.
    void setIdleDecisionPresenter(std::function<void()> presenter);

    void startTracking(const Models::Project &project);
    void startTrackingWithoutProject();
    void pause();
    void resumeTracking();
    // A missing reason keeps the status message; a given one (even empty) replaces it.
    void stopTracking(const std::optional<QString> &reason = std::nullopt);
    void stopAfterIdle();
    void continueAfterIdle();
    void resumeInterruptedSession();
    void dismissMidnightResumeOffer();
    void setSelectedProjectId(const QString &projectId);
    void applyRemoteConfig(const std::optional<Models::RemoteConfig> &config);
    // At quit: closes a running interval and keeps the session as the active row.
    void shutdown();

    bool isTracking() const;
    bool isPaused() const;
    bool isIdle() const;
    bool needsIdleDecision() const;
    double elapsedSeconds() const;
    double todayTotalSeconds() const;
    std::optional<Models::Session> activeSession() const;
    std::optional<Models::Session> interruptedSession() const;
    std::optional<Models::Project> midnightResumeOffer() const;
    QString selectedProjectId() const;
    std::optional<double> activityPercent() const;
    QString statusMessage() const;
    // While the store cannot write: what the user should know, naming the folder; else empty.
    QString storageWarning() const;

    Q_INVOKABLE void handleSessionTakenOver();
    Q_INVOKABLE void applyServerTodayTotal(const Services::ServerTodayTotal &total);

    // The segment clock's two per-second callbacks.
    Services::ActivitySample segmentActivitySnapshot(const QDateTime &now);
    void recordActivitySample(bool hadInput);

Q_SIGNALS:
    void stateChanged();
    void crossDayDetected();
    void interruptedSessionChanged();

private Q_SLOTS:
    void onIdleDetected();
    void onIdleEnded();
    void onSleep();
    void onWake();
    void onTick();
    void handleCaptureComplete();
    void onForceClientUpdateChanged();
    void onAuthSessionInvalidated();
    void onSessionTakenOverByOtherDevice(const QUuid &sessionId, int statusCode);
    void runIdleDecisionPresenter();

private:
    using Locker = QMutexLocker<QRecursiveMutex>;

    SessionManager();

    // Each expects the lock to be held.
    void startLocked(const QString &projectId, const QString &projectName);
    void pauseLocked();
    void closeOpenInterval(const QDateTime &at);
    void persistActiveSession();
    static double sessionElapsedAt(const Models::Session &session, const QDateTime &at);
    double sessionElapsedNow(const Models::Session &session) const;
    double localTodayTotal() const;
    void updateActivelyTracking();
    void setTracking(bool tracking);
    int configuredMinutes(int Models::RemoteConfig::*field) const;
    void startIdleDetector();
    void startScreenCapture();
    void startTickTimer();
    void stopTickTimer();
    void enqueueSessionCompletion(const Models::Session &session);
    void enqueueSessionStart(const Models::Session &session);
    void applyIdleDiscardCutoff(Models::Session &session) const;
    // Cutoff, total up to end, status and reported total; the activity counts when asked to.
    Models::Session completedRecord(Models::Session session, const QDateTime &end,
                                    bool takeActivitySnapshot) const;
    // The history row (only for a session that ever had an interval), the active row's removal
    // and the heartbeat marker's.
    void recordCompletion(const Models::Session &session);
    void resetAfterSessionEnd();
    void setIdleDiscardCutoff(const QDateTime &cutoff);

    // The company day.
    QTimeZone effectiveTimeZone() const { return m_zone; }
    void refreshEffectiveTimeZone();
    QString dayKey(const QDateTime &moment) const;
    bool crossedMidnight(const Models::Session &session, const QDateTime &moment) const;
    bool checkMidnightRollover(const QDateTime &now);
    void performMidnightRollover(const QDateTime &now);
    void refreshTodayTotal();
    void recomputeCompletedToday();
    void applyServerTodayTotalLocked(const Services::ServerTodayTotal &total);

    // Recovery.
    bool closeDanglingInterval(Models::Session &session, const QDateTime &fallback) const;
    void completeStaleActiveSessions();
    void autoCompleteAcrossMidnight(const QDateTime &now);
    static void truncateIntervalsAt(Models::Session &session, const QDateTime &boundary);

    mutable QRecursiveMutex m_mutex;
    std::function<void()> m_idleDecisionPresenter;
    Storage::SQLiteStore *m_store = nullptr;
    Platform::IPlatformIntegration *m_platform = nullptr;
    IdleDetector *m_idleDetector = nullptr;
    Services::ActivityTracker *m_activityTracker = nullptr;
    Services::ScreenCaptureService *m_screenCaptureService = nullptr;
    Services::SegmentClockService *m_segmentClock = nullptr;
    QTimer *m_tickTimer = nullptr;
    bool m_tracking = false;
    bool m_paused = false;
    bool m_idle = false;
    bool m_needsIdleDecision = false;
    bool m_idlePromptRaised = false;
    bool m_pausedBySleep = false;
    bool m_activelyTracking = false;
    double m_elapsedSeconds = 0.0;
    double m_todayTotalSeconds = 0.0;
    double m_completedTodaySeconds = 0.0;
    std::optional<Services::ServerTodayTotal> m_serverTodayTotal;
    double m_localTotalAtServerSync = 0.0;
    std::optional<double> m_activityPercent;
    QString m_statusMessage;
    QString m_selectedProjectId;
    int m_tickCounter = 0;
    int m_checkpointCounter = 0;
    QList<bool> m_activitySamples;
    std::optional<Models::Session> m_activeSession;
    std::optional<Models::Session> m_interruptedSession;
    std::optional<Models::RemoteConfig> m_remoteConfig;
    std::optional<Models::Project> m_midnightResumeOffer;
    QTimeZone m_zone;
};

} // namespace Core
