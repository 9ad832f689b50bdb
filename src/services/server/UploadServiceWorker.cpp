// The upload worker: launch cleanup, the thread and its loop, one pass over the queue, and the
// queued senders of session starts and heartbeats.

#include "services/server/UploadService.h"

#include "models/UploadTask.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "networking/NetworkMonitor.h"
#include "services/server/AuthNotifications.h"
#include "services/server/ServerTodayTotal.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadInternals.h"
#include "storage/SQLiteStore.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <utility>

using namespace Qt::StringLiterals;

namespace Services {

namespace {

constexpr int defaultSweepIntervalMs = 900000;
constexpr int tasksPerPass = 20;
constexpr int passIntervalSeconds = 30;
constexpr int noStoreIntervalSeconds = 5;
constexpr int joinTimeoutMs = 5000;
constexpr int stuckWorkerExitStatus = 75;
constexpr int purgeCutoffDays = 30;

std::atomic_int s_sweepIntervalMs{ defaultSweepIntervalMs };
// Rounds of the worker loop so far, run or skipped, for tests that must see one go by.
std::atomic_int s_workerRounds{ 0 };

std::optional<QJsonObject> bodyObject(const Models::UploadTask &task)
{
    if (!task.jsonPayload)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*task.jsonPayload);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

namespace UploadWorkerSettings {

// For the test hooks.
void setSweepIntervalMs(int milliseconds)
{
    s_sweepIntervalMs = milliseconds > 0 ? milliseconds : defaultSweepIntervalMs;
}

int workerRounds()
{
    return s_workerRounds.load();
}

} // namespace UploadWorkerSettings

void UploadService::start(Storage::SQLiteStore *store)
{
    if (m_worker)
        return;
    m_store = store;
    if (m_store) {
        m_store->requeueInProgressUploads();
        const QString cutoff
                = QDate::currentDate().addDays(-purgeCutoffDays).toString(u"yyyy-MM-dd"_s);
        // Signed in without a company endpoint (a direct sign-in, or the environment's base URL),
        // the "global" rows are the signed-in user's own work, not leftovers of another account.
        const bool globalRowsAreOwn = UploadInternals::storedAccessToken().has_value()
                                      && !Networking::ApiEndpoint::overrideHost();
        const int removed = m_store->purgeStaleRows(cutoff, std::nullopt, !globalRowsAreOwn);
        if (removed > 0)
            UploadInternals::info(
                    u"Launch cleanup: removed %1 unattributable row(s)"_s.arg(removed));
    }
    enqueueOrphanedScreenshots();

    // In this order: a stop that raced ahead of this start must not leave the abort flag clear
    // while the stop request is still set.
    m_stopRequested = false;
    Networking::APIClient::setAbortRequested(false);

    m_worker = QThread::create([this] { runWorkerLoop(); });
    // Named before it starts, so the native thread carries the name too.
    m_worker->setObjectName(u"upload.worker"_s);
    m_worker->start();
}

void UploadService::stop()
{
    m_stopRequested = true;
    Networking::APIClient::setAbortRequested(true);
    wakeWorker();
    if (!m_worker)
        return;
    if (!m_worker->wait(joinTimeoutMs)) {
        UploadInternals::warn(u"UploadService::stop: worker stuck after 5s; exiting immediately "
                              "without static destruction"_s);
        // A running QThread must never be destroyed, and static destructors would meet it too.
        std::_Exit(stuckWorkerExitStatus);
    }
    delete m_worker;
    m_worker = nullptr;
}

void UploadService::runWorkerLoop()
{
    QElapsedTimer sinceSweep;
    sinceSweep.start();
    while (!m_stopRequested) {
        if (sinceSweep.elapsed() > s_sweepIntervalMs.load()) {
            enqueueOrphanedScreenshots();
            sinceSweep.restart();
        }
        // Signed out, the tasks would go to the default host without a token: keep them all.
        const int waitSeconds
                = UploadInternals::storedAccessToken() ? processQueue() : passIntervalSeconds;

        ++s_workerRounds;

        QMutexLocker locker(&m_workerMutex);
        if (!m_stopRequested && !m_wakePending)
            m_workerWake.wait(&m_workerMutex, static_cast<unsigned long>(waitSeconds) * 1000);
        m_wakePending = false;
    }
}

int UploadService::processQueue()
{
    if (!Networking::NetworkMonitor::instance().isOnline()) {
        UploadInternals::info(u"processQueue: NetworkMonitor reports offline (advisory) — "
                              "proceeding anyway"_s);
    }
    UploadCircuitBreaker &breaker = UploadCircuitBreaker::instance();
    if (breaker.isOpen(UploadClock::now())) {
        UploadInternals::info(u"processQueue skipped: circuit breaker open"_s);
        return passIntervalSeconds;
    }
    if (!m_store)
        return noStoreIntervalSeconds;

    queueSegmentTaskIfNeeded();

    // A task that is done with leaves the queue together with the pick of the next one: one
    // commit per task instead of two. Every way out of the pass removes it first, in the same
    // kind of commit.
    std::optional<QUuid> finished;
    const auto endPass = [&] {
        if (finished)
            m_store->finishUpload(*finished);
        return passIntervalSeconds;
    };
    for (int taken = 0; taken < tasksPerPass; ++taken) {
        if (m_stopRequested)
            return endPass();
        if (breaker.isOpen(UploadClock::now()))
            return endPass();
        const std::optional<Models::UploadTask> next
                = m_store->takeNextDueUpload(UploadClock::now(), std::exchange(finished, {}));
        if (!next)
            return passIntervalSeconds;
        const Models::UploadTask &task = *next;
        if (isPastRetention(task.type, task.createdAt, UploadClock::now())) {
            UploadInternals::warn(u"Dropping upload task %1 older than retention (%2)"_s.arg(
                    UploadInternals::idText(task.id), task.createdAt.toString(Qt::ISODate)));
            finished = task.id;
            continue;
        }

        // Tells an Unauthorized that no refresh could mend from one after a renewed token.
        const std::optional<QString> tokenBefore = UploadInternals::storedAccessToken();
        bool fileUnavailable = false;
        const std::optional<Networking::APIError> error = dispatch(task, &fileUnavailable);
        if (fileUnavailable) {
            finished = task.id;
            continue;
        }
        if (!error) {
            finished = task.id;
            breaker.recordSuccess();
            continue;
        }
        if (m_stopRequested) {
            UploadInternals::info(u"Task %1 aborted by shutdown; left for next launch"_s.arg(
                    UploadInternals::idText(task.id)));
            return passIntervalSeconds;
        }
        handleFailure(task, *error, tokenBefore);
    }
    return endPass();
}

std::optional<Networking::APIError> UploadService::dispatch(const Models::UploadTask &task,
                                                            bool *fileUnavailable)
{
    switch (task.type) {
    case Models::UploadTaskType::heartbeat:
        return sendHeartbeat(task);
    case Models::UploadTaskType::screenshot: {
        const ScreenshotUploadResult result = uploadScreenshot(task);
        switch (result.outcome) {
        case ScreenshotUploadOutcome::Uploaded:
            return std::nullopt;
        case ScreenshotUploadOutcome::FileUnavailable:
            *fileUnavailable = true;
            return std::nullopt;
        case ScreenshotUploadOutcome::Failed:
            break;
        }
        if (result.error)
            return result.error;
        return Networking::APIError::networkFailure(u"Screenshot upload failed"_s);
    }
    case Models::UploadTaskType::activitySegment:
        return sendSegmentsBatch(task);
    case Models::UploadTaskType::startSession:
        return sendSessionStart(task);
    case Models::UploadTaskType::metadata:
        break;
    }
    // Nothing sends metadata (or a type this version does not know): it leaves as a success.
    return std::nullopt;
}

std::optional<Networking::APIError> UploadService::sendSessionStart(const Models::UploadTask &task)
{
    const std::optional<QJsonObject> body = bodyObject(task);
    if (!body)
        return Networking::APIError::decodingFailed({});
    return Networking::APIClient::instance()
            .postJson(UploadInternals::startPath, *body, true, true)
            .error;
}

std::optional<Networking::APIError> UploadService::sendHeartbeat(const Models::UploadTask &task)
{
    const std::optional<QJsonObject> body = bodyObject(task);
    if (!body)
        return Networking::APIError::decodingFailed({});
    const Networking::APIResponse response = Networking::APIClient::instance().postJson(
            UploadInternals::heartbeatPath, *body, true, true);
    if (response.error)
        return response.error;
    if (const std::optional<ServerTodayTotal> total = ServerTodayTotal::fromReply(response.body))
        Q_EMIT AuthNotifications::instance().serverTodayTotalDidUpdate(*total);
    return std::nullopt;
}

} // namespace Services
