// The upload service's object, its enqueue operations, the live heartbeat and takeovers.

#include "services/server/UploadService.h"

#include "models/HeartbeatPayload.h"
#include "models/Session.h"
#include "models/StartSessionPayload.h"
#include "models/UploadTask.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthNotifications.h"
#include "services/server/ServerTodayTotal.h"
#include "services/server/UploadInternals.h"
#include "storage/Paths.h"
#include "storage/SQLiteStore.h"

#include <QDir>
#include <QJsonDocument>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace Services {

namespace {

Models::UploadTask newTask(const QUuid &sessionId, Models::UploadTaskType type,
                           const std::optional<QString> &filePath,
                           const std::optional<QByteArray> &body, int priority)
{
    return Models::UploadTask(QUuid::createUuid(), sessionId, type, filePath, body, 0,
                              QDateTime::currentDateTimeUtc(), Models::UploadTaskStatus::pending,
                              priority);
}

} // namespace

UploadService &UploadService::instance()
{
    static UploadService service;
    return service;
}

UploadService::UploadService() = default;

UploadService::~UploadService()
{
    stop();
}

void UploadService::wakeWorker()
{
    const QMutexLocker locker(&m_workerMutex);
    m_wakePending = true;
    m_workerWake.wakeAll();
}

void UploadService::enqueueSessionStart(const Models::Session &session)
{
    if (!m_store)
        return;
    const QByteArray body = Models::StartSessionPayload::build(session);
    if (body.isEmpty()) {
        UploadInternals::warn(u"enqueueSessionStart: StartSessionPayload.build failed"_s);
        return;
    }
    m_store->enqueueUpload(newTask(session.id, Models::UploadTaskType::startSession, std::nullopt,
                                   body, Models::UploadTask::startSessionPriority));
}

void UploadService::enqueueSessionStop(const Models::Session &session)
{
    if (!m_store)
        return;
    const QByteArray body = Models::buildHeartbeatPayload(session, u"completed"_s);
    m_store->enqueueUpload(newTask(session.id, Models::UploadTaskType::heartbeat, std::nullopt,
                                   body, Models::UploadTask::heartbeatPriority));
    enqueueScreenshotsForSession(session.id);
}

void UploadService::enqueueScreenshotsForSession(const Models::Session &session)
{
    enqueueScreenshotsForSession(session.id);
}

void UploadService::enqueueScreenshotsForSession(const QUuid &sessionId)
{
    if (!m_store)
        return;
    const QDir folder(Platform::Paths::capturesDirFor(Networking::ApiEndpoint::domainKey()));
    // Name filters ignore case unless told otherwise; the identifier in a name is upper case.
    const QStringList names
            = folder.entryList({ sessionId.toString(QUuid::WithoutBraces).toUpper() + u"_*"_s },
                               QDir::Files | QDir::CaseSensitive, QDir::Unsorted);
    UploadInternals::info(u"Enqueueing %1 screenshot(s) for session %2"_s.arg(names.size())
                                  .arg(UploadInternals::idText(sessionId)));
    for (const QString &name : names) {
        // The sweep forms its paths the same way, or its duplicate check would miss.
        const QString path = folder.absoluteFilePath(name);
        if (!m_store->hasPendingScreenshotUpload(sessionId, path)) {
            m_store->enqueueUpload(newTask(sessionId, Models::UploadTaskType::screenshot, path,
                                           std::nullopt, Models::UploadTask::screenshotPriority));
        }
    }
}

UploadService::HeartbeatResult UploadService::uploadHeartbeatNow(const Models::Session &session)
{
    const QJsonDocument document
            = QJsonDocument::fromJson(Models::buildHeartbeatPayload(session, u"active"_s));
    if (!document.isObject()) {
        UploadInternals::warn(u"uploadHeartbeatNow: buildHeartbeatPayload failed"_s);
        return HeartbeatResult::Failed;
    }
    const Networking::APIResponse response = Networking::APIClient::instance().postJson(
            UploadInternals::heartbeatPath, document.object(), true, true);
    if (response.error) {
        const Networking::APIError &error = *response.error;
        if (error.kind == Networking::APIError::Kind::RefreshDeferred) {
            UploadInternals::info(u"uploadHeartbeatNow deferred (token refresh in flight)"_s);
            return HeartbeatResult::Deferred;
        }
        if (error.kind == Networking::APIError::Kind::Server
            && (error.httpStatus == 404 || error.httpStatus == 409)) {
            // The server cannot know a session whose start still waits in the queue.
            if (isSessionStartQueued(session.id)) {
                UploadInternals::info(
                        u"uploadHeartbeatNow: session %1 answered %2 while its start is "
                        "queued; not a takeover"_s.arg(UploadInternals::idText(session.id))
                                .arg(*error.httpStatus));
                return HeartbeatResult::Deferred;
            }
            handleSessionTakenOver(session.id, *error.httpStatus);
            return HeartbeatResult::Failed;
        }
        UploadInternals::error(u"uploadHeartbeatNow failed: %1"_s.arg(error.message));
        return HeartbeatResult::Failed;
    }
    if (const std::optional<ServerTodayTotal> total = ServerTodayTotal::fromReply(response.body))
        Q_EMIT AuthNotifications::instance().serverTodayTotalDidUpdate(*total);
    return HeartbeatResult::Ok;
}

void UploadService::handleSessionTakenOver(const QUuid &sessionId, int httpStatus)
{
    bool first = false;
    {
        const QMutexLocker locker(&m_takenOverMutex);
        if (!m_takenOver.contains(sessionId)) {
            m_takenOver.insert(sessionId);
            first = true;
        }
    }
    if (first) {
        UploadInternals::warn(
                u"Session %1 taken over by another device (status %2); stopping local "
                "tracking."_s.arg(UploadInternals::idText(sessionId))
                        .arg(httpStatus));
        Q_EMIT AuthNotifications::instance().sessionTakenOverByOtherDevice(sessionId, httpStatus);
    }
    if (!m_store)
        return;
    const QList<QUuid> ids = m_store->pendingUploadIds(
            sessionId, { Models::UploadTaskType::heartbeat, Models::UploadTaskType::startSession });
    for (const QUuid &id : ids)
        m_store->removeUpload(id);
}

bool UploadService::isSessionStartQueued(const QUuid &sessionId)
{
    return m_store
           && !m_store->pendingUploadIds(sessionId, { Models::UploadTaskType::startSession })
                       .isEmpty();
}

} // namespace Services
