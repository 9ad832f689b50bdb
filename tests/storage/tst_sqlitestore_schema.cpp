#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "SQLiteStoreFixture.h"
#include "storage/SQLiteStore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <memory>

using namespace Qt::StringLiterals;
using namespace SQLiteStoreFixture;
using Storage::SQLiteStore;

namespace {

const QDateTime base = QDateTime(QDate(2025, 3, 4), QTime(9, 0, 0, 250), Qt::UTC);

QStringList storeConnections()
{
    return QSqlDatabase::connectionNames().filter(QRegularExpression(u"^tembrix_sqlite_\\d+$"_s));
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// A file as an earlier version left it: no domain_key on the three older tables, no
// next_attempt_at on the queue, no indexes; one row in every table.
QString legacySchemaAndRows(const Models::Session &active, const Models::Session &finished,
                            const Models::UploadTask &task)
{
    const auto payload = [](const Models::Session &session) {
        return hex(QJsonDocument(session.toJson()).toJson(QJsonDocument::Compact));
    };
    return uR"(
CREATE TABLE sessions (id TEXT PRIMARY KEY, device_id TEXT NOT NULL, project_id TEXT NOT NULL,
    project_name TEXT NOT NULL, payload BLOB NOT NULL, updated_at REAL NOT NULL);
CREATE TABLE session_history (id TEXT PRIMARY KEY, device_id TEXT NOT NULL,
    project_id TEXT NOT NULL, project_name TEXT NOT NULL, payload BLOB NOT NULL,
    started_at REAL NOT NULL, stopped_at REAL NOT NULL);
CREATE TABLE upload_queue (id TEXT PRIMARY KEY, session_id TEXT NOT NULL, type TEXT NOT NULL,
    file_path TEXT, json_payload BLOB, retry_count INTEGER NOT NULL DEFAULT 0,
    created_at REAL NOT NULL, status TEXT NOT NULL, priority INTEGER NOT NULL);
CREATE TABLE activity_segments (domain_key TEXT NOT NULL, segment_date TEXT NOT NULL,
    segment_number INTEGER NOT NULL, active_seconds INTEGER NOT NULL DEFAULT 0,
    non_idle_seconds INTEGER NOT NULL DEFAULT 0, mouse_movements INTEGER NOT NULL DEFAULT 0,
    keyboard_movements INTEGER NOT NULL DEFAULT 0, uploaded_at REAL,
    PRIMARY KEY (domain_key, segment_date, segment_number));
INSERT INTO sessions VALUES ('%1', 'DEVICE-1', 'p1', 'Project', X'%2', 1741078800.0);
INSERT INTO session_history VALUES ('%3', 'DEVICE-1', 'p1', 'Project', X'%4', %5, %6);
INSERT INTO upload_queue VALUES ('%7', '%8', 'startSession', NULL, X'7B7D', 0, %9, 'pending', 110);
INSERT INTO activity_segments VALUES ('global', '2025-03-04', 54, 120, 300, 15, 40, NULL);
)"_s.arg(active.id.toString(QUuid::WithoutBraces), payload(active),
         finished.id.toString(QUuid::WithoutBraces), payload(finished))
            .arg(double(finished.intervals.first().startedAt.toMSecsSinceEpoch()) / 1000.0, 0, 'f',
                 3)
            .arg(double(finished.intervals.first().stoppedAt->toMSecsSinceEpoch()) / 1000.0, 0, 'f',
                 3)
            .arg(task.id.toString(QUuid::WithoutBraces),
                 task.sessionId.toString(QUuid::WithoutBraces))
            .arg(double(task.createdAt.toMSecsSinceEpoch()) / 1000.0, 0, 'f', 3);
}

const QStringList expectedIndexes{
    u"idx_activity_segments_pending"_s, u"idx_session_history_domain"_s, u"idx_sessions_domain"_s,
    u"idx_upload_queue_due"_s,          u"idx_upload_queue_lookup"_s,
};

} // namespace

