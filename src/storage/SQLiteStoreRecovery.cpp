// Opening the database file at start: checks that it is a database this version can write, and
// moves a file that is not aside so that tracking goes on in a new one.

#include "storage/SQLiteStore.h"

#include "storage/Log.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

// SQLite's primary result codes that put the fault in the file rather than in its folder or disk.
constexpr int sqliteError = 1;
constexpr int sqliteReadOnly = 8;
constexpr int sqliteCorrupt = 11;
constexpr int sqliteConstraint = 19;
constexpr int sqliteMismatch = 20;
constexpr int sqliteNotADatabase = 26;

int primaryCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : 0;
}

bool folderWritable(const QString &file)
{
    return ::access(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), W_OK) == 0;
}

void logError(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error, message);
}

// True for a missing or empty file (SQLite makes it a database) and for a file that begins as
// every SQLite database does.
bool hasDatabaseHeader(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || info.size() == 0)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // Unreadable: let SQLite name the reason.
    return file.read(16) == QByteArray("SQLite format 3\0", 16);
}

// The first line of a report, short enough for one log line.
QString firstLine(const QString &text)
{
    const QString line = text.section(u'\n', 0, 0).trimmed();
    return line.size() > 200 ? line.left(200) + u'…' : line;
}

// One row in each table with the columns this version writes, as its own statements do; a
// stricter schema (a new NOT NULL column, a check, a view) refuses one of them.
const QStringList probeStatements = {
    u"INSERT OR REPLACE INTO sessions (id, domain_key, device_id, project_id, project_name, "
    "payload, updated_at) VALUES ('~probe', 'global', '', '', '', X'7B7D', 0.0);"_s,
    u"INSERT OR REPLACE INTO session_history (id, domain_key, device_id, project_id, "
    "project_name, payload, started_at, stopped_at) "
    "VALUES ('~probe', 'global', '', '', '', X'7B7D', 0.0, 0.0);"_s,
    u"INSERT OR REPLACE INTO upload_queue (id, domain_key, session_id, type, file_path, "
    "json_payload, retry_count, created_at, status, priority, next_attempt_at) "
    "VALUES ('~probe', 'global', '', 'metadata', NULL, NULL, 0, 0.0, 'pending', 0, 0.0);"_s,
    u"INSERT OR REPLACE INTO activity_segments (domain_key, segment_date, segment_number, "
    "active_seconds, non_idle_seconds, mouse_movements, keyboard_movements, uploaded_at) "
    "VALUES ('~probe', '0000-00-00', 0, 0, 0, 0, 0, NULL);"_s,
};

// File permissions: the database holds the user's work record; only its owner reads it.
void makePrivate(const QString &path)
{
    for (const QString &suffix : { QString(), u"-wal"_s, u"-shm"_s }) {
        const QByteArray native = QFile::encodeName(path + suffix);
        struct stat info
        {
        };
        if (::stat(native.constData(), &info) == 0 && (info.st_mode & 077) != 0)
            ::chmod(native.constData(), info.st_mode & 0600);
    }
}

} // namespace

void SQLiteStore::openUsable()
{
    std::optional<Unusable> unusable = openAndCheck();
    if (unusable && unusable->fileAtFault && moveAside(*unusable))
        unusable = openAndCheck();
    if (!unusable)
        return;
    logError(u"Local database %1 cannot be written: %2"_s.arg(m_databasePath, unusable->reason));
    m_writeFailure = unusable->reason;
}

std::optional<SQLiteStore::Unusable> SQLiteStore::openAndCheck()
{
    // Judged before SQLite opens it: closing a connection on such a file would drop the journal
    // files beside it as invalid.
    if (!hasDatabaseHeader(m_databasePath))
        return Unusable{ u"the file is not a database"_s, folderWritable(m_databasePath) };
    open();
    if (!m_db.isOpen()) {
        return Unusable{ m_db.lastError().text(),
                         QFileInfo::exists(m_databasePath) && folderWritable(m_databasePath) };
    }
    makePrivate(m_databasePath);
    {
        QSqlQuery check(m_db);
        if (!check.exec(u"PRAGMA quick_check;"_s))
            return failure(check.lastError());
        if (!check.next() || check.value(0).toString() != "ok"_L1) {
            // The first line only names the database; the second names the fault.
            const QStringList report = check.value(0).toString().split(u'\n', Qt::SkipEmptyParts);
            return Unusable{ u"the file is damaged: %1"_s.arg(
                                     firstLine(report.value(report.size() > 1 ? 1 : 0))),
                             folderWritable(m_databasePath) };
        }
    }
    if (!migrate() || !probeWrites())
        return failure(m_lastError);
    return std::nullopt;
}

std::optional<SQLiteStore::Unusable> SQLiteStore::failure(const QSqlError &error) const
{
    const int code = primaryCode(error);
    // A file this run has just made (still empty) is not to blame for a full disk.
    const bool fileAtFault
            = (code == sqliteError || code == sqliteReadOnly || code == sqliteCorrupt
               || code == sqliteConstraint || code == sqliteMismatch || code == sqliteNotADatabase)
              && QFileInfo(m_databasePath).size() > 0 && folderWritable(m_databasePath);
    return Unusable{ firstLine(error.text()), fileAtFault };
}

bool SQLiteStore::probeWrites()
{
    const QMutexLocker locker(&m_mutex);
    QSqlQuery query(m_db);
    if (!query.exec(u"SAVEPOINT write_probe;"_s)) {
        m_lastError = query.lastError();
        return false;
    }
    bool written = true;
    for (const QString &statement : probeStatements) {
        if (!query.exec(statement)) {
            m_lastError = query.lastError();
            written = false;
            break;
        }
    }
    query.exec(u"ROLLBACK TO write_probe;"_s);
    query.exec(u"RELEASE write_probe;"_s);
    return written;
}

bool SQLiteStore::moveAside(const Unusable &unusable)
{
    forgetPreparedStatements();
    m_db.close();
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss"_s);
    QString target = u"%1.unusable-%2"_s.arg(m_databasePath, stamp);
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = u"%1.unusable-%2-%3"_s.arg(m_databasePath, stamp).arg(n);
    if (::rename(QFile::encodeName(m_databasePath).constData(),
                 QFile::encodeName(target).constData())
        != 0) {
        logError(u"Local database %1 is unusable (%2) and cannot be moved aside: %3"_s.arg(
                m_databasePath, unusable.reason, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    // The journal files travel with it, under the names SQLite looks for beside the new name.
    for (const QString &suffix : { u"-wal"_s, u"-shm"_s }) {
        if (QFileInfo::exists(m_databasePath + suffix))
            QFile::rename(m_databasePath + suffix, target + suffix);
    }
    logError(
            u"Local database %1 is unusable (%2); moved it aside to %3 and started a new one"_s.arg(
                    m_databasePath, unusable.reason, target));
    return true;
}

} // namespace Storage
