#include "core/SessionManager.h"

#include "core/AppStateManager.h"
#include "core/Clock.h"
#include "core/IdleDetector.h"
#include "networking/ApiEndpoint.h"
#include "platform/IPlatformIntegration.h"
#include "platform/ISleepWatcher.h"
#include "services/server/AuthNotifications.h"
#include "services/tracking/ActivityTracker.h"
#include "services/tracking/ITrackingUploads.h"
#include "services/tracking/PermissionService.h"
#include "services/tracking/ScreenCaptureService.h"
#include "services/tracking/SegmentClockService.h"
#include "storage/ApiTimezone.h"
#include "storage/Log.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"

#include <QTimer>

#include <algorithm>
#include <climits>
#include <utility>

namespace Core {

namespace {

constexpr int tickIntervalMs = 1000;
constexpr int ticksPerCheckpoint = 5;
constexpr int checkpointsPerMarker = 12;
constexpr int defaultConfiguredMinutes = 5;

void logSession(const QString &message)
{
    Log::write(Log::Category::Session, Log::Level::Info, message);
}

QString idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

Models::Interval openIntervalAt(const QDateTime &start)
{
    return Models::Interval(QUuid::createUuid(), start, std::nullopt);
}

} // namespace

SessionManager &SessionManager::instance()
{
    static SessionManager manager;
    return manager;
}

SessionManager::SessionManager()
    : m_tickTimer(new QTimer(this))
    , m_zone(Services::ApiTimezone::zone())
{
    m_tickTimer->setObjectName(QStringLiteral("sessionTickTimer"));
    m_tickTimer->setInterval(tickIntervalMs);
    connect(m_tickTimer, &QTimer::timeout, this, &SessionManager::onTick);
    connect(&AppStateManager::instance(), &AppStateManager::forceClientUpdateChanged, this,
            &SessionManager::onForceClientUpdateChanged, Qt::QueuedConnection);
}

SessionManager::SessionManager(TestInstance)
    : SessionManager()
{
}

SessionManager::~SessionManager()
{
    // The segment clock's callbacks reach into the engine, so it goes first.
    delete m_segmentClock;
    delete m_screenCaptureService;
    delete m_activityTracker;
    delete m_idleDetector;
    m_idleDecisionPresenter = nullptr;
}

void SessionManager::setIdleDecisionPresenter(std::function<void()> presenter)
{
    m_idleDecisionPresenter = std::move(presenter);
}

// --- Getters ---------------------------------------------------------------------------------

bool SessionManager::isTracking() const
{
    const Locker locker(&m_mutex);
    return m_tracking;
}

bool SessionManager::isPaused() const
{
    const Locker locker(&m_mutex);
    return m_paused;
}

bool SessionManager::isIdle() const
{
    const Locker locker(&m_mutex);
    return m_idle;
}

bool SessionManager::needsIdleDecision() const
{
    const Locker locker(&m_mutex);
    return m_needsIdleDecision;
}

double SessionManager::elapsedSeconds() const
{
    const Locker locker(&m_mutex);
    return m_elapsedSeconds;
}

double SessionManager::todayTotalSeconds() const
{
    const Locker locker(&m_mutex);
    return m_todayTotalSeconds;
}

std::optional<Models::Session> SessionManager::activeSession() const
{
    const Locker locker(&m_mutex);
    return m_activeSession;
}

std::optional<Models::Session> SessionManager::interruptedSession() const
{
    const Locker locker(&m_mutex);
    return m_interruptedSession;
}

std::optional<Models::Project> SessionManager::midnightResumeOffer() const
{
    const Locker locker(&m_mutex);
    return m_midnightResumeOffer;
}

QString SessionManager::selectedProjectId() const
{
    const Locker locker(&m_mutex);
    return m_selectedProjectId;
}

std::optional<double> SessionManager::activityPercent() const
{
    const Locker locker(&m_mutex);
    return m_activityPercent;
}

QString SessionManager::statusMessage() const
{
    const Locker locker(&m_mutex);
    return m_statusMessage;
}

QString SessionManager::storageWarning() const
{
    const Locker locker(&m_mutex);
    if (!m_store)
        return QString();
    const std::optional<QString> failure = m_store->writeFailure();
    if (!failure)
        return QString();
    return QStringLiteral("Your work can't be saved in the folder %1 (%2). Free some disk space "
                          "or make the folder writable; what was saved before is kept.")
            .arg(m_store->folder(), *failure);
}

void SessionManager::dismissMidnightResumeOffer()
{
    const Locker locker(&m_mutex);
    m_midnightResumeOffer.reset();
}

void SessionManager::setSelectedProjectId(const QString &projectId)
{
    const Locker locker(&m_mutex);
    if (m_selectedProjectId == projectId)
        return;
    m_selectedProjectId = projectId;
    Q_EMIT stateChanged();
}

// --- Shared steps (the lock is held) ------------------------------------------------------------

void SessionManager::closeOpenInterval(const QDateTime &at)
{
    if (!m_activeSession || m_activeSession->intervals.isEmpty())
        return;
    Models::Interval &last = m_activeSession->intervals.last();
    if (last.stoppedAt)
        return;
    last.stoppedAt = at;
    persistActiveSession();
}

void SessionManager::persistActiveSession()
{
    if (m_store && m_activeSession)
        m_store->saveActiveSession(*m_activeSession);
}

double SessionManager::sessionElapsedAt(const Models::Session &session, const QDateTime &at)
{
    if (session.reportedTotalSeconds)
        return *session.reportedTotalSeconds;
    return session.computedDurationSeconds(at);
}

double SessionManager::sessionElapsedNow(const Models::Session &session) const
{
    return sessionElapsedAt(session, Clock::nowUtc());
}

double SessionManager::localTodayTotal() const
{
    double total = m_completedTodaySeconds;
    if (m_tracking && m_activeSession)
        total += sessionElapsedNow(*m_activeSession);
    return total;
}

void SessionManager::updateActivelyTracking()
{
    m_activelyTracking = m_tracking && !m_paused && !m_idle;
}

void SessionManager::setTracking(bool tracking)
{
    m_tracking = tracking;
    if (m_segmentClock)
        m_segmentClock->setRunning(tracking);
}

int SessionManager::configuredMinutes(int Models::RemoteConfig::*field) const
{
    if (!m_remoteConfig)
        return defaultConfiguredMinutes;
    const int minutes = (*m_remoteConfig).*field;
    return minutes <= 0 ? 1 : minutes;
}

void SessionManager::startIdleDetector()
{
    if (m_idleDetector)
        m_idleDetector->start(configuredMinutes(&Models::RemoteConfig::idleMinutesThreshold));
}

void SessionManager::startScreenCapture()
{
    if (!m_screenCaptureService || !m_activeSession)
        return;
    m_screenCaptureService->start(
            m_activeSession->id,
            configuredMinutes(&Models::RemoteConfig::screenshotIntervalMinutes),
            Networking::ApiEndpoint::domainKey());
    updateActivelyTracking();
}

void SessionManager::startTickTimer()
{
    m_tickCounter = 0;
    if (!m_tickTimer->isActive())
        m_tickTimer->start();
}

void SessionManager::stopTickTimer()
{
    m_tickTimer->stop();
}

void SessionManager::enqueueSessionCompletion(const Models::Session &session)
{
    // A session that never had an interval never reached the server: there is nothing to close.
    if (!m_store || session.intervals.isEmpty())
        return;
    auto &uploads = Services::trackingUploads();
    uploads.enqueueSessionStop(session);
    uploads.wakeWorker();
}

void SessionManager::enqueueSessionStart(const Models::Session &session)
{
    auto &uploads = Services::trackingUploads();
    uploads.enqueueSessionStart(session);
    uploads.wakeWorker();
}

void SessionManager::applyIdleDiscardCutoff(Models::Session &session) const
{
    if (!session.idleDiscardCutoffAt)
        return;
    const QDateTime cutoff = *std::exchange(session.idleDiscardCutoffAt, std::nullopt);
    if (m_remoteConfig && !m_remoteConfig->discardIdleTime)
        return;
    if (session.intervals.isEmpty())
        return;
    Models::Interval &last = session.intervals.last();
    if (!last.stoppedAt)
        return;
    last.stoppedAt = std::min(*last.stoppedAt, std::max(cutoff, last.startedAt));
}

Models::Session SessionManager::completedRecord(Models::Session session, const QDateTime &end,
                                                bool takeActivitySnapshot) const
{
    applyIdleDiscardCutoff(session);
    const double total = sessionElapsedAt(session, end);
    if (takeActivitySnapshot && m_activityTracker) {
        const auto snapshot = m_activityTracker->snapshot(std::max(total, 1.0));
        session.mouseCount = snapshot.mouseMovements;
        session.keyboardCount = snapshot.keyPresses;
        session.activityScore = snapshot.activityPercent;
    }
    session.status = Models::SessionStatus::completed;
    session.reportedTotalSeconds = total > 0 ? int(std::min(total, double(INT_MAX))) : 0;
    return session;
}

void SessionManager::recordCompletion(const Models::Session &session)
{
    if (m_store) {
        if (!session.intervals.isEmpty())
            m_store->appendSessionHistory(session);
        m_store->removeActiveSession(session.id);
    }
    Storage::clearLastHeartbeat(session.id);
}

void SessionManager::resetAfterSessionEnd()
{
    if (m_activityTracker)
        m_activityTracker->stop();
    if (m_idleDetector)
        m_idleDetector->stop();
    if (m_screenCaptureService)
        m_screenCaptureService->stop();
    stopTickTimer();
    m_checkpointCounter = 0;
    m_activeSession.reset();
    setTracking(false);
    m_paused = false;
    m_idle = false;
    m_needsIdleDecision = false;
    m_elapsedSeconds = 0.0;
    m_activityPercent.reset();
    recomputeCompletedToday();
    m_activitySamples.clear();
    m_pausedBySleep = false;
    updateActivelyTracking();
}

// --- Start, pause, resume, stop
// -------------------------------------------------------------------

void SessionManager::startTracking(const Models::Project &project)
{
    const Locker locker(&m_mutex);
    startLocked(project.id, project.name);
}

void SessionManager::startTrackingWithoutProject()
{
    const Locker locker(&m_mutex);
    startLocked(QString(), QString());
}

void SessionManager::startLocked(const QString &projectId, const QString &projectName)
{
    if (m_tracking)
        return;
    const auto refuse = [this](const QString &message) {
        m_statusMessage = message;
        Q_EMIT stateChanged();
    };
    if (AppStateManager::instance().forceClientUpdate())
        return refuse(QStringLiteral("Update required before tracking can start."));
    const auto &permissions = Services::PermissionService::instance();
    if (!permissions.hasAllPermissions())
        return refuse(QStringLiteral("Required permissions are not granted."));
    if (!permissions.hasScreenCapturePermission())
        return refuse(QStringLiteral("Screen recording permission is required to start tracking."));
    if (!m_store)
        return;

    completeStaleActiveSessions();

    const QDateTime now = Clock::nowUtc();
    Models::Session session;
    session.id = QUuid::createUuid();
    session.deviceId = Storage::deviceId();
    session.projectId = projectId;
    session.projectName = projectName;
    session.intervals = { openIntervalAt(now) };
    session.status = Models::SessionStatus::active;
    // Time that cannot be kept must not look tracked: the first write decides.
    if (!m_store->saveActiveSession(session)) {
        const QString reason = m_store->writeFailure().value_or(QString());
        Log::write(Log::Category::Session, Log::Level::Error,
                   QStringLiteral("Tracking not started: %1 cannot be written: %2")
                           .arg(m_store->folder(), reason));
        return refuse(QStringLiteral("Tracking can't start: your work can't be saved in the "
                                     "folder %1 (%2). Free some disk space or make the folder "
                                     "writable, then start again.")
                              .arg(m_store->folder(), reason));
    }
    m_activeSession = session;
    m_selectedProjectId = projectId;

    setTracking(true);
    m_paused = false;
    m_idle = false;
    m_needsIdleDecision = false;
    m_pausedBySleep = false;
    m_midnightResumeOffer.reset();
    m_statusMessage.clear();
    updateActivelyTracking();

    enqueueSessionStart(session);

    if (m_activityTracker) {
        m_activityTracker->reset();
        if (m_activityTracker->start())
            startIdleDetector();
    }
    m_checkpointCounter = 0;
    startTickTimer();
    startScreenCapture();

    logSession(QStringLiteral("Tracking started, session %1, project %2")
                       .arg(idText(session.id), projectId));
    Q_EMIT stateChanged();
}

void SessionManager::pause()
{
    const Locker locker(&m_mutex);
    if (!m_tracking || m_paused)
        return;
    pauseLocked();
}

void SessionManager::pauseLocked()
{
    if (m_screenCaptureService)
        m_screenCaptureService->stop();
    if (m_activityTracker)
        m_activityTracker->stop();
    const QDateTime now = Clock::nowUtc();
    closeOpenInterval(now);
    m_paused = true;
    updateActivelyTracking();
    persistActiveSession();
    if (m_activeSession)
        Storage::setLastHeartbeat(m_activeSession->id, now);
    logSession(QStringLiteral("Tracking paused"));
    Q_EMIT stateChanged();
}

void SessionManager::resumeTracking()
{
    const Locker locker(&m_mutex);
    if (!m_tracking || !m_paused)
        return;
    checkMidnightRollover(Clock::nowUtc());
    if (!m_activeSession)
        return;

    const QDateTime now = Clock::nowUtc();
    const bool firstInterval = m_activeSession->intervals.isEmpty();
    m_activeSession->idleDiscardCutoffAt.reset();
    m_activeSession->intervals.append(openIntervalAt(now));
    Storage::setLastHeartbeat(m_activeSession->id, now);
    m_paused = false;
    m_idle = false;
    m_needsIdleDecision = false;
    m_pausedBySleep = false;
    if (m_screenCaptureService)
        m_screenCaptureService->stop();
    startScreenCapture();
    if (m_activityTracker) {
        if (m_activityTracker->start())
            startIdleDetector();
    } else if (m_idleDetector) {
        m_idleDetector->stop();
    }
    startTickTimer();
    updateActivelyTracking();
    persistActiveSession();
    // A session paused across midnight was replaced by one without intervals; its start can only
    // be sent now that it has one.
    if (firstInterval)
        enqueueSessionStart(*m_activeSession);
    logSession(QStringLiteral("Tracking resumed"));
    Q_EMIT stateChanged();
}

void SessionManager::stopTracking(const std::optional<QString> &reason)
{
    const Locker locker(&m_mutex);
    if (!m_activeSession)
        return;
    const QDateTime now = Clock::nowUtc();
    closeOpenInterval(now);

    const Models::Session &open = *m_activeSession;
    const QDateTime end = !open.intervals.isEmpty() && open.intervals.last().stoppedAt
                                  ? *open.intervals.last().stoppedAt
                                  : now;
    const Models::Session completed = completedRecord(open, end, true);
    recordCompletion(completed);
    enqueueSessionCompletion(completed);
    resetAfterSessionEnd();

    if (reason)
        m_statusMessage = QStringLiteral("Tracking stopped: %1").arg(*reason);
    logSession(QStringLiteral("Tracking stopped, session %1%2")
                       .arg(idText(completed.id),
                            reason ? QStringLiteral(", reason: %1").arg(*reason) : QString()));
    Q_EMIT stateChanged();
}

// --- Tick and shutdown ---------------------------------------------------------------------------

void SessionManager::onTick()
{
    const Locker locker(&m_mutex);
    const QDateTime now = Clock::nowUtc();
    checkMidnightRollover(now);
    if (!m_activeSession)
        return;
    m_elapsedSeconds = sessionElapsedAt(*m_activeSession, now);
    refreshTodayTotal();
    if (m_paused)
        return;
    if (++m_tickCounter >= ticksPerCheckpoint) {
        m_tickCounter = 0;
        if (++m_checkpointCounter >= checkpointsPerMarker) {
            m_checkpointCounter = 0;
            Storage::setLastHeartbeat(m_activeSession->id, now);
        }
    }
    Q_EMIT stateChanged();
}

void SessionManager::shutdown()
{
    const Locker locker(&m_mutex);
    stopTickTimer();
    if (m_tracking && !m_paused) {
        closeOpenInterval(Clock::nowUtc());
        persistActiveSession();
        logSession(QStringLiteral("Tracking interval closed on app termination"));
    }
    if (m_activityTracker)
        m_activityTracker->stop();
    if (m_idleDetector)
        m_idleDetector->stop();
    if (m_screenCaptureService)
        m_screenCaptureService->stop();
    if (m_segmentClock)
        m_segmentClock->stop();
}

} // namespace Core
