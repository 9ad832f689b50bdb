#include "storage/SQLiteStore.h"

#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/SQLiteSchema.h"
#include "storage/SqlValues.h"
#include "storage/StoreTestHooks.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

QAtomicInteger<quint64> s_connectionCounter = 0;

} // namespace

SQLiteStore *SQLiteStore::instance()
{
    // Function-local: built once even when two threads ask first, and destroyed at normal exit
    // before Qt's own connection registry, which it fills during construction.
    static SQLiteStore store;
    return &store;
}

SQLiteStore::SQLiteStore(bool inMemory)
    : m_connectionName(u"tembrix_sqlite_%1"_s.arg(s_connectionCounter.fetchAndAddOrdered(1)))
{
    if (inMemory) {
        m_databasePath = u":memory:"_s;
        open();
        migrate();
        return;
    }
    m_databasePath = Platform::Paths::databasePath();
    openUsable();
}

SQLiteStore::~SQLiteStore()
{
    forgetPreparedStatements();
    if (m_db.isOpen())
        m_db.close();
    // Qt warns about a connection still in use unless every handle is gone before the removal.
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void SQLiteStore::setDomainKey(const QString &key)
{
    const QMutexLocker locker(&m_mutex);
    m_domainKey = key.isEmpty() ? u"global"_s : key;
}

QString SQLiteStore::domainKey() const
{
    const QMutexLocker locker(&m_mutex);
    return m_domainKey;
}

void SQLiteStore::clearAll()
{
    const QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return;
    exec(u"DELETE FROM sessions;"_s);
    exec(u"DELETE FROM session_history;"_s);
    exec(u"DELETE FROM upload_queue;"_s);
    exec(u"DELETE FROM activity_segments;"_s);
}

void SQLiteStore::open()
{
    if (m_db.isOpen())
        return;
    // A reopening after the file was moved aside keeps the registered connection.
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    m_db.setDatabaseName(m_databasePath);
    if (!m_db.open()) {
        qWarning() << "SQLiteStore: failed to open DB:" << m_db.lastError().text();
        return;
    }
    QSqlQuery(m_db).exec(u"PRAGMA journal_mode=WAL;"_s);
    QSqlQuery(m_db).exec(u"PRAGMA foreign_keys=ON;"_s);
}

bool SQLiteStore::migrate()
{
    const QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;
    // Every step runs even after a failure, so that a partly usable file gets as far as it can.
    bool allDone = true;
    for (const QString &statement : SQLiteSchema::createTableStatements())
        allDone = exec(statement) && allDone;
    for (const SQLiteSchema::ColumnAddition &addition : SQLiteSchema::columnAdditions()) {
        if (!hasColumn(addition.table, addition.column))
            allDone = exec(addition.statement) && allDone;
    }
    for (const QString &statement : SQLiteSchema::indexStatements())
        allDone = exec(statement) && allDone;
    return allDone;
}

bool SQLiteStore::exec(const QString &statement)
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery query(m_db);
    if (query.exec(statement))
        return true;
    m_lastError = query.lastError();
    qWarning() << "SQLite error:" << m_lastError.text();
    return false;
}

bool SQLiteStore::hasColumn(const QString &table, const QString &column)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    // A failed check counts as present, so that no ALTER is tried on a table we cannot read.
    if (!query.exec(u"PRAGMA table_info(%1);"_s.arg(table)))
        return true;
    while (query.next()) {
        if (query.value(1).toString() == column)
            return true;
    }
    return false;
}

std::optional<QString> SQLiteStore::writeFailure() const
{
    const QMutexLocker locker(&m_mutex);
    return m_writeFailure;
}

QString SQLiteStore::folder() const
{
    return QFileInfo(m_databasePath).absolutePath();
}

bool SQLiteStore::noteWrite(bool succeeded, const QSqlQuery &query, QStringView what)
{
    if (succeeded) {
        if (m_writeFailure) {
            m_writeFailure.reset();
            Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info,
                             u"Local database %1 is written again"_s.arg(m_databasePath));
        }
        return true;
    }
    const QString reason = query.lastError().text();
    // Every failed queue entry is a lost upload, so each one is logged; other writes log when
    // they start failing.
    const bool enqueue = what.startsWith(u"queue");
    if (!m_writeFailure || enqueue) {
        Core::Log::write(
                Core::Log::Category::Config, Core::Log::Level::Error,
                u"Local database %1: could not %2: %3"_s.arg(m_databasePath, what, reason));
    }
    m_writeFailure = reason;
    return false;
}

SQLiteStore::PreparedRun SQLiteStore::runPrepared(const QString &statement,
                                                  const QVariantList &values)
{
    auto found = m_prepared.find(statement);
    if (found == m_prepared.end()) {
        auto query = std::make_unique<QSqlQuery>(m_db);
        query->setForwardOnly(true);
        if (!query->prepare(statement)) {
            // Kept until the next failure, so that the caller can read its error.
            m_unprepared = std::move(query);
            return PreparedRun(*m_unprepared, false);
        }
        found = m_prepared.emplace(statement, std::move(query)).first;
    }
    QSqlQuery &query = *found->second;
    return PreparedRun(query, SqlValues::runPrepared(query, values));
}

void SQLiteStore::forgetPreparedStatements()
{
    m_prepared.clear();
    m_unprepared.reset();
}

QString SQLiteStore::boundDomainKey(const std::optional<QString> &explicitKey) const
{
    return explicitKey ? SqlValues::nonNullText(*explicitKey) : m_domainKey;
}

int SQLiteStoreTestHooks::synchronousSetting(SQLiteStore &store)
{
    return store.withLock([&] {
        const SQLiteStore::PreparedRun run = store.runPrepared(u"PRAGMA synchronous;"_s);
        return run.ran() && run.query().next() ? run.query().value(0).toInt() : -1;
    });
}

} // namespace Storage
