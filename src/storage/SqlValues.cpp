#include "storage/SqlValues.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace Storage::SqlValues {

double toEpochSeconds(const QDateTime &time)
{
    return double(time.toMSecsSinceEpoch()) / 1000.0;
}

QDateTime fromEpochSeconds(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qRound64(seconds * 1000.0), Qt::UTC);
}

QString uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

QString nonNullText(const QString &text)
{
    return text.isNull() ? u""_s : text;
}

QVariant nullableText(const std::optional<QString> &text)
{
    if (!text)
        return QVariant(QMetaType::fromType<QString>());
    return nonNullText(*text);
}

QVariant nullableBytes(const std::optional<QByteArray> &bytes)
{
    if (!bytes)
        return QVariant(QMetaType::fromType<QByteArray>());
    // A null QByteArray binds as NULL, which would read back as an absent payload.
    return bytes->isNull() ? QByteArray("") : *bytes;
}

bool run(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

bool runPrepared(QSqlQuery &query, const QVariantList &values)
{
    // By position: a kept query still holds the values of its last run.
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    return query.exec();
}

bool runForRow(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    return run(query, statement, values) && query.next();
}

} // namespace Storage::SqlValues