class TestSQLiteStoreSchema : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void createsTablesAndIndexesOnFreshFile();
    void createsEachObjectAsDeclared_data();
    void createsEachObjectAsDeclared();
    void reopeningChangesNothing();
    void migratesLegacyFileThenIndexesIt();
    void failedSchemaStepWarnsAndTheRestRuns();
    void unopenableFileLeavesStoreInert();
    void inMemoryStoreWritesNoFile();
    void destructorRemovesConnectionQuietly();
    void numbersConnectionsPerStore();
    void emptyDomainKeyMeansGlobal();
    void domainKeyPartitionsRowsWithoutMovingThem();
    void clearAllEmptiesEveryDomain();
    void servesWorkerThreadAndPoolTogether();
    void instanceIsOneFileStore();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestSQLiteStoreSchema::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    // Every step below must run without a single Qt warning unless a test expects one.
    QTest::failOnWarning(QRegularExpression(u".*"_s));
}

void TestSQLiteStoreSchema::cleanup()
{
    m_root.reset();
}

void TestSQLiteStoreSchema::createsTablesAndIndexesOnFreshFile()
{
    {
        SQLiteStore store;
    }

    QStringList tables;
    QVERIFY(sqlite(databaseFile(),
                   u"SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;"_s,
                   &tables));
    QCOMPARE(tables, (QStringList{ u"activity_segments"_s, u"session_history"_s, u"sessions"_s,
                                   u"upload_queue"_s }));
    QStringList indexes;
    QVERIFY(sqlite(databaseFile(),
                   u"SELECT name FROM sqlite_master WHERE type = 'index' "
                   "AND name LIKE 'idx_%' ORDER BY name;"_s,
                   &indexes));
    QCOMPARE(indexes, expectedIndexes);
    QStringList journal;
    QVERIFY(sqlite(databaseFile(), u"PRAGMA journal_mode;"_s, &journal));
    QCOMPARE(journal, QStringList{ u"wal"_s });
}

void TestSQLiteStoreSchema::createsEachObjectAsDeclared_data()
{
    // SQLite keeps each CREATE statement as it was given, less its IF NOT EXISTS.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sql");

    QTest::newRow("the active sessions")
            << u"sessions"_s
            << u"CREATE TABLE sessions (id TEXT PRIMARY KEY, domain_key TEXT NOT NULL DEFAULT "
               "'global', device_id TEXT NOT NULL, project_id TEXT NOT NULL, project_name TEXT "
               "NOT NULL, payload BLOB NOT NULL, updated_at REAL NOT NULL)"_s;
    QTest::newRow("the finished sessions")
            << u"session_history"_s
            << u"CREATE TABLE session_history (id TEXT PRIMARY KEY, domain_key TEXT NOT NULL "
               "DEFAULT 'global', device_id TEXT NOT NULL, project_id TEXT NOT NULL, "
               "project_name TEXT NOT NULL, payload BLOB NOT NULL, started_at REAL NOT NULL, "
               "stopped_at REAL NOT NULL)"_s;
    QTest::newRow("the upload queue")
            << u"upload_queue"_s
            << u"CREATE TABLE upload_queue (id TEXT PRIMARY KEY, domain_key TEXT NOT NULL "
               "DEFAULT 'global', session_id TEXT NOT NULL, type TEXT NOT NULL, file_path TEXT, "
               "json_payload BLOB, retry_count INTEGER NOT NULL DEFAULT 0, created_at REAL NOT "
               "NULL, status TEXT NOT NULL, priority INTEGER NOT NULL, next_attempt_at REAL NOT "
               "NULL DEFAULT 0)"_s;
    QTest::newRow("the activity segments, with no default domain")
            << u"activity_segments"_s
            << u"CREATE TABLE activity_segments (domain_key TEXT NOT NULL, segment_date TEXT NOT "
               "NULL, segment_number INTEGER NOT NULL, active_seconds INTEGER NOT NULL DEFAULT 0, "
               "non_idle_seconds INTEGER NOT NULL DEFAULT 0, mouse_movements INTEGER NOT NULL "
               "DEFAULT 0, keyboard_movements INTEGER NOT NULL DEFAULT 0, uploaded_at REAL, "
               "PRIMARY KEY (domain_key, segment_date, segment_number))"_s;
    QTest::newRow("the queue lookup index")
            << u"idx_upload_queue_lookup"_s
            << u"CREATE INDEX idx_upload_queue_lookup ON upload_queue(domain_key, status, "
               "next_attempt_at)"_s;
    QTest::newRow("the pending segments index")
            << u"idx_activity_segments_pending"_s
            << u"CREATE INDEX idx_activity_segments_pending ON activity_segments(domain_key, "
               "uploaded_at, segment_date, segment_number)"_s;
    QTest::newRow("the active sessions index")
            << u"idx_sessions_domain"_s
            << u"CREATE INDEX idx_sessions_domain ON sessions(domain_key, updated_at)"_s;
    QTest::newRow("the history index")
            << u"idx_session_history_domain"_s
            << u"CREATE INDEX idx_session_history_domain ON session_history(domain_key, "
               "started_at)"_s;
    QTest::newRow("the due-task index")
            << u"idx_upload_queue_due"_s
            << u"CREATE INDEX idx_upload_queue_due ON upload_queue(domain_key, priority DESC, "
               "created_at, status, next_attempt_at)"_s;
}

