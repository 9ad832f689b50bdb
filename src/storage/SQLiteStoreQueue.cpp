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

const QString removeStatement = u"DELETE FROM upload_queue WHERE domain_key = ? AND id = ?;"_s;
const QString statusStatement
        = u"UPDATE upload_queue SET status = ? WHERE domain_key = ? AND id = ?;"_s;

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
    withLock([&] {
        const PreparedRun run = runPrepared(
                u"INSERT OR REPLACE INTO upload_queue (id, domain_key, session_id, type, "
                "file_path, json_payload, retry_count, created_at, status, priority, "
                "next_attempt_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);"_s,
                { SqlValues::uuidText(task.id), boundDomainKey(domainKey),
                  SqlValues::uuidText(task.sessionId), Models::uploadTaskTypeToString(task.type),
                  SqlValues::nullableText(task.filePath),
                  SqlValues::nullableBytes(task.jsonPayload), task.retryCount,
                  SqlValues::toEpochSeconds(task.createdAt),
                  Models::uploadTaskStatusToString(task.status), task.priority, 0.0 });
        noteWrite(run.ran(), run.query(),
                  u"queue the %1 upload %2"_s.arg(Models::uploadTaskTypeToString(task.type),
                                                  SqlValues::uuidText(task.id)));
    });
}

std::optional<Models::UploadTask> SQLiteStore::nextDueUpload(const QDateTime &now)
{
    return withLock([&] { return pickDueUpload(now); });
}

template<typename Step>
auto SQLiteStore::unsyncedStep(Step step)
{
    // This commit holds no tracked work: a removed task was already delivered (or dropped) and
    // the mark only lasts until the next start. So it is not synced to disk on its own; the next
    // write that is (any queueing, session or segment write) syncs it along, the journal being
    // one file written in order. A power cut before that sends a delivered task once more, as a
    // crash during its request would.
    const QString syncMode = synchronousMode();
    runPrepared(u"PRAGMA synchronous = NORMAL;"_s);
    // Immediate: the write lock is taken before the pick reads, so the mark never meets a
    // snapshot that another connection's write has made stale.
    const bool inTransaction = runPrepared(u"BEGIN IMMEDIATE;"_s).ran();
    auto result = step();
    // A failed commit keeps nothing of the step: the finished task is sent again, as after a
    // failed removal, and the picked one goes out unmarked, as after a failed mark.
    if (inTransaction && !runPrepared(u"COMMIT;"_s).ran())
        runPrepared(u"ROLLBACK;"_s);
    runPrepared(u"PRAGMA synchronous = %1;"_s.arg(syncMode));
    return result;
}

std::optional<Models::UploadTask>
SQLiteStore::takeNextDueUpload(const QDateTime &now, const std::optional<QUuid> &finishedId)
{
    return withLock([&] {
        return unsyncedStep([&] {
            if (finishedId)
                runPrepared(removeStatement, { m_domainKey, SqlValues::uuidText(*finishedId) });
            const std::optional<Models::UploadTask> task = pickDueUpload(now);
            if (task) {
                runPrepared(statusStatement, { Models::uploadTaskStatusToString(
                                                       Models::UploadTaskStatus::inProgress),
                                               m_domainKey, SqlValues::uuidText(task->id) });
            }
            return task;
        });
    });
}

void SQLiteStore::finishUpload(const QUuid &id)
{
    withLock([&] {
        unsyncedStep([&] {
            return runPrepared(removeStatement, { m_domainKey, SqlValues::uuidText(id) }).ran();
        });
    });
}

QString SQLiteStore::synchronousMode()
{
    if (m_synchronousMode.isEmpty()) {
        const PreparedRun run = runPrepared(u"PRAGMA synchronous;"_s);
        // SQLite's own default when the setting cannot be read.
        m_synchronousMode
                = run.ran() && run.query().next() ? run.query().value(0).toString() : u"2"_s;
    }
    return m_synchronousMode;
}

