#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "SQLiteStoreFixture.h"
#include "storage/SQLiteStore.h"
#include "storage/StoreTestHooks.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace Qt::StringLiterals;
using namespace SQLiteStoreFixture;
using Models::UploadTask;
using Models::UploadTaskStatus;
using Models::UploadTaskType;
using Storage::SQLiteStore;

namespace {

const QDateTime base = QDateTime(QDate(2025, 3, 4), QTime(9, 0, 0, 250), Qt::UTC);

// One queued task of a pick scenario: its priority, its age relative to base, and where it stands.
struct QueuedTask
{
    enum class State { Pending, InProgress, FailedUntil };
    int priority = 0;
    int createdAfterSeconds = 0;
    State state = State::Pending;
    int nextAttemptAfterSeconds = 0; // for FailedUntil
};
using QueuedTasks = QList<QueuedTask>;

QStringList rows(const QString &sql)
{
    QStringList result;
    if (!sqlite(databaseFile(), sql, &result))
        result = QStringList{ u"<sqlite3 failed>"_s };
    return result;
}

} // namespace

Q_DECLARE_METATYPE(QueuedTask)

class TestSQLiteStoreQueue : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void picksDueTask_data();
    void picksDueTask();
    void pickIsAnIndexWalk();
    void roundTripsTaskFields_data();
    void roundTripsTaskFields();
    void storesTimesAsSecondsWithMilliseconds();
    void reEnqueueResetsRow();
    void requeueResetsInProgressOfEveryDomain();
    void otherDomainsTasksAreInvisible();
    void unknownTypeTextComesBackAsPendingMetadata();
    void listsPendingIdsByType();
    void failedScreenshotStillCountsAsQueued();
    void findsPendingActivitySegmentTask();
    void takesNextDueTaskAndRemovesFinishedOne_data();
    void takesNextDueTaskAndRemovesFinishedOne();
    void stepLeavesLaterWritesSynced();
    void keptStatementsHoldNoSnapshot();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
    std::unique_ptr<SQLiteStore> m_store;
};

void TestSQLiteStoreQueue::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    m_store = std::make_unique<SQLiteStore>();
}

void TestSQLiteStoreQueue::cleanup()
{
    m_store.reset();
    m_root.reset();
}

void TestSQLiteStoreQueue::picksDueTask_data()
{
    using State = QueuedTask::State;
    QTest::addColumn<QueuedTasks>("tasks");
    QTest::addColumn<int>("expected"); // index into tasks, -1 for none

    QTest::newRow("higher priority first, even when newer")
            << QueuedTasks{ { 10, 0 }, { 110, 5 } } << 1;
    QTest::newRow("older first among equal priorities")
            << QueuedTasks{ { 40, 1 }, { 40, 0 }, { 40, 2 } } << 1;
    QTest::newRow("never a task in progress")
            << QueuedTasks{ { 110, 0, State::InProgress }, { 10, 5 } } << 1;
    QTest::newRow("failed task waits for its next attempt")
            << QueuedTasks{ { 110, 0, State::FailedUntil, 1 }, { 10, 5 } } << 1;
    QTest::newRow("failed task is due at its next attempt")
            << QueuedTasks{ { 110, 0, State::FailedUntil, 0 }, { 10, 5 } } << 0;
    QTest::newRow("failed task is due after its next attempt")
            << QueuedTasks{ { 10, 0 }, { 40, 5, State::FailedUntil, -30 } } << 1;
    QTest::newRow("nothing due") << QueuedTasks{ { 110, 0, State::InProgress },
                                                 { 40, 0, State::FailedUntil, 60 } }
                                 << -1;
    QTest::newRow("empty queue") << QueuedTasks{} << -1;
}

void TestSQLiteStoreQueue::picksDueTask()
{
    QFETCH(QueuedTasks, tasks);
    QFETCH(int, expected);
    const QDateTime now = base.addSecs(60);
    QList<QUuid> ids;
    for (const QueuedTask &queued : tasks) {
        const UploadTask task = SQLiteStoreFixture::task(UploadTaskType::heartbeat, queued.priority,
                                                         base.addSecs(queued.createdAfterSeconds));
        m_store->enqueueUpload(task);
        if (queued.state == QueuedTask::State::InProgress)
            m_store->markUploadInProgress(task.id);
        if (queued.state == QueuedTask::State::FailedUntil)
            m_store->markUploadFailed(task.id, 1, now.addSecs(queued.nextAttemptAfterSeconds));
        ids.append(task.id);
    }

    const std::optional<UploadTask> due = m_store->nextDueUpload(now);

    QCOMPARE(due ? ids.indexOf(due->id) : -1, expected);
}

