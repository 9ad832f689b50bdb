#include "storage/SQLiteStore.h"

#include "storage/Paths.h"
#include "storage/SQLiteSchema.h"
#include "storage/SqlValues.h"

#include <QAtomicInteger>
#include <QDebug>
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
    m_databasePath = inMemory ? u":memory:"_s : Platform::Paths::databasePath();
    open();
    migrate();
}

SQLiteStore::~SQLiteStore()
{
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
    m_db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    m_db.setDatabaseName(m_databasePath);
    if (!m_db.open()) {
        qWarning() << "SQLiteStore: failed to open DB:" << m_db.lastError().text();
        return;
    }
    QSqlQuery(m_db).exec(u"PRAGMA journal_mode=WAL;"_s);
    QSqlQuery(m_db).exec(u"PRAGMA foreign_keys=ON;"_s);
}

void SQLiteStore::migrate()
{
    const QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return;
    for (const QString &statement : SQLiteSchema::createTableStatements())
        exec(statement);
    for (const SQLiteSchema::ColumnAddition &addition : SQLiteSchema::columnAdditions()) {
        if (!hasColumn(addition.table, addition.column))
            exec(addition.statement);
    }
    for (const QString &statement : SQLiteSchema::indexStatements())
        exec(statement);
}

bool SQLiteStore::exec(const QString &statement)
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery query(m_db);
    if (query.exec(statement))
        return true;
    qWarning() << "SQLite error:" << query.lastError().text();
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

QString SQLiteStore::boundDomainKey(const std::optional<QString> &explicitKey) const
{
    return explicitKey ? SqlValues::nonNullText(*explicitKey) : m_domainKey;
}

} // namespace Storage
