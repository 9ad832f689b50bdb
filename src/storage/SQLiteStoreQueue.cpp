// The upload queue: one row per task that still has to reach the service.

#include "storage/SQLiteStore.h"

#include "models/JsonDecodingError.h"
#include "storage/SqlValues.h"

#include <QSqlQuery>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

// Column order of the due-task pick.
enum DueColumn {
    IdColumn,
    SessionIdColumn,
    TypeColumn,
    FilePathColumn,
    JsonPayloadColumn,
    RetryCountColumn,
    CreatedAtColumn,
    StatusColumn,
    PriorityColumn,
};

Models::UploadTask taskFromRow(const QSqlQuery &query)
{
    Models::UploadTask task;
    task.id = QUuid::fromString(query.value(IdColumn).toString());
    task.sessionId = QUuid::fromString(query.value(SessionIdColumn).toString());
    try {
        task.type = Models::uploadTaskTypeFromString(query.value(TypeColumn).toString());
        task.status = Models::uploadTaskStatusFromString(query.value(StatusColumn).toString());
    } catch (const Models::JsonDecodingError &) {
        // A row written by another version with a type this one does not know: hand it out as
        // metadata rather than lose it, and let the upload policy decide.
        task.type = Models::UploadTaskType::metadata;
        task.status = Models::UploadTaskStatus::pending;
    }
    if (!query.isNull(FilePathColumn))
        task.filePath = query.value(FilePathColumn).toString();
    if (!query.isNull(JsonPayloadColumn))
        task.jsonPayload = query.value(JsonPayloadColumn).toByteArray();
    task.retryCount = query.value(RetryCountColumn).toInt();
    task.createdAt = SqlValues::fromEpochSeconds(query.value(CreatedAtColumn).toDouble());
    task.priority = query.value(PriorityColumn).toInt();
    return task;
}

} // namespace

void SQLiteStore::enqueueUpload(const Models::UploadTask &task,
                                const std::optional<QString> &domainKey)
{
    withQuery([&](QSqlQuery &query) {
        const bool queued = SqlValues::run(
                query,
                u"INSERT OR REPLACE INTO upload_queue (id, domain_key, session_id, type, "
                "file_path, json_payload, retry_count, created_at, status, priority, "
                "next_attempt_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);"_s,
                { SqlValues::uuidText(task.id), boundDomainKey(domainKey),
                  SqlValues::uuidText(task.sessionId), Models::uploadTaskTypeToString(task.type),
                  SqlValues::nullableText(task.filePath),
                  SqlValues::nullableBytes(task.jsonPayload), task.retryCount,
                  SqlValues::toEpochSeconds(task.createdAt),
                  Models::uploadTaskStatusToString(task.status), task.priority, 0.0 });
        noteWrite(queued, query,
                  u"queue the %1 upload %2"_s.arg(Models::uploadTaskTypeToString(task.type),
                                                  SqlValues::uuidText(task.id)));
    });
}

std::optional<Models::UploadTask> SQLiteStore::nextDueUpload(const QDateTime &now)
{
    return withQuery([&](QSqlQuery &query) -> std::optional<Models::UploadTask> {
        if (!SqlValues::runForRow(query,
                                  u"SELECT id, session_id, type, file_path, json_payload, "
                                  "retry_count, created_at, status, priority FROM upload_queue "
                                  "WHERE domain_key = ? AND status IN ('pending', 'failed') "
                                  "AND next_attempt_at <= ? "
                                  "ORDER BY priority DESC, created_at ASC LIMIT 1;"_s,
                                  { m_domainKey, SqlValues::toEpochSeconds(now) }))
            return std::nullopt;
        return taskFromRow(query);
    });
}

void SQLiteStore::requeueInProgressUploads()
{
    withQuery([](QSqlQuery &query) {
        SqlValues::run(
                query,
                u"UPDATE upload_queue SET status = 'pending' WHERE status = 'inProgress';"_s);
    });
}

void SQLiteStore::removeUpload(const QUuid &id)
{
    withQuery([&](QSqlQuery &query) {
        SqlValues::run(query, u"DELETE FROM upload_queue WHERE domain_key = ? AND id = ?;"_s,
                       { m_domainKey, SqlValues::uuidText(id) });
    });
}