void TestSQLiteStoreQueue::pickIsAnIndexWalk()
{
    // The pick runs on every worker pass; sorting every due row would grow with the queue.
    QStringList plan = rows(
            u"EXPLAIN QUERY PLAN SELECT id, session_id, type, file_path, json_payload, "
            "retry_count, created_at, status, priority FROM upload_queue WHERE domain_key = "
            "'global' AND status IN ('pending', 'failed') AND next_attempt_at <= 1741078800.25 "
            "ORDER BY priority DESC, created_at ASC LIMIT 1;"_s);

    QVERIFY2(plan.join(u'\n').contains(u"USING INDEX idx_upload_queue_due"_s),
             qPrintable(plan.join(u'\n')));
    QVERIFY2(!plan.join(u'\n').contains(u"TEMP B-TREE"_s), qPrintable(plan.join(u'\n')));
}

void TestSQLiteStoreQueue::roundTripsTaskFields_data()
{
    QTest::addColumn<QDateTime>("createdAt");
    QTest::addColumn<std::optional<QString>>("filePath");
    QTest::addColumn<std::optional<QByteArray>>("payload");

    // Reading back seconds * 1000 with truncation loses a millisecond on dates like these two.
    QTest::newRow("a date that truncation gets wrong, in 2004")
            << QDateTime::fromMSecsSinceEpoch(1079337347472, Qt::UTC) << std::optional<QString>()
            << std::optional(QByteArray(R"({"a":1})"));
    QTest::newRow("a date that truncation gets wrong, in 2039")
            << QDateTime::fromMSecsSinceEpoch(2183226373411, Qt::UTC)
            << std::optional(u"/captures/x.jpg"_s) << std::optional<QByteArray>();
    QTest::newRow("a time in another zone comes back in UTC")
            << base.toTimeZone(QTimeZone("Asia/Bangkok")) << std::optional(u""_s)
            << std::optional(QByteArray());
    QTest::newRow("present but empty path and payload")
            << base << std::optional(QString()) << std::optional(QByteArray(""));
}

void TestSQLiteStoreQueue::roundTripsTaskFields()
{
    QFETCH(QDateTime, createdAt);
    QFETCH(std::optional<QString>, filePath);
    QFETCH(std::optional<QByteArray>, payload);
    const UploadTask task(QUuid::createUuid(), QUuid::createUuid(), UploadTaskType::screenshot,
                          filePath, payload, 3, createdAt, UploadTaskStatus::failed, 10);
    m_store->enqueueUpload(task);

    const std::optional<UploadTask> due = m_store->nextDueUpload(base);

    QVERIFY(due);
    QCOMPARE(*due, task);
    QCOMPARE(due->createdAt.toMSecsSinceEpoch(), createdAt.toMSecsSinceEpoch());
    QCOMPARE(due->createdAt.timeSpec(), Qt::UTC);
    QCOMPARE(due->filePath.has_value(), filePath.has_value());
    QCOMPARE(due->jsonPayload.has_value(), payload.has_value());
}

void TestSQLiteStoreQueue::storesTimesAsSecondsWithMilliseconds()
{
    UploadTask task = SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100,
                                               base.addMSecs(-127)); // .123
    task.id = QUuid(u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s);
    m_store->enqueueUpload(task);
    m_store->markUploadFailed(task.id, 2, base.addSecs(30));

    QCOMPARE(rows(u"SELECT id, typeof(created_at), printf('%.3f', created_at), status, "
                  "retry_count, printf('%.3f', next_attempt_at) FROM upload_queue;"_s),
             QStringList{ u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11|real|1741078800.123|failed|2|"
                          "1741078830.250"_s });
}

void TestSQLiteStoreQueue::reEnqueueResetsRow()
{
    UploadTask task = SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base);
    m_store->enqueueUpload(task);
    m_store->markUploadFailed(task.id, 4, base.addSecs(3600));
    QCOMPARE(m_store->nextDueUpload(base), std::nullopt);

    task.retryCount = 1;
    task.createdAt = base.addSecs(5);
    m_store->enqueueUpload(task);

    QCOMPARE(m_store->nextDueUpload(base), task);
    QCOMPARE(rows(u"SELECT count(*), status, next_attempt_at = 0 FROM upload_queue;"_s),
             QStringList{ u"1|pending|1"_s });
}

void TestSQLiteStoreQueue::requeueResetsInProgressOfEveryDomain()
{
    const UploadTask local = SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base);
    const UploadTask foreign = SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base);
    m_store->enqueueUpload(local);
    m_store->markUploadFailed(local.id, 2, base.addSecs(-10));
    m_store->markUploadInProgress(local.id);
    m_store->enqueueUpload(foreign, u"other.example.com"_s);
    QCOMPARE(m_store->nextDueUpload(base), std::nullopt);

    m_store->requeueInProgressUploads();

    const std::optional<UploadTask> due = m_store->nextDueUpload(base);
    QVERIFY(due);
    QCOMPARE(due->id, local.id);
    QCOMPARE(due->retryCount, 2);
    m_store->setDomainKey(u"other.example.com"_s);
    m_store->markUploadInProgress(foreign.id);
    m_store->setDomainKey(u"global"_s);
    m_store->requeueInProgressUploads();
    QCOMPARE(rows(u"SELECT domain_key, status, printf('%.3f', next_attempt_at) FROM upload_queue "
                  "ORDER BY domain_key;"_s),
             (QStringList{ u"global|pending|1741078790.250"_s,
                           u"other.example.com|pending|0.000"_s }));
}