std::optional<Models::UploadTask> SQLiteStore::pickDueUpload(const QDateTime &now)
{
    const PreparedRun run = runPrepared(u"SELECT id, session_id, type, file_path, json_payload, "
                                        "retry_count, created_at, status, priority FROM "
                                        "upload_queue WHERE domain_key = ? "
                                        "AND status IN ('pending', 'failed') "
                                        "AND next_attempt_at <= ? "
                                        "ORDER BY priority DESC, created_at ASC LIMIT 1;"_s,
                                        { m_domainKey, SqlValues::toEpochSeconds(now) });
    if (!run.ran() || !run.query().next())
        return std::nullopt;
    return taskFromRow(run.query());
}

void SQLiteStore::requeueInProgressUploads()
{
    withLock([&] {
        runPrepared(u"UPDATE upload_queue SET status = 'pending' WHERE status = 'inProgress';"_s);
    });
}

void SQLiteStore::removeUpload(const QUuid &id)
{
    withLock([&] { runPrepared(removeStatement, { m_domainKey, SqlValues::uuidText(id) }); });
}

void SQLiteStore::markUploadFailed(const QUuid &id, int retryCount, const QDateTime &nextAttempt)
{
    withLock([&] {
        runPrepared(u"UPDATE upload_queue SET status = ?, retry_count = ?, next_attempt_at = ? "
                    "WHERE domain_key = ? AND id = ?;"_s,
                    { Models::uploadTaskStatusToString(Models::UploadTaskStatus::failed),
                      retryCount, SqlValues::toEpochSeconds(nextAttempt), m_domainKey,
                      SqlValues::uuidText(id) });
    });
}

void SQLiteStore::setUploadStatus(const QUuid &id, Models::UploadTaskStatus status)
{
    withLock([&] {
        runPrepared(statusStatement, { Models::uploadTaskStatusToString(status), m_domainKey,
                                       SqlValues::uuidText(id) });
    });
}

void SQLiteStore::markUploadInProgress(const QUuid &id)
{
    setUploadStatus(id, Models::UploadTaskStatus::inProgress);
}

bool SQLiteStore::hasPendingScreenshotUpload(const QUuid &sessionId, const QString &filePath)
{
    return withLock([&] {
        const PreparedRun run = runPrepared(
                u"SELECT 1 FROM upload_queue WHERE domain_key = ? "
                "AND type = 'screenshot' AND session_id = ? AND file_path = ? "
                "AND status IN ('pending', 'failed', 'inProgress') LIMIT 1;"_s,
                { m_domainKey, SqlValues::uuidText(sessionId), SqlValues::nonNullText(filePath) });
        return run.ran() && run.query().next();
    });
}

bool SQLiteStore::hasPendingActivitySegmentUpload()
{
    return withLock([&] {
        const PreparedRun run
                = runPrepared(u"SELECT 1 FROM upload_queue WHERE domain_key = ? "
                              "AND type = 'activitySegment' "
                              "AND status IN ('pending', 'failed', 'inProgress') LIMIT 1;"_s,
                              { m_domainKey });
        return run.ran() && run.query().next();
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

    return withLock([&] {
        QList<QUuid> ids;
        const PreparedRun run = runPrepared(
                statement, QVariantList{ m_domainKey, SqlValues::uuidText(sessionId) } + typeTexts);
        if (!run.ran())
            return ids;
        while (run.query().next()) {
            const QUuid id = QUuid::fromString(run.query().value(0).toString());
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
    return withLock([&] {
        QSet<QString> paths;
        const PreparedRun run
                = runPrepared(u"SELECT file_path FROM upload_queue WHERE domain_key = ? "
                              "AND file_path IS NOT NULL "
                              "AND status IN ('pending', 'inProgress', 'failed');"_s,
                              { m_domainKey });
        if (!run.ran())
            return paths;
        while (run.query().next()) {
            const QString path = run.query().value(0).toString();
            if (!path.isEmpty())
                paths.insert(path);
        }
        return paths;
    });
}

} // namespace Storage