void TestSQLiteStoreSchema::createsEachObjectAsDeclared()
{
    QFETCH(QString, name);
    QFETCH(QString, sql);
    {
        SQLiteStore store;
    }

    QStringList stored;
    QVERIFY(sqlite(
            databaseFile(),
            u"SELECT replace(sql, char(10), ' ') FROM sqlite_master WHERE name = '%1';"_s.arg(name),
            &stored));
    QCOMPARE(stored, QStringList{ sql });
}

void TestSQLiteStoreSchema::reopeningChangesNothing()
{
    const QString dump = u"SELECT type, name, sql FROM sqlite_master ORDER BY name;"_s;
    QStringList first;
    QStringList second;
    {
        SQLiteStore store;
    }
    QVERIFY(sqlite(databaseFile(), dump, &first));
    {
        SQLiteStore store;
    }
    QVERIFY(sqlite(databaseFile(), dump, &second));

    QCOMPARE(second, first);
}

void TestSQLiteStoreSchema::migratesLegacyFileThenIndexesIt()
{
    const Models::Session active = session(base, std::nullopt);
    const Models::Session finished = session(base.addSecs(-7200), base.addSecs(-3600));
    const Models::UploadTask task
            = SQLiteStoreFixture::task(Models::UploadTaskType::startSession, 110, base);
    QVERIFY(sqlite(databaseFile(), legacySchemaAndRows(active, finished, task)));

    {
        SQLiteStore store;
        QCOMPARE(store.loadActiveSession(), active);
        QCOMPARE(store.sessionSummaries(base.addDays(-1), base.addDays(1)).size(), 1);
        const std::optional<Models::UploadTask> due = store.nextDueUpload(base);
        QVERIFY(due);
        QCOMPARE(due->id, task.id);
        QVERIFY(store.activitySegment(u"2025-03-04"_s, 54));
    }

    QStringList rows;
    QVERIFY(sqlite(databaseFile(),
                   u"SELECT domain_key FROM sessions; SELECT domain_key FROM session_history; "
                   "SELECT domain_key, next_attempt_at = 0 FROM upload_queue;"_s,
                   &rows));
    QCOMPARE(rows, (QStringList{ u"global"_s, u"global"_s, u"global|1"_s }));
    QVERIFY(sqlite(databaseFile(),
                   u"SELECT name FROM sqlite_master WHERE type = 'index' "
                   "AND name LIKE 'idx_%' ORDER BY name;"_s,
                   &rows));
    QCOMPARE(rows, expectedIndexes);
}

void TestSQLiteStoreSchema::failedSchemaStepWarnsAndTheRestRuns()
{
    // Another program left a view where the active sessions belong: it can gain no column and no
    // index. Each failure is warned; a file this version cannot write to is then replaced by a
    // new one, which gets every table and index.
    QVERIFY(sqlite(databaseFile(), u"CREATE VIEW sessions AS SELECT 'x' AS id;"_s));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(u"^SQLite error: \".*add a column to a view.*\"$"_s));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(u"^SQLite error: \".*may not be indexed.*\"$"_s));

    SQLiteStore store;
    const Models::UploadTask task
            = SQLiteStoreFixture::task(Models::UploadTaskType::heartbeat, 100, base);
    store.enqueueUpload(task);

    QCOMPARE(store.nextDueUpload(base), task);
    QStringList indexes;
    QVERIFY(sqlite(databaseFile(),
                   u"SELECT name FROM sqlite_master WHERE type = 'index' "
                   "AND name LIKE 'idx_%' ORDER BY name;"_s,
                   &indexes));
    QCOMPARE(indexes, expectedIndexes);
}