void TestSQLiteStoreQueue::otherDomainsTasksAreInvisible()
{
    UploadTask task = SQLiteStoreFixture::task(UploadTaskType::screenshot, 10, base);
    task.filePath = u"/captures/global/a.jpg"_s;
    m_store->enqueueUpload(task);

    m_store->setDomainKey(u"acme.example.com"_s);
    QCOMPARE(m_store->nextDueUpload(base), std::nullopt);
    QVERIFY(m_store->pendingUploadFilePaths().isEmpty());
    QVERIFY(!m_store->hasPendingScreenshotUpload(task.sessionId, *task.filePath));
    m_store->removeUpload(task.id);

    m_store->setDomainKey(u"global"_s);
    QCOMPARE(m_store->nextDueUpload(base), task);
}

void TestSQLiteStoreQueue::unknownTypeTextComesBackAsPendingMetadata()
{
    QVERIFY(sqlite(databaseFile(),
                   u"INSERT INTO upload_queue (id, domain_key, session_id, type, created_at, "
                   "status, priority) VALUES ('0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11', 'global', "
                   "'not-a-uuid', 'upload', 1741078800.25, 'failed', 200);"_s));

    const std::optional<UploadTask> due = m_store->nextDueUpload(base);

    QVERIFY(due);
    QCOMPARE(due->id, QUuid(u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s));
    QCOMPARE(due->sessionId, QUuid());
    QCOMPARE(due->type, UploadTaskType::metadata);
    QCOMPARE(due->status, UploadTaskStatus::pending);
    QCOMPARE(due->priority, 200);
    QCOMPARE(rows(u"SELECT type, status FROM upload_queue;"_s), QStringList{ u"upload|failed"_s });
}

void TestSQLiteStoreQueue::listsPendingIdsByType()
{
    const QUuid sessionId = QUuid::createUuid();
    QList<UploadTask> tasks;
    for (UploadTaskType type : { UploadTaskType::heartbeat, UploadTaskType::startSession,
                                 UploadTaskType::screenshot, UploadTaskType::heartbeat }) {
        UploadTask task = SQLiteStoreFixture::task(type, 100, base);
        task.sessionId = sessionId;
        m_store->enqueueUpload(task);
        tasks.append(task);
    }
    m_store->markUploadInProgress(tasks.at(3).id);
    m_store->enqueueUpload(SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base));

    const QList<QUuid> ids = m_store->pendingUploadIds(
            sessionId, { UploadTaskType::heartbeat, UploadTaskType::startSession });

    QCOMPARE(QSet<QUuid>(ids.cbegin(), ids.cend()),
             (QSet<QUuid>{ tasks.at(0).id, tasks.at(1).id, tasks.at(3).id }));
    QCOMPARE(ids.size(), 3);
    QVERIFY(m_store->pendingUploadIds(sessionId, {}).isEmpty());
    const QList<QUuid> heartbeats = m_store->pendingHeartbeatUploadIds(sessionId);
    QCOMPARE(QSet<QUuid>(heartbeats.cbegin(), heartbeats.cend()),
             (QSet<QUuid>{ tasks.at(0).id, tasks.at(3).id }));
}

void TestSQLiteStoreQueue::failedScreenshotStillCountsAsQueued()
{
    const QString path = u"/captures/global/a.jpg"_s;
    UploadTask failed = SQLiteStoreFixture::task(UploadTaskType::screenshot, 10, base);
    failed.filePath = path;
    UploadTask twice = SQLiteStoreFixture::task(UploadTaskType::screenshot, 10, base);
    twice.filePath = path;
    UploadTask emptyPath = SQLiteStoreFixture::task(UploadTaskType::screenshot, 10, base);
    emptyPath.filePath = u""_s;
    for (const UploadTask &task : { failed, twice, emptyPath })
        m_store->enqueueUpload(task);
    m_store->markUploadFailed(failed.id, 1, base.addSecs(600));

    QVERIFY(m_store->hasPendingScreenshotUpload(failed.sessionId, path));
    QVERIFY(!m_store->hasPendingScreenshotUpload(QUuid::createUuid(), path));
    QCOMPARE(m_store->pendingUploadFilePaths(), QSet<QString>{ path });
    m_store->removeUpload(failed.id);
    QVERIFY(!m_store->hasPendingScreenshotUpload(failed.sessionId, path));
}

