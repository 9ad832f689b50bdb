#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The statements that create and bring up to date the local database. There is no schema version:
// an older file is recognised by the columns it lacks.
namespace Storage::SQLiteSchema {

struct ColumnAddition
{
    QString table;
    QString column;
    QString statement;
};

// "CREATE TABLE IF NOT EXISTS" for sessions, session_history, upload_queue, activity_segments.
QStringList createTableStatements();
// Columns that files of earlier versions lack, with the ALTER TABLE that adds each.
QList<ColumnAddition> columnAdditions();
// Run after the column additions, since they name the added columns.
QStringList indexStatements();

} // namespace Storage::SQLiteSchema
