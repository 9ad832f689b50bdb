#include "FileSizeLimit.h"
#include "FreshXdgRoot.h"
#include "SQLiteStoreFixture.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/SQLiteStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace SQLiteStoreFixture;
using Storage::SQLiteStore;

namespace {

const auto kChildRole = "--child-open-store";
// The user a root test run drops to, so that permission bits bind the store as they bind users.
constexpr uid_t nobody = 65534;
const QDateTime base = QDateTime(QDate(2025, 3, 4), QTime(9, 0), Qt::UTC);

// Child: opens the store as the program does and reports what it could do, one fact a line.
int runChild()
{
    if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
        return 3;
    std::unique_ptr<TestSupport::FileSizeLimit> limit;
    if (qEnvironmentVariableIsSet("CHILD_FILE_SIZE_LIMIT"))
        limit = std::make_unique<TestSupport::FileSizeLimit>(
                qEnvironmentVariableIntValue("CHILD_FILE_SIZE_LIMIT"));
    Core::Log::install();
    SQLiteStore store;
    const int before = int(store.loadActiveSessions().size());
    const bool saved = store.saveActiveSession(session(base, std::nullopt));
    const std::optional<QString> failure = store.writeFailure();
    std::printf("sessions before %d\nsaved %d\nfailure %s\n", before, int(saved),
                failure ? qPrintable(*failure) : "none");
    return 0;
}

// Hands the whole temporary root to the user the child runs as.
void giveToChildUser(const QString &root)
{
    if (::geteuid() != 0)
        return;
    QVERIFY(::chown(QFile::encodeName(root).constData(), nobody, nobody) == 0);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY(::lchown(QFile::encodeName(it.next()).constData(), nobody, nobody) == 0);
}

struct ChildReport
{
    int sessionsBefore = -1;
    bool saved = false;
    QString failure;
};

ChildReport openInChild(const QString &root, const QProcessEnvironment &environment
                                             = QProcessEnvironment::systemEnvironment())
{
    giveToChildUser(root);
    const auto result = TestSupport::runSelf({ QString::fromLatin1(kChildRole) }, environment);
    ChildReport report;
    if (!result.finished || result.exitCode != 0) {
        qWarning() << "child failed" << result.exitCode << result.standardError;
        return report;
    }
    for (const QByteArray &line : result.standardOutput.split('\n')) {
        const QString text = QString::fromLocal8Bit(line);
        if (text.startsWith("sessions before "_L1))
            report.sessionsBefore = text.mid(16).toInt();
        else if (text.startsWith("saved "_L1))
            report.saved = text.mid(6) == "1"_L1;
        else if (text.startsWith("failure "_L1))
            report.failure = text.mid(8);
    }
    return report;
}

QString appLog(const FreshXdgRoot &root)
{
    QFile file(root.logsDir() + "/app.log"_L1);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList movedAside(const QString &dataDir)
{
    return QDir(dataDir).entryList({ u"clockwarden.sqlite.unusable-*"_s }, QDir::AllEntries,
                                   QDir::Name);
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

const QString currentSchema
        = u"CREATE TABLE sessions (id TEXT PRIMARY KEY, domain_key TEXT NOT NULL DEFAULT 'global', "
          "device_id TEXT NOT NULL, project_id TEXT NOT NULL, project_name TEXT NOT NULL, "
          "payload BLOB NOT NULL, updated_at REAL NOT NULL);"_s;

} // namespace

class TestSQLiteStoreRecovery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void unusableFileIsMovedAsideForANewOne_data();
    void unusableFileIsMovedAsideForANewOne();
    void unwritablePlaceKeepsTheFileAndSaysWhy_data();
    void unwritablePlaceKeepsTheFileAndSaysWhy();
    void failedWritesAreLoggedUntilWritesWorkAgain();
    void databaseFilesArePrivate();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestSQLiteStoreRecovery::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
}

void TestSQLiteStoreRecovery::cleanup()
{
    m_root.reset();
}

enum class Unusable { RandomBytes, Damaged, StricterSchema, ViewForTable, ReadOnlyFile, Folder };

void TestSQLiteStoreRecovery::unusableFileIsMovedAsideForANewOne_data()
{
    QTest::addColumn<Unusable>("kind");
    QTest::newRow("random bytes") << Unusable::RandomBytes;
    QTest::newRow("damaged pages") << Unusable::Damaged;
    QTest::newRow("newer schema with a required column") << Unusable::StricterSchema;
    QTest::newRow("a view where a table belongs") << Unusable::ViewForTable;
    QTest::newRow("read-only file") << Unusable::ReadOnlyFile;
    QTest::newRow("a folder in its place") << Unusable::Folder;
}

void TestSQLiteStoreRecovery::unusableFileIsMovedAsideForANewOne()
{
    QFETCH(Unusable, kind);
    const QString file = databaseFile();
    const QString dataDir = m_root->dataDir();
    QByteArray original;
    switch (kind) {
    case Unusable::RandomBytes:
        original = randomBytes(8192);
        QVERIFY(writeBytes(file, original));
        QVERIFY(writeBytes(file + "-wal"_L1, "wal bytes"));
        QVERIFY(writeBytes(file + "-shm"_L1, "shm bytes"));
        break;
    case Unusable::Damaged: {
        QVERIFY(sqlite(file, u"CREATE TABLE filler (x BLOB);"
                             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < 200) INSERT INTO filler SELECT randomblob(300) FROM n;"_s));
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        QVERIFY(damaged.size() > 3 * 4096);
        // The page headers of the table's pages: no valid page type.
        for (const qint64 page : { 1, 2, 3 }) {
            QVERIFY(damaged.seek(page * 4096));
            QCOMPARE(damaged.write(QByteArray(64, '\xff')), 64);
        }
        break;
    }
    case Unusable::StricterSchema:
        QVERIFY(sqlite(file,
                       currentSchema
                               + u"CREATE TABLE upload_queue (id TEXT PRIMARY KEY, "
                                 "domain_key TEXT NOT NULL DEFAULT 'global', session_id TEXT NOT "
                                 "NULL, type TEXT NOT NULL, file_path TEXT, json_payload BLOB, "
                                 "retry_count INTEGER NOT NULL DEFAULT 0, created_at REAL NOT "
                                 "NULL, status TEXT NOT NULL, priority INTEGER NOT NULL, "
                                 "next_attempt_at REAL NOT NULL DEFAULT 0, "
                                 "attempt_log TEXT NOT NULL);"_s));
        break;
    case Unusable::ViewForTable:
        QVERIFY(sqlite(file, u"CREATE VIEW sessions AS SELECT 'x' AS id;"_s));
        break;
    case Unusable::ReadOnlyFile:
        QVERIFY(sqlite(file, currentSchema));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0444), 0);
        break;
    case Unusable::Folder:
        QVERIFY(QDir().mkpath(file));
        QVERIFY(writeBytes(file + "/inside"_L1, "kept"));
        break;
    }