void TestSQLiteStoreQueue::findsPendingActivitySegmentTask()
{
    QVERIFY(!m_store->hasPendingActivitySegmentUpload());
    const UploadTask task = SQLiteStoreFixture::task(UploadTaskType::activitySegment, 40, base);
    m_store->enqueueUpload(task);
    m_store->markUploadInProgress(task.id);
    QVERIFY(m_store->hasPendingActivitySegmentUpload());

    m_store->setUploadStatus(task.id, UploadTaskStatus::completed);
    QVERIFY(!m_store->hasPendingActivitySegmentUpload());
}

void TestSQLiteStoreQueue::takesNextDueTaskAndRemovesFinishedOne_data()
{
    QTest::addColumn<int>("finished");          // index into the queued tasks, -1 for none
    QTest::addColumn<int>("expected");          // index of the task taken, -1 for none
    QTest::addColumn<QStringList>("rowsAfter"); // "index|status", by priority

    // Three tasks queued with priorities 110, 100 and 40; the first is in progress.
    QTest::newRow("nothing finished")
            << -1 << 1 << QStringList{ u"0|inProgress"_s, u"1|inProgress"_s, u"2|pending"_s };
    QTest::newRow("finished task leaves")
            << 0 << 1 << QStringList{ u"1|inProgress"_s, u"2|pending"_s };
    QTest::newRow("finished task leaves when nothing else is due")
            << 0 << -1 << QStringList{ u"1|inProgress"_s, u"2|failed"_s };
}

void TestSQLiteStoreQueue::takesNextDueTaskAndRemovesFinishedOne()
{
    QFETCH(int, finished);
    QFETCH(int, expected);
    QFETCH(QStringList, rowsAfter);
    QList<QUuid> ids;
    for (int priority : { 110, 100, 40 }) {
        const UploadTask task = SQLiteStoreFixture::task(UploadTaskType::heartbeat, priority, base);
        m_store->enqueueUpload(task);
        ids.append(task.id);
    }
    m_store->markUploadInProgress(ids.at(0));
    if (expected < 0) {
        m_store->markUploadInProgress(ids.at(1));
        m_store->markUploadFailed(ids.at(2), 1, base.addSecs(600));
    }

    const std::optional<UploadTask> taken = m_store->takeNextDueUpload(
            base, finished >= 0 ? std::optional(ids.at(finished)) : std::nullopt);

    QCOMPARE(taken ? ids.indexOf(taken->id) : -1, expected);
    if (taken)
        QCOMPARE(taken->status, UploadTaskStatus::pending); // as it was picked
    QStringList indexedRows;
    for (const QString &row :
         rows(u"SELECT id, status FROM upload_queue ORDER BY priority DESC;"_s)) {
        const int index = int(ids.indexOf(QUuid::fromString(row.section(u'|', 0, 0))));
        indexedRows.append(u"%1|%2"_s.arg(index).arg(row.section(u'|', 1)));
    }
    QCOMPARE(indexedRows, rowsAfter);
}

void TestSQLiteStoreQueue::stepLeavesLaterWritesSynced()
{
    // The step commits without a sync of its own; every other write must still sync.
    const int opened = Storage::SQLiteStoreTestHooks::synchronousSetting(*m_store);
    const UploadTask first = SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base);
    m_store->enqueueUpload(first);
    m_store->enqueueUpload(SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base));

    QVERIFY(m_store->takeNextDueUpload(base, std::nullopt));
    const std::optional<UploadTask> second = m_store->takeNextDueUpload(base, first.id);
    QVERIFY(second);
    m_store->finishUpload(second->id);

    QCOMPARE(opened, 2); // FULL
    QCOMPARE(Storage::SQLiteStoreTestHooks::synchronousSetting(*m_store), opened);
    QCOMPARE(rows(u"SELECT id FROM upload_queue;"_s), QStringList());
}

void TestSQLiteStoreQueue::keptStatementsHoldNoSnapshot()
{
    // The pick reads one row of several: a statement left unfinished would keep its read
    // snapshot, and with it the journal, until its next use.
    for (int i = 0; i < 3; ++i)
        m_store->enqueueUpload(SQLiteStoreFixture::task(UploadTaskType::heartbeat, 100, base));
    QVERIFY(m_store->nextDueUpload(base));
    QVERIFY(!m_store->hasPendingActivitySegmentUpload());

    const QStringList checkpoint = rows(u"PRAGMA wal_checkpoint(TRUNCATE);"_s);

    QCOMPARE(checkpoint.value(0).section(u'|', 0, 0), u"0"_s); // not busy
    QCOMPARE(QFileInfo(databaseFile() + u"-wal"_s).size(), 0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSQLiteStoreQueue)
#include "tst_sqlitestore_queue.moc"
