#pragma once

#include "models/Session.h"
#include "models/UploadTask.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUuid>
#include <QVariantList>

#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace Storage {

class SQLiteStoreTestHooks;

// The one local database: the active and finished sessions, the upload queue and the ten-minute
// activity segments, every row partitioned by the domain key (the account).
//
// Threading: one connection, used from the GUI thread, the upload worker and pool tasks. Every
// operation holds the store's (non-recursive) mutex for its whole run, statements and result
// reading included, so calls from different threads simply queue up.
//
// Units: times are stored as REAL seconds since the epoch (milliseconds kept as the fraction) and
// read back as UTC times, to the millisecond. Time ranges are always bound as those seconds.
//
// Failures: a file that cannot be used (not a database, damaged, read-only, or with a schema this
// version cannot write) is moved aside at start, never deleted, and a new one is made. Where even
// that fails (a folder that cannot be written, a full disk) the store keeps what it could open and
// reports the fault through writeFailure(); a store that opened nothing gives empty results. A
// failing write sets writeFailure() until a write works again and is logged at ERROR.
class SQLiteStore final
{
public:
    // One finished session for the day and week summaries.
    struct SessionSummaryRow
    {
        QString projectName;
        double durationSeconds = 0.0;
        double activityScore = 0.0;
        QDateTime startedAt; // UTC

        friend bool operator==(const SessionSummaryRow &, const SessionSummaryRow &) = default;
    };

    // The stored figures of one ten-minute segment.
    struct ActivitySegmentRow
    {
        QString segmentDate;   // "yyyy-MM-dd" in the company time zone
        int segmentNumber = 0; // 0 to 143
        int activeSeconds = 0;
        int nonIdleSeconds = 0;
        int mouseMovements = 0;
        int keyboardMovements = 0;

        friend bool operator==(const ActivitySegmentRow &, const ActivitySegmentRow &) = default;
    };

    // The process-wide file store, created on first use and destroyed at normal exit.
    static SQLiteStore *instance();

    // Opens (creating and migrating) the database file of the directory layout, or a private
    // in-memory database. Never fails: a store that cannot open stays inert.
    explicit SQLiteStore(bool inMemory = false);
    ~SQLiteStore();

    Q_DISABLE_COPY_MOVE(SQLiteStore)

    // The empty text selects "global".
    void setDomainKey(const QString &key);
    QString domainKey() const;

    // Empties every table of every domain.
    void clearAll();

    // Why the last write failed (SQLite's reason), or nothing while writes work.
    std::optional<QString> writeFailure() const;
    // The folder that holds the database file.
    QString folder() const;

    // Sessions and history.
    // False when the row could not be written.
    bool saveActiveSession(const Models::Session &session);
    // Without an id, every active session of the current domain.
    void removeActiveSession(const std::optional<QUuid> &sessionId = std::nullopt);
    // Newest save first; rows that do not decode are skipped.
    QList<Models::Session> loadActiveSessions();
    std::optional<Models::Session> loadActiveSession();
    void appendSessionHistory(const Models::Session &session);
    // Finished sessions whose stored start lies in [from, to), oldest first.
    QList<SessionSummaryRow> sessionSummaries(const QDateTime &from, const QDateTime &to);
    static std::optional<Models::Session> decodeSessionPayload(const QByteArray &bytes);

    // Upload queue. An explicit domain key is bound as given, even when empty.
    void enqueueUpload(const Models::UploadTask &task,
                       const std::optional<QString> &domainKey = std::nullopt);
    // The pending or failed task whose next attempt has come, highest priority first, then oldest.
    // The row is left as it is: the caller marks it in progress.
    std::optional<Models::UploadTask> nextDueUpload(const QDateTime &now);
    // The worker's step from one task to the next: removes the finished task (when given), then
    // takes the next due task as nextDueUpload picks it and marks it in progress, all in one
    // transaction, so that the step costs one commit instead of two. The task comes back with the
    // status it had before the mark.
    std::optional<Models::UploadTask> takeNextDueUpload(const QDateTime &now,
                                                        const std::optional<QUuid> &finishedId);
    // Removes a finished task as takeNextDueUpload does, without taking another: for the end of
    // the worker's pass.
    void finishUpload(const QUuid &id);
    // Sets interrupted work of every domain back to pending.
    void requeueInProgressUploads();
    void removeUpload(const QUuid &id);
    void markUploadFailed(const QUuid &id, int retryCount, const QDateTime &nextAttempt);
    void setUploadStatus(const QUuid &id, Models::UploadTaskStatus status);
    void markUploadInProgress(const QUuid &id);
    bool hasPendingScreenshotUpload(const QUuid &sessionId, const QString &filePath);
    bool hasPendingActivitySegmentUpload();
    QList<QUuid> pendingUploadIds(const QUuid &sessionId,
                                  const QList<Models::UploadTaskType> &types);
    QList<QUuid> pendingHeartbeatUploadIds(const QUuid &sessionId);
    QSet<QString> pendingUploadFilePaths();

