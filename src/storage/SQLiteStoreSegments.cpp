// The figures of the ten-minute activity segments, and the launch cleanup.

#include "storage/SQLiteStore.h"

#include "storage/SqlValues.h"

#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

constexpr double segmentSeconds = 600.0;

// Reads the six columns segment_date ... keyboard_movements, in that order.
SQLiteStore::ActivitySegmentRow segmentFromRow(const QSqlQuery &query)
{
    return SQLiteStore::ActivitySegmentRow{
        query.value(0).toString(), query.value(1).toInt(), query.value(2).toInt(),
        query.value(3).toInt(),    query.value(4).toInt(), query.value(5).toInt(),
    };
}

} // namespace

void SQLiteStore::upsertActivitySegment(const QString &date, int number, int activeSeconds,
                                        int nonIdleSeconds, int mouseMovements,
                                        int keyboardMovements,
                                        const std::optional<QString> &domainKey)
{
    withLock([&] {
        // The figures are running totals: replace them, and make the segment wait for upload
        // again.
        const PreparedRun run = runPrepared(
                u"INSERT INTO activity_segments (domain_key, segment_date, segment_number, "
                "active_seconds, non_idle_seconds, mouse_movements, keyboard_movements, "
                "uploaded_at) VALUES (?, ?, ?, ?, ?, ?, ?, NULL) "
                "ON CONFLICT(domain_key, segment_date, segment_number) DO UPDATE SET "
                "active_seconds = excluded.active_seconds, "
                "non_idle_seconds = excluded.non_idle_seconds, "
                "mouse_movements = excluded.mouse_movements, "
                "keyboard_movements = excluded.keyboard_movements, uploaded_at = NULL;"_s,
                { boundDomainKey(domainKey), SqlValues::nonNullText(date), number, activeSeconds,
                  nonIdleSeconds, mouseMovements, keyboardMovements });
        noteWrite(run.ran(), run.query(),
                  u"store the activity of segment %1 of %2"_s.arg(number).arg(date));
    });
}

std::optional<SQLiteStore::ActivitySegmentRow>
SQLiteStore::activitySegment(const QString &date, int number,
                             const std::optional<QString> &domainKey)
{
    return withLock([&]() -> std::optional<ActivitySegmentRow> {
        const PreparedRun run
                = runPrepared(u"SELECT segment_date, segment_number, active_seconds, "
                              "non_idle_seconds, mouse_movements, keyboard_movements "
                              "FROM activity_segments WHERE domain_key = ? "
                              "AND segment_date = ? AND segment_number = ?;"_s,
                              { boundDomainKey(domainKey), SqlValues::nonNullText(date), number });
        if (!run.ran() || !run.query().next())
            return std::nullopt;
        return segmentFromRow(run.query());
    });
}

void SQLiteStore::markActivitySegmentUploaded(const QString &date, int number)
{
    const double now = SqlValues::toEpochSeconds(QDateTime::currentDateTimeUtc());
    withLock([&] {
        runPrepared(u"UPDATE activity_segments SET uploaded_at = ? WHERE domain_key = ? "
                    "AND segment_date = ? AND segment_number = ?;"_s,
                    { now, m_domainKey, SqlValues::nonNullText(date), number });
    });
}

QList<SQLiteStore::ActivitySegmentRow> SQLiteStore::pendingActivitySegments(const QString &openDate,
                                                                            int openNumber)
{
    return withLock([&] {
        QList<ActivitySegmentRow> rows;
        // "yyyy-MM-dd" texts compare in calendar order.
        const PreparedRun run
                = runPrepared(u"SELECT segment_date, segment_number, active_seconds, "
                              "non_idle_seconds, mouse_movements, keyboard_movements "
                              "FROM activity_segments WHERE domain_key = ? AND uploaded_at IS NULL "
                              "AND (segment_date < ? OR (segment_date = ? AND segment_number < ?)) "
                              "AND NOT (active_seconds = 0 AND non_idle_seconds = 0 "
                              "AND mouse_movements = 0 AND keyboard_movements = 0) "
                              "ORDER BY segment_date ASC, segment_number ASC;"_s,
                              { m_domainKey, SqlValues::nonNullText(openDate),
                                SqlValues::nonNullText(openDate), openNumber });
        if (!run.ran())
            return rows;
        while (run.query().next())
            rows.append(segmentFromRow(run.query()));
        return rows;
    });
}

std::optional<double> SQLiteStore::latestSegmentActivityPercent()
{
    return withQuery([&](QSqlQuery &query) -> std::optional<double> {
        if (!SqlValues::runForRow(query,
                                  u"SELECT active_seconds FROM activity_segments "
                                  "WHERE domain_key = ? "
                                  "ORDER BY segment_date DESC, segment_number DESC LIMIT 1;"_s,
                                  { m_domainKey }))
            return std::nullopt;
        return std::clamp(query.value(0).toDouble() * 100.0 / segmentSeconds, 0.0, 100.0);
    });
}

std::pair<double, double> SQLiteStore::activityTotals(const QDateTime &from, const QDateTime &to)
{
    const QString fromDate = localDateKey(from);
    const QString toDate = localDateKey(to);

    return withQuery([&](QSqlQuery &query) {
        std::pair<double, double> totals{ 0.0, 0.0 }; // sum of activity x weight, sum of weights
        if (!SqlValues::run(query,
                            u"SELECT active_seconds, non_idle_seconds FROM activity_segments "
                            "WHERE domain_key = ? AND segment_date >= ? AND segment_date < ? "
                            "ORDER BY segment_date ASC, segment_number ASC;"_s,
                            { m_domainKey, fromDate, toDate }))
            return totals;
        while (query.next()) {
            const double activity = query.value(0).toDouble() * 100.0 / segmentSeconds;
            const double weight = query.value(1).toDouble() * 100.0 / segmentSeconds;
            totals.first += activity * weight;
            totals.second += weight;
        }
        return totals;
    });
}

int SQLiteStore::purgeStaleRows(const QString &cutoffDate, const std::optional<QString> &domainKey,
                                bool purgeGlobalRows)
{
    return withQuery([&](QSqlQuery &query) {
        QList<std::pair<QString, QVariantList>> statements;
        if (purgeGlobalRows) {
            statements.append({ u"DELETE FROM upload_queue WHERE domain_key = 'global';"_s, {} });
            statements.append(
                    { u"DELETE FROM activity_segments WHERE domain_key = 'global';"_s, {} });
        }
        statements.append(
                { u"DELETE FROM activity_segments WHERE uploaded_at IS NULL AND active_seconds = 0 "
                  "AND non_idle_seconds = 0 AND mouse_movements = 0 AND keyboard_movements = 0;"_s,
                  {} });
        statements.append({ u"DELETE FROM activity_segments WHERE domain_key != ? AND uploaded_at "
                            "IS NULL AND segment_date < ?;"_s,
                            { boundDomainKey(domainKey), SqlValues::nonNullText(cutoffDate) } });
        // Each statement is prepared and run on its own; a failed one removes nothing and does
        // not stop the others.
        int removed = 0;
        for (const auto &[statement, values] : statements) {
            if (SqlValues::run(query, statement, values))
                removed += std::max(query.numRowsAffected(), 0);
        }
        return removed;
    });
}

QString SQLiteStore::localDateKey(const QDateTime &time)
{
    return time.toLocalTime().date().toString(Qt::ISODate);
}

} // namespace Storage
