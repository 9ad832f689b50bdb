#include "storage/SQLiteSchema.h"

using namespace Qt::StringLiterals;

namespace Storage::SQLiteSchema {

namespace {

// The active and the finished sessions keep the same columns up to the payload; only their times
// differ.
QString sessionTable(QStringView name, QStringView timeColumns)
{
    return u"CREATE TABLE IF NOT EXISTS %1 ("
           "id TEXT PRIMARY KEY, "
           "domain_key TEXT NOT NULL DEFAULT 'global', "
           "device_id TEXT NOT NULL, "
           "project_id TEXT NOT NULL, "
           "project_name TEXT NOT NULL, "
           "payload BLOB NOT NULL, "
           "%2);"_s.arg(name, timeColumns);
}

} // namespace

QStringList createTableStatements()
{
    return {
        sessionTable(u"sessions", u"updated_at REAL NOT NULL"),
        sessionTable(u"session_history", u"started_at REAL NOT NULL, stopped_at REAL NOT NULL"),

        u"CREATE TABLE IF NOT EXISTS upload_queue ("
        "id TEXT PRIMARY KEY, "
        "domain_key TEXT NOT NULL DEFAULT 'global', "
        "session_id TEXT NOT NULL, "
        "type TEXT NOT NULL, "
        "file_path TEXT, "
        "json_payload BLOB, "
        "retry_count INTEGER NOT NULL DEFAULT 0, "
        "created_at REAL NOT NULL, "
        "status TEXT NOT NULL, "
        "priority INTEGER NOT NULL, "
        "next_attempt_at REAL NOT NULL DEFAULT 0);"_s,

        u"CREATE TABLE IF NOT EXISTS activity_segments ("
        "domain_key TEXT NOT NULL, "
        "segment_date TEXT NOT NULL, "
        "segment_number INTEGER NOT NULL, "
        "active_seconds INTEGER NOT NULL DEFAULT 0, "
        "non_idle_seconds INTEGER NOT NULL DEFAULT 0, "
        "mouse_movements INTEGER NOT NULL DEFAULT 0, "
        "keyboard_movements INTEGER NOT NULL DEFAULT 0, "
        "uploaded_at REAL, "
        "PRIMARY KEY (domain_key, segment_date, segment_number));"_s,
    };
}

QList<ColumnAddition> columnAdditions()
{
    return {
        { u"sessions"_s, u"domain_key"_s,
          u"ALTER TABLE sessions ADD COLUMN domain_key TEXT NOT NULL DEFAULT 'global';"_s },
        { u"session_history"_s, u"domain_key"_s,
          u"ALTER TABLE session_history ADD COLUMN domain_key TEXT NOT NULL DEFAULT 'global';"_s },
        { u"upload_queue"_s, u"domain_key"_s,
          u"ALTER TABLE upload_queue ADD COLUMN domain_key TEXT NOT NULL DEFAULT 'global';"_s },
        { u"upload_queue"_s, u"next_attempt_at"_s,
          u"ALTER TABLE upload_queue ADD COLUMN next_attempt_at REAL NOT NULL DEFAULT 0;"_s },
    };
}

QStringList indexStatements()
{
    return {
        u"CREATE INDEX IF NOT EXISTS idx_upload_queue_lookup "
        "ON upload_queue(domain_key, status, next_attempt_at);"_s,
        u"CREATE INDEX IF NOT EXISTS idx_activity_segments_pending "
        "ON activity_segments(domain_key, uploaded_at, segment_date, segment_number);"_s,
        u"CREATE INDEX IF NOT EXISTS idx_sessions_domain ON sessions(domain_key, updated_at);"_s,
        u"CREATE INDEX IF NOT EXISTS idx_session_history_domain "
        "ON session_history(domain_key, started_at);"_s,
        // The due-task pick orders by priority and age; the lookup index above cannot give that
        // order, so without this one every pick sorts all due rows. The filter columns ride along
        // so that skipped entries need no table lookup.
        u"CREATE INDEX IF NOT EXISTS idx_upload_queue_due "
        "ON upload_queue(domain_key, priority DESC, created_at, status, next_attempt_at);"_s,
    };
}

} // namespace Storage::SQLiteSchema