void TestSQLiteStoreSchema::unopenableFileLeavesStoreInert()
{
    // A plain file where the data folder belongs: nothing can be made below it, not even by root.
    QVERIFY(QDir().mkpath(QFileInfo(m_root->dataDir()).path()));
    QVERIFY(QFile(m_root->dataDir()).open(QIODevice::WriteOnly));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(u"^SQLiteStore: failed to open DB: \".+\"$"_s));

    SQLiteStore store;
    const Models::UploadTask task
            = SQLiteStoreFixture::task(Models::UploadTaskType::screenshot, 10, base);
    store.saveActiveSession(session(base, std::nullopt));
    store.appendSessionHistory(session(base, base.addSecs(60)));
    store.enqueueUpload(task);
    store.upsertActivitySegment(u"2025-03-04"_s, 1, 1, 1, 1, 1);
    store.markUploadFailed(task.id, 1, base);
    store.markUploadInProgress(task.id);
    store.requeueInProgressUploads();
    store.removeUpload(task.id);
    store.markActivitySegmentUploaded(u"2025-03-04"_s, 1);
    store.removeActiveSession();
    store.clearAll();

    QCOMPARE(store.loadActiveSession(), std::nullopt);
    QVERIFY(store.sessionSummaries(base.addDays(-1), base.addDays(1)).isEmpty());
    QCOMPARE(store.nextDueUpload(base.addDays(1)), std::nullopt);
    QVERIFY(!store.hasPendingActivitySegmentUpload());
    QVERIFY(!store.hasPendingScreenshotUpload(task.sessionId, u"/captures/a.jpg"_s));
    QVERIFY(store.pendingUploadFilePaths().isEmpty());
    QVERIFY(store.pendingUploadIds(task.sessionId, { task.type }).isEmpty());
    QCOMPARE(store.activitySegment(u"2025-03-04"_s, 1), std::nullopt);
    QVERIFY(store.pendingActivitySegments(u"2025-03-05"_s, 0).isEmpty());
    QCOMPARE(store.latestSegmentActivityPercent(), std::nullopt);
    QCOMPARE(store.activityTotals(base.addDays(-1), base.addDays(1)), std::make_pair(0.0, 0.0));
    QCOMPARE(store.purgeStaleRows(u"2025-04-01"_s), 0);
}

void TestSQLiteStoreSchema::inMemoryStoreWritesNoFile()
{
    SQLiteStore store(true);
    const Models::UploadTask task
            = SQLiteStoreFixture::task(Models::UploadTaskType::heartbeat, 100, base);
    store.enqueueUpload(task);

    QCOMPARE(store.nextDueUpload(base), task);
    QVERIFY(!QFileInfo::exists(m_root->dataDir()));
}

void TestSQLiteStoreSchema::destructorRemovesConnectionQuietly()
{
    QVERIFY(storeConnections().isEmpty());
    {
        SQLiteStore store;
        store.enqueueUpload(SQLiteStoreFixture::task(Models::UploadTaskType::heartbeat, 100, base));
        QCOMPARE(storeConnections().size(), 1);
    }
    QVERIFY(storeConnections().isEmpty());
}

void TestSQLiteStoreSchema::numbersConnectionsPerStore()
{
    SQLiteStore first(true);
    const QStringList before = storeConnections();
    SQLiteStore second(true);
    QStringList after = storeConnections();
    for (const QString &name : before)
        after.removeOne(name);

    QCOMPARE(before.size(), 1);
    QCOMPARE(after.size(), 1);
    const auto number = [](const QString &name) { return name.section(u'_', -1).toInt(); };
    QCOMPARE(number(after.first()), number(before.first()) + 1);
}