    const ChildReport report = openInChild(QFileInfo(m_root->home()).path());

    QCOMPARE(report.failure, u"none"_s);
    QVERIFY(report.saved);
    QCOMPARE(report.sessionsBefore, 0);
    const QStringList aside = movedAside(dataDir);
    QCOMPARE(aside.size(), kind == Unusable::RandomBytes ? 3 : aside.size());
    QVERIFY2(!aside.isEmpty(), qPrintable(QDir(dataDir).entryList().join(u", ")));
    QVERIFY2(QRegularExpression(u"^clockwarden\\.sqlite\\.unusable-\\d{8}-\\d{6}$"_s)
                     .match(aside.first())
                     .hasMatch(),
             qPrintable(aside.first()));
    const QString moved = dataDir + u'/' + aside.first();
    if (kind == Unusable::RandomBytes) {
        QFile kept(moved);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), original);
        QCOMPARE(aside, QStringList({ aside.first(), aside.first() + "-shm"_L1,
                                      aside.first() + "-wal"_L1 }));
    }
    if (kind == Unusable::Folder)
        QVERIFY(QFile::exists(moved + "/inside"_L1));

    // The new file is a database of this version holding the session saved after the move.
    QStringList rows;
    QVERIFY(sqlite(file, u"SELECT count(*) FROM sessions;"_s, &rows));
    QCOMPARE(rows, QStringList{ u"1"_s });
    const QString log = appLog(*m_root);
    QVERIFY2(QRegularExpression(u"\\[ERROR\\] \\[config\\] Local database .*clockwarden\\.sqlite "
                                "is unusable \\(.+\\); moved it aside to .*"_s
                                + QRegularExpression::escape(aside.first())
                                + u" and started a new one"_s)
                     .match(log)
                     .hasMatch(),
             qPrintable(log));
}

enum class Unwritable { ReadOnlyFolder, FullDiskNewFile, FullDiskExistingFile };

void TestSQLiteStoreRecovery::unwritablePlaceKeepsTheFileAndSaysWhy_data()
{
    QTest::addColumn<Unwritable>("kind");
    QTest::newRow("read-only data folder") << Unwritable::ReadOnlyFolder;
    QTest::newRow("full disk, no file yet") << Unwritable::FullDiskNewFile;
    QTest::newRow("full disk, a file with a session") << Unwritable::FullDiskExistingFile;
}