void SQLiteStore::markUploadFailed(const QUuid &id, int retryCount, const QDateTime &nextAttempt)
{
    withQuery([&](QSqlQuery &query) {
        SqlValues::run(query,
                       u"UPDATE upload_queue SET status = ?, retry_count = ?, next_attempt_at = ? "
                       "WHERE domain_key = ? AND id = ?;"_s,
                       { Models::uploadTaskStatusToString(Models::UploadTaskStatus::failed),
                         retryCount, SqlValues::toEpochSeconds(nextAttempt), m_domainKey,
                         SqlValues::uuidText(id) });
    });
}

void SQLiteStore::setUploadStatus(const QUuid &id, Models::UploadTaskStatus status)
{
    withQuery([&](QSqlQuery &query) {
        SqlValues::run(
                query, u"UPDATE upload_queue SET status = ? WHERE domain_key = ? AND id = ?;"_s,
                { Models::uploadTaskStatusToString(status), m_domainKey, SqlValues::uuidText(id) });
    });
}

void SQLiteStore::markUploadInProgress(const QUuid &id)
{
    setUploadStatus(id, Models::UploadTaskStatus::inProgress);
}

bool SQLiteStore::hasPendingScreenshotUpload(const QUuid &sessionId, const QString &filePath)
{
    return withQuery([&](QSqlQuery &query) {
        return SqlValues::runForRow(
                query,
                u"SELECT 1 FROM upload_queue WHERE domain_key = ? "
                "AND type = 'screenshot' AND session_id = ? AND file_path = ? "
                "AND status IN ('pending', 'failed', 'inProgress') LIMIT 1;"_s,
                { m_domainKey, SqlValues::uuidText(sessionId), SqlValues::nonNullText(filePath) });
    });
}

bool SQLiteStore::hasPendingActivitySegmentUpload()
{
    return withQuery([&](QSqlQuery &query) {
        return SqlValues::runForRow(query,
                                    u"SELECT 1 FROM upload_queue WHERE domain_key = ? "
                                    "AND type = 'activitySegment' "
                                    "AND status IN ('pending', 'failed', 'inProgress') LIMIT 1;"_s,
                                    { m_domainKey });
    });
}

QList<QUuid> SQLiteStore::pendingUploadIds(const QUuid &sessionId,
                                           const QList<Models::UploadTaskType> &types)
{
    if (types.isEmpty())
        return {};
    QStringList placeholders;
    QVariantList typeTexts;
    for (Models::UploadTaskType type : types) {
        placeholders.append(u"?"_s);
        typeTexts.append(Models::uploadTaskTypeToString(type));
    }
    const QString statement
            = u"SELECT id FROM upload_queue WHERE domain_key = ? "
              "AND session_id = ? AND type IN (%1) "
              "AND status IN ('pending', 'inProgress', 'failed');"_s.arg(placeholders.join(u','));

    return withQuery([&](QSqlQuery &query) {
        QList<QUuid> ids;
        if (!SqlValues::run(query, statement,
                            QVariantList{ m_domainKey, SqlValues::uuidText(sessionId) }
                                    + typeTexts))
            return ids;
        while (query.next()) {
            const QUuid id = QUuid::fromString(query.value(0).toString());
            if (!id.isNull())
                ids.append(id);
        }
        return ids;
    });
}

QList<QUuid> SQLiteStore::pendingHeartbeatUploadIds(const QUuid &sessionId)
{
    return pendingUploadIds(sessionId, { Models::UploadTaskType::heartbeat });
}

QSet<QString> SQLiteStore::pendingUploadFilePaths()
{
    return withQuery([&](QSqlQuery &query) {
        QSet<QString> paths;
        if (!SqlValues::run(query,
                            u"SELECT file_path FROM upload_queue WHERE domain_key = ? "
                            "AND file_path IS NOT NULL "
                            "AND status IN ('pending', 'inProgress', 'failed');"_s,
                            { m_domainKey }))
            return paths;
        while (query.next()) {
            const QString path = query.value(0).toString();
            if (!path.isEmpty())
                paths.insert(path);
        }
        return paths;
    });
}

} // namespace Storage