void TestSQLiteStoreSchema::emptyDomainKeyMeansGlobal()
{
    SQLiteStore store(true);
    QCOMPARE(store.domainKey(), u"global"_s);
    store.setDomainKey(u"acme.example.com"_s);
    QCOMPARE(store.domainKey(), u"acme.example.com"_s);
    store.setDomainKey(QString());
    QCOMPARE(store.domainKey(), u"global"_s);
}

void TestSQLiteStoreSchema::domainKeyPartitionsRowsWithoutMovingThem()
{
    SQLiteStore store;
    const Models::Session global = session(base, std::nullopt);
    store.saveActiveSession(global);
    store.upsertActivitySegment(u"2025-03-04"_s, 54, 120, 300, 15, 40);

    store.setDomainKey(u"acme.example.com"_s);
    QCOMPARE(store.loadActiveSession(), std::nullopt);
    QCOMPARE(store.activitySegment(u"2025-03-04"_s, 54), std::nullopt);

    store.setDomainKey(u"global"_s);
    QCOMPARE(store.loadActiveSession(), global);
    QVERIFY(store.activitySegment(u"2025-03-04"_s, 54));
}

void TestSQLiteStoreSchema::clearAllEmptiesEveryDomain()
{
    SQLiteStore store;
    store.saveActiveSession(session(base, std::nullopt));
    store.setDomainKey(u"acme.example.com"_s);
    store.appendSessionHistory(session(base, base.addSecs(60)));
    store.enqueueUpload(SQLiteStoreFixture::task(Models::UploadTaskType::heartbeat, 100, base));
    store.upsertActivitySegment(u"2025-03-04"_s, 54, 120, 300, 15, 40);

    store.clearAll();

    QStringList counts;
    QVERIFY(sqlite(databaseFile(),
                   u"SELECT (SELECT count(*) FROM sessions) + (SELECT count(*) FROM "
                   "session_history) + (SELECT count(*) FROM upload_queue) + "
                   "(SELECT count(*) FROM activity_segments);"_s,
                   &counts));
    QCOMPARE(counts, QStringList{ u"0"_s });
}

void TestSQLiteStoreSchema::servesWorkerThreadAndPoolTogether()
{
    // The handle is a member used directly: QSqlDatabase::database() from these threads would
    // hand back an invalid connection and warn.
    SQLiteStore store;
    constexpr int perThread = 150;

    std::unique_ptr<QThread> worker(QThread::create([&store] {
        for (int i = 0; i < perThread; ++i) {
            Models::UploadTask task
                    = SQLiteStoreFixture::task(Models::UploadTaskType::screenshot, 10, base);
            task.filePath = u"/captures/%1.jpg"_s.arg(i);
            store.enqueueUpload(task);
            if (const std::optional<Models::UploadTask> due = store.nextDueUpload(base))
                store.markUploadInProgress(due->id);
        }
    }));
    QSemaphore poolDone;
    QThreadPool::globalInstance()->start([&store, &poolDone] {
        for (int i = 0; i < perThread; ++i) {
            store.appendSessionHistory(session(base.addSecs(i), base.addSecs(i + 1)));
            store.upsertActivitySegment(u"2025-03-04"_s, i % 144, i, i, i, i);
        }
        poolDone.release();
    });
    worker->start();
    for (int i = 0; i < perThread; ++i)
        store.sessionSummaries(base, base.addDays(1));
    QVERIFY(worker->wait(120000));
    QVERIFY(poolDone.tryAcquire(1, 120000));

    QCOMPARE(store.pendingUploadFilePaths().size(), perThread);
    QCOMPARE(store.sessionSummaries(base, base.addDays(1)).size(), perThread);
    QCOMPARE(store.nextDueUpload(base), std::nullopt);
}

void TestSQLiteStoreSchema::instanceIsOneFileStore()
{
    SQLiteStore *store = SQLiteStore::instance();
    QCOMPARE(SQLiteStore::instance(), store);
    QVERIFY(QFileInfo(databaseFile()).isFile());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSQLiteStoreSchema)
#include "tst_sqlitestore_schema.moc"