void TestSQLiteStoreRecovery::unwritablePlaceKeepsTheFileAndSaysWhy()
{
    QFETCH(Unwritable, kind);
    const QString file = databaseFile();
    const QString dataDir = m_root->dataDir();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const bool withSession = kind != Unwritable::FullDiskNewFile;
    if (withSession) {
        // A file of this version with one session, as an earlier run left it.
        {
            SQLiteStore store;
            QVERIFY(store.saveActiveSession(session(base, std::nullopt)));
        }
    }
    if (kind == Unwritable::ReadOnlyFolder)
        QCOMPARE(::chmod(QFile::encodeName(dataDir).constData(), 0555), 0);
    else
        environment.insert(u"CHILD_FILE_SIZE_LIMIT"_s, u"1"_s);
    // The log lives elsewhere and stays writable.
    QVERIFY(QDir().mkpath(m_root->logsDir()));

    const ChildReport report = openInChild(QFileInfo(m_root->home()).path(), environment);
    ::chmod(QFile::encodeName(dataDir).constData(), 0700);

    QVERIFY(!report.saved);
    QVERIFY(report.failure != u"none"_s && !report.failure.isEmpty());
    QVERIFY(movedAside(dataDir).isEmpty());
    // On a full disk the log cannot be written either.
    if (kind == Unwritable::ReadOnlyFolder) {
        const QString log = appLog(*m_root);
        QVERIFY2(
                log.contains(u"[ERROR] [config] Local database %1 cannot be written: "_s.arg(file)),
                qPrintable(log));
    }
    if (withSession) {
        QStringList rows;
        QVERIFY(sqlite(file, u"SELECT count(*) FROM sessions;"_s, &rows));
        QCOMPARE(rows, QStringList{ u"1"_s });
    }
}

void TestSQLiteStoreRecovery::failedWritesAreLoggedUntilWritesWorkAgain()
{
    Core::Log::install();
    SQLiteStore store;
    QVERIFY(store.saveActiveSession(session(base, std::nullopt)));
    QCOMPARE(store.writeFailure(), std::nullopt);
    // Another program makes the file refuse new rows while the store has it open.
    QVERIFY(sqlite(databaseFile(), u"CREATE TRIGGER refuse_sessions BEFORE INSERT ON sessions "
                                   "BEGIN SELECT RAISE(ABORT, 'no room for sessions'); END;"
                                   "CREATE TRIGGER refuse_uploads BEFORE INSERT ON upload_queue "
                                   "BEGIN SELECT RAISE(ABORT, 'no room for uploads'); END;"_s));
    const Models::UploadTask task
            = SQLiteStoreFixture::task(Models::UploadTaskType::screenshot, 10, base);
    QVERIFY(!store.saveActiveSession(session(base, std::nullopt)));
    QVERIFY(store.writeFailure().value_or(QString()).contains(u"no room for sessions"_s));
    store.enqueueUpload(task);

    const QString log = appLog(*m_root);
    QVERIFY2(log.contains(u"[ERROR] [config] Local database %1: could not save the active session: "
                          "no room for sessions"_s.arg(databaseFile())),
             qPrintable(log));
    // The queue entry that was lost is named, with SQLite's reason.
    QVERIFY2(log.contains(u"[ERROR] [config] Local database %1: could not queue the screenshot "
                          "upload %2: no room for uploads"_s.arg(
                                  databaseFile(), task.id.toString(QUuid::WithoutBraces))),
             qPrintable(log));

    // Writable again: the next write clears the fault, and the first session is still there.
    QVERIFY(sqlite(databaseFile(),
                   u"DROP TRIGGER refuse_sessions; DROP TRIGGER refuse_uploads;"_s));
    QVERIFY(store.saveActiveSession(session(base, std::nullopt)));
    QCOMPARE(store.writeFailure(), std::nullopt);
    QCOMPARE(store.loadActiveSessions().size(), 2);
}

void TestSQLiteStoreRecovery::databaseFilesArePrivate()
{
    const mode_t previous = ::umask(022);
    // A file an earlier version left readable by all.
    QVERIFY(sqlite(databaseFile(), currentSchema));
    QCOMPARE(::chmod(QFile::encodeName(databaseFile()).constData(), 0644), 0);
    {
        SQLiteStore store;
        QVERIFY(store.saveActiveSession(session(base, std::nullopt)));
        for (const QString &suffix : { QString(), u"-wal"_s, u"-shm"_s }) {
            struct stat info
            {
            };
            QCOMPARE(::stat(QFile::encodeName(databaseFile() + suffix).constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0600));
        }
    }
    ::umask(previous);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], kChildRole) == 0) {
        QCoreApplication app(argc, argv);
        return runChild();
    }
    return TestSupport::runTest<QCoreApplication, TestSQLiteStoreRecovery>(argc, argv);
}

#include "tst_sqlitestore_recovery.moc"
