// The session engine's ties to time and to the company: initialisation, recovery of a session an
// earlier run left open, the midnight rollover of the company day, today's total and the remote
// configuration.

#include "core/SessionManager.h"

#include "core/Clock.h"
#include "core/IdleDetector.h"
#include "core/SessionRules.h"
#include "networking/ApiEndpoint.h"
#include "platform/IIdleProvider.h"
#include "platform/IInputMonitor.h"
#include "platform/IPlatformIntegration.h"
#include "platform/IScreenCapturer.h"
#include "platform/ISleepWatcher.h"
#include "services/server/AuthNotifications.h"
#include "services/tracking/ActivityTracker.h"
#include "services/tracking/ScreenCaptureService.h"
#include "services/tracking/SegmentClockService.h"
#include "storage/ApiTimezone.h"
#include "storage/DayBoundaries.h"
#include "storage/Log.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"
#include "storage/SegmentKey.h"

#include <QTimer>

#include <algorithm>
#include <climits>

namespace Core {

namespace {

void logSession(const QString &message)
{
    Log::write(Log::Category::Session, Log::Level::Info, message);
}

QString idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

int truncatedSeconds(double total)
{
    return total > 0 ? int(std::min(total, double(INT_MAX))) : 0;
}

QString isoWithoutMs(const QDateTime &moment)
{
    return moment.toString(Qt::ISODate);
}

} // namespace

// --- Initialisation ------------------------------------------------------------------------------

void SessionManager::initialize(Storage::SQLiteStore *store,
                                Platform::IPlatformIntegration *integration)
{
    const Locker locker(&m_mutex);
    m_store = store;
    m_platform = integration;
    refreshEffectiveTimeZone();
    if (!integration)
        return;

    delete m_segmentClock;
    delete m_screenCaptureService;
    delete m_activityTracker;
    delete m_idleDetector;

    m_idleDetector = new IdleDetector(integration->idleProvider(), this);
    m_idleDetector->onIdle = [this] {
        QMetaObject::invokeMethod(
                this, [this] { onIdleDetected(); }, Qt::QueuedConnection);
    };
    m_idleDetector->onActive = [this] {
        QMetaObject::invokeMethod(
                this, [this] { onIdleEnded(); }, Qt::QueuedConnection);
    };
    m_activityTracker = new Services::ActivityTracker(integration->inputMonitor(), this);
    m_screenCaptureService
            = new Services::ScreenCaptureService(integration->screenCapturer(), this);
    m_segmentClock = new Services::SegmentClockService(store, this);
    m_segmentClock->setTimeZone(m_zone);
    m_segmentClock->setActivitySampler(
            [this](const QDateTime &now) { return segmentActivitySnapshot(now); });
    m_segmentClock->setTickObserver([this](bool hadInput) { recordActivitySample(hadInput); });
    connect(m_screenCaptureService, &Services::ScreenCaptureService::screenshotSaved, this,
            &SessionManager::handleCaptureComplete);

    if (Platform::ISleepWatcher *watcher = integration->sleepWatcher()) {
        connect(watcher, &Platform::ISleepWatcher::aboutToSleep, this, &SessionManager::onSleep,
                Qt::UniqueConnection);
        connect(watcher, &Platform::ISleepWatcher::awoke, this, &SessionManager::onWake,
                Qt::UniqueConnection);
        watcher->start();
    }

    auto &notices = Services::AuthNotifications::instance();
    connect(&notices, &Services::AuthNotifications::authSessionDidInvalidate, this,
            &SessionManager::onAuthSessionInvalidated, Qt::UniqueConnection);
    connect(&notices, &Services::AuthNotifications::sessionTakenOverByOtherDevice, this,
            &SessionManager::onSessionTakenOverByOtherDevice,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(&notices, &Services::AuthNotifications::serverTodayTotalDidUpdate, this,
            &SessionManager::applyServerTodayTotal,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));

    if (Networking::ApiEndpoint::overrideHost() && m_store) {
        if (const auto found = m_store->loadActiveSession()) {
            m_interruptedSession = found;
            m_statusMessage
                    = QStringLiteral("Recovered interrupted session %1.").arg(idText(found->id));
            Q_EMIT interruptedSessionChanged();
        }
    }
    recomputeCompletedToday();
    setTracking(m_tracking);
}

// --- Recovery ------------------------------------------------------------------------------------

bool SessionManager::closeDanglingInterval(Models::Session &session,
                                           const QDateTime &fallback) const
{
    if (session.intervals.isEmpty() || session.intervals.last().stoppedAt)
        return false;
    Models::Interval &last = session.intervals.last();
    const std::optional<QDateTime> marker = Storage::lastHeartbeat(session.id);
    if (marker && *marker < last.startedAt) {
        Log::write(Log::Category::Session, Log::Level::Warn,
                   QStringLiteral("Stale heartbeat on recovery: heartbeat=%1 < intervalStart=%2; "
                                  "billing 0 for that interval")
                           .arg(isoWithoutMs(*marker), isoWithoutMs(last.startedAt)));
    }
    last.stoppedAt = resolveDanglingIntervalEnd(last.startedAt, marker, fallback);
    return true;
}

void SessionManager::completeStaleActiveSessions()
{
    if (!Networking::ApiEndpoint::overrideHost() || !m_store)
        return;
    const double before = localTodayTotal();
    const QDateTime now = Clock::nowUtc();
    for (Models::Session session : m_store->loadActiveSessions()) {
        closeDanglingInterval(session, now);
        const QDateTime end = !session.intervals.isEmpty() && session.intervals.last().stoppedAt
                                      ? *session.intervals.last().stoppedAt
                                      : now;
        const Models::Session completed = completedRecord(session, end, false);
        recordCompletion(completed);
        enqueueSessionCompletion(completed);
        logSession(QStringLiteral("Completed stale active session %1").arg(idText(completed.id)));
        // The offer on screen is this very row: it is gone now and must not be completed twice.
        if (m_interruptedSession && m_interruptedSession->id == completed.id) {
            m_interruptedSession.reset();
            Q_EMIT interruptedSessionChanged();
        }
    }
    recomputeCompletedToday();
    m_localTotalAtServerSync += localTodayTotal() - before;
    refreshTodayTotal();
}

void SessionManager::resumeInterruptedSession()
{
    Locker locker(&m_mutex);
    if (!m_interruptedSession || m_tracking)
        return;
    Models::Session session = *m_interruptedSession;
    const QDateTime now = Clock::nowUtc();
    const double before = localTodayTotal();

    if (crossedMidnight(session, now)) {
        autoCompleteAcrossMidnight(now);
        m_interruptedSession.reset();
        m_midnightResumeOffer.reset();
        locker.unlock();
        startTracking(Models::Project{ session.projectId, session.projectName });
        return;
    }

    logSession(QStringLiteral("Tracking resumed (interrupted session)"));
    if (closeDanglingInterval(session, now))
        Storage::clearLastHeartbeat(session.id);
    applyIdleDiscardCutoff(session);
    session.intervals.append(Models::Interval(QUuid::createUuid(), now, std::nullopt));
    m_activeSession = session;
    m_interruptedSession.reset();
    setTracking(true);
    m_paused = false;
    m_idle = false;
    m_needsIdleDecision = false;
    m_pausedBySleep = false;
    m_midnightResumeOffer.reset();
    updateActivelyTracking();
    m_localTotalAtServerSync += localTodayTotal() - before;
    refreshTodayTotal();
    persistActiveSession();
    Storage::setLastHeartbeat(session.id, now);
    if (m_activityTracker && m_activityTracker->start())
        startIdleDetector();
    startTickTimer();
    startScreenCapture();
    enqueueSessionStart(session);
    Q_EMIT stateChanged();
    Q_EMIT interruptedSessionChanged();
}

void SessionManager::autoCompleteAcrossMidnight(const QDateTime &now)
{
    if (!m_interruptedSession || !crossedMidnight(*m_interruptedSession, now))
        return;
    Models::Session session = *m_interruptedSession;
    const QDateTime dayStart
            = Services::startOfDayOrSelf(session.intervals.constFirst().startedAt, m_zone);
    const QDateTime end = Services::startOfDayAfterDays(dayStart, 1, m_zone).addMSecs(-1);
    closeDanglingInterval(session, now);
    truncateIntervalsAt(session, end);
    applyIdleDiscardCutoff(session);
    session.status = Models::SessionStatus::completed;
    session.reportedTotalSeconds = truncatedSeconds(sessionElapsedAt(session, end));
    recordCompletion(session);
    enqueueSessionCompletion(session);

    m_interruptedSession.reset();
    m_midnightResumeOffer = Models::Project{ session.projectId, session.projectName };
    m_selectedProjectId = session.projectId;
    m_statusMessage = QStringLiteral("Session auto-completed because it crossed midnight.");
    Q_EMIT crossDayDetected();
}

void SessionManager::truncateIntervalsAt(Models::Session &session, const QDateTime &boundary)
{
    QList<Models::Interval> kept;
    for (const Models::Interval &interval : std::as_const(session.intervals)) {
        if (interval.startedAt > boundary)
            continue;
        const QDateTime stop = std::min(interval.stoppedAt.value_or(boundary), boundary);
        if (stop < interval.startedAt)
            continue;
        kept.append(Models::Interval(interval.id, interval.startedAt, stop));
    }
    if (kept.isEmpty() && !session.intervals.isEmpty()) {
        const Models::Interval &first = session.intervals.constFirst();
        const QDateTime moment = std::min(boundary, first.startedAt);
        kept.append(Models::Interval(first.id, moment, moment));
    }
    session.intervals = kept;
}

// --- The company day and the midnight rollover
// ----------------------------------------------------

void SessionManager::refreshEffectiveTimeZone()
{
    m_zone = m_remoteConfig ? Services::ApiTimezone::fromIdentifier(m_remoteConfig->appTimezone)
                            : Services::ApiTimezone::zone();
}

QString SessionManager::dayKey(const QDateTime &moment) const
{
    return Services::segmentKeyAt(moment, m_zone).date;
}

bool SessionManager::crossedMidnight(const Models::Session &session, const QDateTime &moment) const
{
    if (session.intervals.isEmpty())
        return false;
    return Services::startOfDayOrSelf(moment, m_zone)
           > Services::startOfDayOrSelf(session.intervals.constFirst().startedAt, m_zone);
}

bool SessionManager::checkMidnightRollover(const QDateTime &now)
{
    if (!m_tracking || !m_activeSession || m_activeSession->intervals.isEmpty())
        return false;
    const Models::Interval &last = m_activeSession->intervals.constLast();
    const QDateTime reference = last.stoppedAt.value_or(last.startedAt);
    if (dayKey(now) == dayKey(reference))
        return false;
    performMidnightRollover(now);
    return true;
}

void SessionManager::performMidnightRollover(const QDateTime &now)
{
    Models::Session finished = *m_activeSession;
    Models::Interval &last = finished.intervals.last();
    QDateTime boundary;
    if (!last.stoppedAt) {
        // The end of the interval's own company day: after a missed day the interval still ends
        // on its first day, and a clock set back never gives a stop before the start.
        const QDateTime dayEnd
                = Services::startOfDayAfterDays(last.startedAt, 1, m_zone).addMSecs(-1);
        boundary = std::max(last.startedAt, std::min(now, dayEnd));
        last.stoppedAt = boundary;
    } else {
        boundary = *last.stoppedAt;
    }
    const Models::Session completed = completedRecord(finished, boundary, true);
    recordCompletion(completed);
    m_checkpointCounter = 0;
    m_serverTodayTotal.reset();
    m_localTotalAtServerSync = 0.0;

    const bool wasPaused = m_paused;
    Models::Session next;
    next.id = QUuid::createUuid();
    next.deviceId = completed.deviceId;
    next.projectId = completed.projectId;
    next.projectName = completed.projectName;
    if (!wasPaused)
        next.intervals = { Models::Interval(QUuid::createUuid(), now, std::nullopt) };
    next.status = Models::SessionStatus::active;
    m_activeSession = next;
    // The new session is the open one before today's sum is taken, so it is not counted twice.
    recomputeCompletedToday();
    enqueueSessionCompletion(completed);
    m_selectedProjectId = next.projectId;
    logSession(QStringLiteral("Midnight rollover: session %1 completed, new session %2")
                       .arg(idText(completed.id), idText(next.id)));

    setTracking(true);
    m_idlePromptRaised = false;
    m_idle = false;
    m_needsIdleDecision = false;
    m_paused = wasPaused;
    if (m_activityTracker)
        m_activityTracker->reset();
    m_activityPercent.reset();
    m_activitySamples.clear();
    m_pausedBySleep = false;
    updateActivelyTracking();

    if (m_store)
        m_store->saveActiveSession(next);
    // A paused session gets its start when its first interval opens.
    if (!next.intervals.isEmpty())
        enqueueSessionStart(next);
    if (m_idleDetector)
        m_idleDetector->stop();
    startIdleDetector();
    if (m_screenCaptureService)
        m_screenCaptureService->stop();
    if (!wasPaused)
        startScreenCapture();
    startTickTimer();
    Q_EMIT crossDayDetected();
}

// --- Today's total -------------------------------------------------------------------------------

void SessionManager::recomputeCompletedToday()
{
    if (m_store) {
        const QDateTime now = Clock::nowUtc();
        const QDateTime from = Services::startOfDayOrSelf(now, m_zone);
        const QDateTime to = Services::startOfDayAfterDays(now, 1, m_zone);
        double sum = 0.0;
        for (const auto &row : m_store->sessionSummaries(from, to))
            sum += row.durationSeconds;
        m_completedTodaySeconds = sum;
    }
    refreshTodayTotal();
}

void SessionManager::refreshTodayTotal()
{
    m_todayTotalSeconds = Services::ServerTodayTotal::effectiveTotal(
            m_serverTodayTotal, dayKey(Clock::nowUtc()), localTodayTotal(),
            m_localTotalAtServerSync);
}

void SessionManager::applyServerTodayTotal(const Services::ServerTodayTotal &total)
{
    const Locker locker(&m_mutex);
    applyServerTodayTotalLocked(total);
    Q_EMIT stateChanged();
}

void SessionManager::applyServerTodayTotalLocked(const Services::ServerTodayTotal &total)
{
    const QString today = dayKey(Clock::nowUtc());
    if (total.isBefore(today)) {
        logSession(QStringLiteral("Ignoring outdated server today_total: dated %1, today is %2")
                           .arg(total.date, today));
        return;
    }
    if (total.isOlderThan(m_serverTodayTotal)) {
        logSession(QStringLiteral("Ignoring stale server today_total: incoming %1 < current %2")
                           .arg(total.date, m_serverTodayTotal->date));
        return;
    }
    const std::optional<Services::ServerTodayTotal> previous = m_serverTodayTotal;
    m_serverTodayTotal = total;
    if (previous && previous->date != total.date) {
        m_completedTodaySeconds = 0.0;
        logSession(QStringLiteral("Server today_date changed %1(%2s) → %3(%4s); local reset to 0")
                           .arg(previous->date)
                           .arg(previous->seconds)
                           .arg(total.date)
                           .arg(total.seconds));
    }
    m_localTotalAtServerSync = localTodayTotal();
    refreshTodayTotal();
}

// --- Remote configuration ------------------------------------------------------------------------

void SessionManager::applyRemoteConfig(const std::optional<Models::RemoteConfig> &config)
{
    const Locker locker(&m_mutex);
    const std::optional<int> oldThreshold
            = m_remoteConfig ? std::optional(m_remoteConfig->idleMinutesThreshold) : std::nullopt;
    m_remoteConfig = config;
    Services::ApiTimezone::storeFromConfig(config);
    refreshEffectiveTimeZone();
    if (config && !config->projects.isEmpty() && !m_selectedProjectId.isEmpty()) {
        const bool known = std::any_of(config->projects.cbegin(), config->projects.cend(),
                                       [this](const Models::Project &project) {
                                           return project.id == m_selectedProjectId;
                                       });
        if (!known)
            m_selectedProjectId = config->projects.constFirst().id;
    }
    if (m_segmentClock)
        m_segmentClock->setTimeZone(m_zone);
    if (m_store)
        m_store->setDomainKey(Networking::ApiEndpoint::domainKey());
    recomputeCompletedToday();
    const std::optional<int> newThreshold
            = config ? std::optional(config->idleMinutesThreshold) : std::nullopt;
    if (config && config->todayTotalSeconds && config->todayDate)
        applyServerTodayTotalLocked({ *config->todayTotalSeconds, *config->todayDate });
    if (shouldRestartIdleDetector(oldThreshold, newThreshold, m_tracking, m_paused, m_idle))
        startIdleDetector();
}

} // namespace Core
