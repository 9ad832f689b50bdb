#pragma once

#include "models/Session.h"
#include "models/UploadTask.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// Helpers shared by the SQLite store tests. The store's file lives at the database path of the
// directory layout, so a test points XDG_DATA_HOME at a fresh directory (FreshXdgRoot) first.
namespace SQLiteStoreFixture {

// The file the store opens under the current XDG_DATA_HOME.
QString databaseFile();

// Runs SQL through the sqlite3 command-line shell, as another program would. Rows come back one
// a line, columns joined by "|". False (with the shell's error as a warning) on failure.
bool sqlite(const QString &file, const QString &sql, QStringList *rows = nullptr);

// A session with one interval from start to stop (open when stop is absent).
Models::Session session(const QDateTime &start, const std::optional<QDateTime> &stop,
                        const QString &projectName = QStringLiteral("Project"));

Models::UploadTask task(Models::UploadTaskType type, int priority, const QDateTime &createdAt,
                        Models::UploadTaskStatus status = Models::UploadTaskStatus::pending);

} // namespace SQLiteStoreFixture