    // Activity segments. The figures are running totals: an upsert replaces them and makes the
    // segment wait for upload again.
    void upsertActivitySegment(const QString &date, int number, int activeSeconds,
                               int nonIdleSeconds, int mouseMovements, int keyboardMovements,
                               const std::optional<QString> &domainKey = std::nullopt);
    std::optional<ActivitySegmentRow> activitySegment(const QString &date, int number,
                                                      const std::optional<QString> &domainKey
                                                      = std::nullopt);
    void markActivitySegmentUploaded(const QString &date, int number);
    // Unsent, non-empty segments strictly before the open one, in (date, number) order.
    QList<ActivitySegmentRow> pendingActivitySegments(const QString &openDate, int openNumber);
    std::optional<double> latestSegmentActivityPercent();
    // The sum of activity times weight and the sum of weights over the segments dated in
    // [local date of from, local date of to).
    std::pair<double, double> activityTotals(const QDateTime &from, const QDateTime &to);
    // Launch cleanup; returns the number of rows removed. purgeGlobalRows false spares the
    // "global" queue rows and segments, for when they belong to the signed-in user.
    int purgeStaleRows(const QString &cutoffDate,
                       const std::optional<QString> &domainKey = std::nullopt,
                       bool purgeGlobalRows = true);
    // The time's calendar date in the machine's local zone, "yyyy-MM-dd".
    static QString localDateKey(const QDateTime &time);

private:
    friend class SQLiteStoreTestHooks;

    // The reason a file could not be used, and whether the file itself is at fault (so that a
    // new one in its place would do) rather than its folder or the disk.
    struct Unusable
    {
        QString reason;
        bool fileAtFault = false;
    };

    void openUsable();
    std::optional<Unusable> openAndCheck();
    std::optional<Unusable> failure(const QSqlError &error) const;
    bool probeWrites();
    bool moveAside(const Unusable &unusable);
    void open();
    bool migrate();
    // Records the outcome of a write (the mutex is held): a failure is kept and logged.
    bool noteWrite(bool succeeded, const QSqlQuery &query, QStringView what);
    bool exec(const QString &statement);
    bool hasColumn(const QString &table, const QString &column);
    QString boundDomainKey(const std::optional<QString> &explicitKey) const;
    // nextDueUpload's pick, under the mutex.
    std::optional<Models::UploadTask> pickDueUpload(const QDateTime &now);
    // The connection's sync setting as opened ("2" is FULL), read once, under the mutex.
    QString synchronousMode();
    // Runs step in one immediate transaction whose commit is not synced on its own (see
    // takeNextDueUpload), under the mutex.
    template<typename Step>
    auto unsyncedStep(Step step);
    // The frame of the data operations that run several statements: takes the mutex, and when
    // the database is open runs work with a fresh query on the connection; otherwise gives the
    // empty (value-initialised) result without calling it. work runs under the mutex, so it reads
    // m_domainKey directly.
    template<typename Work>
    std::invoke_result_t<Work &, QSqlQuery &> withQuery(Work &&work);
    // One run of a kept prepared query (see runPrepared). Resets the query when it goes: an
    // unfinished statement would hold its read snapshot and keep the connection's later writes
    // from committing.
    class PreparedRun final
    {
    public:
        PreparedRun(QSqlQuery &query, bool ran)
            : m_query(query)
            , m_ran(ran)
        {
        }
        ~PreparedRun() { m_query.finish(); }
        Q_DISABLE_COPY_MOVE(PreparedRun)

        QSqlQuery &query() const { return m_query; }
        // Whether preparing and running worked.
        bool ran() const { return m_ran; }

    private:
        QSqlQuery &m_query;
        bool m_ran;
    };

    // The frame of the operations built on runPrepared: takes the mutex, and when the database
    // is open runs work; otherwise gives the empty (value-initialised) result without calling it.
    template<typename Work>
    std::invoke_result_t<Work &> withLock(Work &&work);
    // Under the mutex: the statement's query, prepared on its first use and kept for the next
    // ones, bound with values and run.
    PreparedRun runPrepared(const QString &statement, const QVariantList &values = {});
    // Drops every kept query; they must go before the connection closes.
    void forgetPreparedStatements();

    QString m_databasePath;
    QSqlDatabase m_db;
    QString m_connectionName;
    mutable QMutex m_mutex;
    QString m_domainKey = QStringLiteral("global");
    std::optional<QString> m_writeFailure;
    // The last failure of a schema step or of the write probe, for the verdict at start.
    QSqlError m_lastError;
    // Prepared queries by statement text: parsing a statement costs more than running the small
    // ones of the queue. Used and changed under the mutex only.
    std::map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
    // The last statement that did not prepare, kept so its error can be read.
    std::unique_ptr<QSqlQuery> m_unprepared;
    // See synchronousMode; empty until read.
    QString m_synchronousMode;
};

template<typename Work>
std::invoke_result_t<Work &, QSqlQuery &> SQLiteStore::withQuery(Work &&work)
{
    using Result = std::invoke_result_t<Work &, QSqlQuery &>;
    const QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return Result();
    // Made after the lock is taken, so it is finished with before another thread gets the
    // connection.
    QSqlQuery query(m_db);
    return work(query);
}

template<typename Work>
std::invoke_result_t<Work &> SQLiteStore::withLock(Work &&work)
{
    using Result = std::invoke_result_t<Work &>;
    const QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return Result();
    return work();
}

} // namespace Storage
