// The session engine's reactions to what happens without a button: idleness and the company's idle
// policy, sleep and wake, saved screenshots, the per-second activity samples and the notices that
// end a session from outside.

#include "core/SessionManager.h"

#include "core/AppStateManager.h"
#include "core/Clock.h"
#include "core/IdleDetector.h"
#include "services/tracking/ActivityTracker.h"
#include "services/tracking/ITrackingUploads.h"
#include "services/tracking/ScreenCaptureService.h"
#include "storage/Log.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace Core {

namespace {

constexpr qsizetype maxActivitySamples = 300;

void logCapture(const QString &message)
{
    Log::write(Log::Category::Capture, Log::Level::Info, message);
}

} // namespace

// --- Idleness ------------------------------------------------------------------------------------

void SessionManager::setIdleDiscardCutoff(const QDateTime &cutoff)
{
    if (!m_activeSession || m_activeSession->intervals.isEmpty())
        return;
    m_activeSession->idleDiscardCutoffAt = cutoff;
    persistActiveSession();
}

void SessionManager::onIdleDetected()
{
    const Locker locker(&m_mutex);
    if (!m_tracking || m_paused)
        return;
    m_idlePromptRaised = false;
    m_idle = true;
    std::optional<QDateTime> cutoff;
    if (m_activityTracker)
        cutoff = m_activityTracker->lastActivityAt();
    if (!cutoff && m_activeSession && !m_activeSession->intervals.isEmpty())
        cutoff = m_activeSession->intervals.last().startedAt;
    setIdleDiscardCutoff(cutoff.value_or(Clock::nowUtc()));
    pauseLocked();
}

void SessionManager::onIdleEnded()
{
    Locker locker(&m_mutex);
    if (!m_tracking || (m_paused && !m_idle))
        return;
    const QString action = m_remoteConfig && m_remoteConfig->idleAction
                                   ? *m_remoteConfig->idleAction
                                   : QStringLiteral("ask");
    if (action == QLatin1String("stop")) {
        locker.unlock();
        stopTracking(QStringLiteral("idle"));
        return;
    }
    if (action == QLatin1String("pause")) {
        if (!m_paused) {
            m_idle = true;
            pauseLocked();
        }
        return;
    }
    if (!m_paused) {
        m_idle = true;
        pauseLocked();
    }
    if (m_idlePromptRaised || m_needsIdleDecision)
        return;
    m_statusMessage = QStringLiteral("You were idle. Continue tracking or stop the session.");
    m_needsIdleDecision = true;
    m_idlePromptRaised = true;
    Q_EMIT stateChanged();
    if (m_idleDecisionPresenter)
        QMetaObject::invokeMethod(this, &SessionManager::runIdleDecisionPresenter,
                                  Qt::QueuedConnection);
}

void SessionManager::runIdleDecisionPresenter()
{
    // A copy, called without the lock: the dialog runs a nested event loop.
    const auto presenter = m_idleDecisionPresenter;
    if (presenter)
        presenter();
}

void SessionManager::stopAfterIdle()
{
    stopTracking(QStringLiteral("idle"));
}

void SessionManager::continueAfterIdle()
{
    {
        const Locker locker(&m_mutex);
        m_idle = false;
    }
    resumeTracking();
}

// --- Sleep and wake ------------------------------------------------------------------------------

void SessionManager::onSleep()
{
    const Locker locker(&m_mutex);
    if (!m_tracking || m_paused)
        return;
    m_pausedBySleep = true;
    if (m_screenCaptureService)
        m_screenCaptureService->stop();
    if (m_activityTracker)
        m_activityTracker->stop();
    stopTickTimer();
    closeOpenInterval(Clock::nowUtc());
    m_paused = true;
    updateActivelyTracking();
    persistActiveSession();
    Log::write(Log::Category::Session, Log::Level::Info,
               QStringLiteral("Tracking paused due to system sleep"));
    Q_EMIT stateChanged();
}

void SessionManager::onWake()
{
    Locker locker(&m_mutex);
    if (m_interruptedSession)
        return;
    if (m_pausedBySleep && m_tracking) {
        locker.unlock();
        resumeTracking();
        locker.relock();
    }
    checkMidnightRollover(Clock::nowUtc());
}

// --- Capture, then heartbeat ---------------------------------------------------------------------

