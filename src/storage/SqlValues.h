#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QVariantList>

#include <optional>

class QSqlQuery;

// How the local database encodes values, shared by the statements of the SQLite store.
namespace Storage::SqlValues {

// Milliseconds since the epoch divided by 1000: whole seconds with the milliseconds as fraction.
double toEpochSeconds(const QDateTime &time);
// Rounds to the millisecond: a plain truncation of seconds * 1000 loses 1 ms on some dates.
QDateTime fromEpochSeconds(double seconds);

// Lower case, with dashes, without braces.
QString uuidText(const QUuid &id);

// A null QString binds as SQL NULL; NOT NULL text columns need the empty text instead.
QString nonNullText(const QString &text);
// Absent values bind as typed SQL NULLs; a present empty value stays an empty value.
QVariant nullableText(const std::optional<QString> &text);
QVariant nullableBytes(const std::optional<QByteArray> &bytes);

// Prepares the statement on the query, binds the values to its "?" placeholders in order and
// runs it. False when preparing or running fails; nothing is reported.
bool run(QSqlQuery &query, const QString &statement, const QVariantList &values = {});
// Binds the values to the "?" placeholders of an already prepared query, in order, and runs it
// again. False when running fails.
bool runPrepared(QSqlQuery &query, const QVariantList &values);
// As run, then moves to the first row: false when the statement fails or gives no row.
bool runForRow(QSqlQuery &query, const QString &statement, const QVariantList &values = {});

} // namespace Storage::SqlValues
