// The active session and the history of finished sessions.

#include "storage/SQLiteStore.h"

#include "models/JsonReaders.h"
#include "storage/SqlValues.h"

#include <QDebug>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

QByteArray encodePayload(const Models::Session &session)
{
    return QJsonDocument(session.toJson()).toJson(QJsonDocument::Compact);
}

// The values of the six columns both session tables begin with, id to payload. The three texts
// go in empty rather than null: the columns are NOT NULL.
QVariantList sessionColumns(const Models::Session &session, const QString &domainKey,
                            const QByteArray &payload)
{
    return { SqlValues::uuidText(session.id),
             domainKey,
             SqlValues::nonNullText(session.deviceId),
             SqlValues::nonNullText(session.projectId),
             SqlValues::nonNullText(session.projectName),
             payload };
}

// The first interval's start, else now.
QDateTime sessionStart(const Models::Session &session, const QDateTime &now)
{
    return session.intervals.isEmpty() ? now : session.intervals.first().startedAt;
}

// The last interval's stop when it is closed, else now.
QDateTime sessionEnd(const Models::Session &session, const QDateTime &now)
{
    if (session.intervals.isEmpty() || !session.intervals.last().stoppedAt)
        return now;
    return *session.intervals.last().stoppedAt;
}

} // namespace

bool SQLiteStore::saveActiveSession(const Models::Session &session)
{
    const QByteArray payload = encodePayload(session);
    const double now = SqlValues::toEpochSeconds(QDateTime::currentDateTimeUtc());

    return withLock([&] {
        const PreparedRun run
                = runPrepared(u"INSERT OR REPLACE INTO sessions (id, domain_key, device_id, "
                              "project_id, project_name, payload, updated_at) "
                              "VALUES (?, ?, ?, ?, ?, ?, ?);"_s,
                              sessionColumns(session, m_domainKey, payload) << now);
        if (!run.ran())
            qWarning() << "saveActiveSession: insert failed:" << run.query().lastError().text();
        return noteWrite(run.ran(), run.query(), u"save the active session");
    });
}

void SQLiteStore::removeActiveSession(const std::optional<QUuid> &sessionId)
{
    withQuery([&](QSqlQuery &query) {
        if (sessionId) {
            noteWrite(SqlValues::run(query,
                                     u"DELETE FROM sessions WHERE domain_key = ? AND id = ?;"_s,
                                     { m_domainKey, SqlValues::uuidText(*sessionId) }),
                      query, u"remove a finished session");
        } else {
            SqlValues::run(query, u"DELETE FROM sessions WHERE domain_key = ?;"_s, { m_domainKey });
        }
    });
}

QList<Models::Session> SQLiteStore::loadActiveSessions()
{
    return withQuery([&](QSqlQuery &query) {
        QList<Models::Session> sessions;
        if (!SqlValues::run(query,
                            u"SELECT payload FROM sessions WHERE domain_key = ? "
                            "ORDER BY updated_at DESC;"_s,
                            { m_domainKey }))
            return sessions;
        while (query.next()) {
            if (std::optional<Models::Session> session
                = decodeSessionPayload(query.value(0).toByteArray()))
                sessions.append(std::move(*session));
        }
        return sessions;
    });
}

std::optional<Models::Session> SQLiteStore::loadActiveSession()
{
    // Takes the mutex through loadActiveSessions only: the mutex is not recursive.
    QList<Models::Session> sessions = loadActiveSessions();
    if (sessions.isEmpty())
        return std::nullopt;
    return sessions.takeFirst();
}

void SQLiteStore::appendSessionHistory(const Models::Session &session)
{
    const QByteArray payload = encodePayload(session);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const double startedAt = SqlValues::toEpochSeconds(sessionStart(session, now));
    const double stoppedAt = SqlValues::toEpochSeconds(sessionEnd(session, now));

    withQuery([&](QSqlQuery &query) {
        const bool appended = SqlValues::run(
                query,
                u"INSERT OR REPLACE INTO session_history (id, domain_key, "
                "device_id, project_id, project_name, payload, started_at, "
                "stopped_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?);"_s,
                sessionColumns(session, m_domainKey, payload) << startedAt << stoppedAt);
        if (!appended)
            qWarning() << "appendSessionHistory: insert failed:" << query.lastError().text();
        noteWrite(appended, query, u"record a finished session");
    });
}

QList<SQLiteStore::SessionSummaryRow> SQLiteStore::sessionSummaries(const QDateTime &from,
                                                                    const QDateTime &to)
{
    return withQuery([&](QSqlQuery &query) {
        QList<SessionSummaryRow> rows;
        // Bound as REAL seconds: a QDateTime would bind as ISO text, which SQLite sorts above
        // every REAL, so the range would match nothing.
        if (!SqlValues::run(query,
                            u"SELECT payload FROM session_history WHERE domain_key = ? "
                            "AND started_at >= ? AND started_at < ? ORDER BY started_at ASC;"_s,
                            { m_domainKey, SqlValues::toEpochSeconds(from),
                              SqlValues::toEpochSeconds(to) }))
            return rows;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        while (query.next()) {
            const std::optional<Models::Session> session
                    = decodeSessionPayload(query.value(0).toByteArray());
            if (!session)
                continue;
            const QDateTime end = sessionEnd(*session, now);
            rows.append(SessionSummaryRow{ session->projectName, session->durationSeconds(end),
                                           session->activityScore,
                                           sessionStart(*session, now).toUTC() });
        }
        return rows;
    });
}

std::optional<Models::Session> SQLiteStore::decodeSessionPayload(const QByteArray &bytes)
{
    return Models::decodeStoredObject<Models::Session>(bytes);
}

} // namespace Storage