void SessionManager::handleCaptureComplete()
{
    Locker locker(&m_mutex);
    logCapture(QStringLiteral("handleCaptureComplete received"));
    if (!m_activeSession || !m_tracking || m_paused)
        return;
    Models::Session session = *m_activeSession;
    const double elapsed = sessionElapsedNow(session);
    if (m_activityTracker) {
        const auto snapshot = m_activityTracker->snapshot(std::max(elapsed, 1.0));
        session.mouseCount = snapshot.mouseMovements;
        session.keyboardCount = snapshot.keyPresses;
        session.activityScore = snapshot.activityPercent;
    }
    m_activeSession = session;
    persistActiveSession();
    logCapture(QStringLiteral("Session updated: total=%1s mouse=%2 kb=%3 score=%4")
                       .arg(int(elapsed))
                       .arg(session.mouseCount)
                       .arg(session.keyboardCount)
                       .arg(QString::number(session.activityScore, 'g',
                                            QLocale::FloatingPointShortest)));
    logCapture(QStringLiteral("Uploading heartbeat, then screenshots if success"));
    // Nothing of the engine is held from here on: the heartbeat waits in a nested event loop in
    // which ticks, stops and starts may run. Only the local copy is used.
    locker.unlock();

    auto &uploads = Services::trackingUploads();
    const auto result = uploads.uploadHeartbeatNow(session);
    if (result == Services::ITrackingUploads::HeartbeatResult::Failed) {
        logCapture(QStringLiteral("Heartbeat failed, skipping screenshot upload"));
        return;
    }
    uploads.enqueueScreenshotsForSession(session);
    uploads.wakeWorker();
}

// --- Activity samples ----------------------------------------------------------------------------

Services::ActivitySample SessionManager::segmentActivitySnapshot(const QDateTime &)
{
    const Locker locker(&m_mutex);
    if (!m_activityTracker)
        return { false, m_activelyTracking, 0, 0 };
    const bool hadInput = m_activityTracker->takeActivityFlag();
    const auto counts = m_activityTracker->takeIntervalCounts();
    if (hadInput && m_activelyTracking)
        m_activityTracker->addActiveSecond();
    return { hadInput, m_activelyTracking, counts.mouse, counts.keys };
}

void SessionManager::recordActivitySample(bool hadInput)
{
    const Locker locker(&m_mutex);
    if (!m_tracking || m_paused)
        return;
    m_activitySamples.append(hadInput);
    if (m_activitySamples.size() > maxActivitySamples)
        m_activitySamples.removeFirst();
    const auto active = std::count(m_activitySamples.cbegin(), m_activitySamples.cend(), true);
    m_activityPercent
            = std::clamp(double(active) / double(m_activitySamples.size()) * 100.0, 0.0, 100.0);
}

// --- Stops from outside --------------------------------------------------------------------------

void SessionManager::onForceClientUpdateChanged()
{
    if (!AppStateManager::instance().forceClientUpdate() || !isTracking())
        return;
    Log::write(Log::Category::Config, Log::Level::Warn,
               QStringLiteral("Force update required — stopping tracking"));
    stopTracking(QStringLiteral("Update required"));
}

void SessionManager::onAuthSessionInvalidated()
{
    if (isTracking())
        stopTracking(QStringLiteral("session-invalidated"));
}

void SessionManager::onSessionTakenOverByOtherDevice(const QUuid &sessionId, int)
{
    const Locker locker(&m_mutex);
    // Only a notice about the open session closes it: a late answer about an earlier session must
    // not end the one that replaced it.
    if (m_tracking && m_activeSession && m_activeSession->id == sessionId)
        handleSessionTakenOver();
}

void SessionManager::handleSessionTakenOver()
{
    const Locker locker(&m_mutex);
    if (!m_activeSession)
        return;
    const QDateTime now = Clock::nowUtc();
    closeOpenInterval(now);
    Models::Session session = *m_activeSession;
    const QDateTime end = !session.intervals.isEmpty() && session.intervals.last().stoppedAt
                                  ? *session.intervals.last().stoppedAt
                                  : now;
    const Models::Session completed = completedRecord(session, end, true);
    recordCompletion(completed);
    // No completion is queued: the server holds the session on the other device.
    resetAfterSessionEnd();
    m_statusMessage = QStringLiteral("Session was resumed on another device.");
    Log::write(Log::Category::Session, Log::Level::Info,
               QStringLiteral("Session %1 closed locally after backend takeover.")
                       .arg(completed.id.toString(QUuid::WithoutBraces)));
    Q_EMIT stateChanged();
}

} // namespace Core
