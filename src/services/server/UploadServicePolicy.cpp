// What the upload worker does with a queued task that failed: classify, reschedule, back off,
// drop, or treat the session as taken over.

#include "services/server/UploadService.h"

#include "models/UploadTask.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadInternals.h"
#include "storage/SQLiteStore.h"

#include <QFile>
#include <QNetworkReply>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace Services {

namespace {

constexpr qint64 maximumAgeSeconds = 604800;
constexpr int retryLimit = 5;
constexpr int offlineDelaySeconds = 60;
constexpr quint64 offlineJitterBuckets = 31;

using Kind = Networking::APIError::Kind;
using Type = Models::UploadTaskType;

} // namespace

bool UploadService::isPermanentHttpStatus(int status, Models::UploadTaskType type)
{
    switch (status) {
    case 400:
        return type == Type::heartbeat || type == Type::activitySegment;
    case 404:
    case 409:
        return type == Type::startSession;
    case 413:
        return type == Type::screenshot;
    case 422:
        return true;
    default:
        return false;
    }
}

bool UploadService::isOfflineTransportError(const Networking::APIError &error)
{
    if (error.kind != Kind::Network || !error.networkError)
        return false;
    switch (*error.networkError) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return true;
    default:
        return false;
    }
}

UploadFailureClassification UploadService::classifyFailure(const Networking::APIError &error,
                                                           Models::UploadTaskType type)
{
    if (isOfflineTransportError(error) || error.kind == Kind::RefreshDeferred)
        return { UploadFailureDisposition::Offline, false, std::nullopt };
    if (error.kind != Kind::Server || !error.httpStatus)
        return { UploadFailureDisposition::Transient, false, std::nullopt };
    const int status = *error.httpStatus;
    if (type == Type::heartbeat && (status == 404 || status == 409))
        return { UploadFailureDisposition::SessionGone, false, status };
    if (isPermanentHttpStatus(status, type))
        return { UploadFailureDisposition::Permanent, type == Type::screenshot, status };
    return { UploadFailureDisposition::Transient, false, status };
}

bool UploadService::isPastRetention(Models::UploadTaskType type, const QDateTime &createdAt,
                                    const QDateTime &now)
{
    return type == Type::screenshot && createdAt.isValid()
           && createdAt.msecsTo(now) > maximumAgeSeconds * 1000;
}

bool UploadService::isUnrecoverable(bool transient, int retryCount, qint64 ageSeconds)
{
    if (ageSeconds > maximumAgeSeconds)
        return true;
    if (transient)
        return false;
    return retryCount > retryLimit;
}

QDateTime UploadService::offlineRetryTime(const QDateTime &now)
{
    // A 32-bit draw scaled to 31 buckets: 0 to 30 whole seconds.
    const quint64 jitter
            = (quint64(QRandomGenerator::global()->generate()) * offlineJitterBuckets) >> 32;
    return now.addSecs(offlineDelaySeconds + static_cast<qint64>(jitter));
}

void UploadService::rescheduleWithoutPenalty(const Models::UploadTask &task, const QString &reason)
{
    UploadInternals::info(reason);
    m_store->markUploadFailed(task.id, task.retryCount, offlineRetryTime(UploadClock::now()));
}

void UploadService::handleFailure(const Models::UploadTask &task, const Networking::APIError &error,
                                  const std::optional<QString> &tokenBefore)
{
    const QString id = UploadInternals::idText(task.id);
    // A 401 that no refresh mended (the refresh failed for now, or nobody is signed in) says
    // nothing about the task: counting it would drop queued starts and stops during a refresh
    // outage. A 401 after a renewed token still counts.
    if (error.kind == Kind::Unauthorized) {
        const std::optional<QString> tokenAfter = UploadInternals::storedAccessToken();
        if (!tokenAfter || tokenAfter == tokenBefore) {
            rescheduleWithoutPenalty(task, u"Task %1 unauthorized without a renewed token; "
                                           "rescheduling without retry penalty"_s.arg(id));
            return;
        }
    }

    const UploadFailureClassification classification = classifyFailure(error, task.type);
    const int status = classification.httpStatus.value_or(-1);
    switch (classification.disposition) {
    case UploadFailureDisposition::Offline:
        rescheduleWithoutPenalty(task, u"Task %1 offline transport error (%2); rescheduling "
                                       "without retry penalty"_s.arg(id)
                                               .arg(error.networkError.value_or(-1)));
        return;
    case UploadFailureDisposition::SessionGone:
        // The server cannot know a session whose start is still queued here.
        if (isSessionStartQueued(task.sessionId)) {
            rescheduleWithoutPenalty(task, u"Task %1 answered %2 while the session's start is "
                                           "queued; rescheduling without retry penalty"_s.arg(id)
                                                   .arg(status));
            return;
        }
        handleSessionTakenOver(task.sessionId, classification.httpStatus.value_or(0));
        m_store->removeUpload(task.id);
        return;
    case UploadFailureDisposition::Permanent:
        UploadInternals::warn(u"Task %1 type=%2 permanent %3; dropping."_s.arg(
                id, Models::uploadTaskTypeToString(task.type), QString::number(status)));
        if (classification.deleteFile && task.filePath)
            QFile::remove(*task.filePath);
        m_store->removeUpload(task.id);
        return;
    case UploadFailureDisposition::Transient:
        break;
    }

    UploadCircuitBreaker::instance().recordFailure(classification.httpStatus);
    const int retryCount = task.retryCount + 1;
    // The error's own status: an Unauthorized 401 is not transient.
    const bool transient = error.kind == Kind::Network || error.httpStatus.value_or(0) >= 500;
    const qint64 age = task.createdAt.isValid() ? task.createdAt.secsTo(UploadClock::now()) : 0;
    if (isUnrecoverable(transient, retryCount, age)) {
        UploadInternals::warn(u"Task %1 unrecoverable (transient=%2 retry=%3 age=%4s), "
                              "discarding."_s.arg(id)
                                      .arg(transient ? 1 : 0)
                                      .arg(retryCount)
                                      .arg(age));
        m_store->removeUpload(task.id);
        return;
    }
    m_store->markUploadFailed(task.id, retryCount, UploadCircuitBreaker::retryTime(retryCount));
    UploadInternals::warn(u"Upload failed (retry %1): %2"_s.arg(retryCount).arg(error.message));
}

} // namespace Services
