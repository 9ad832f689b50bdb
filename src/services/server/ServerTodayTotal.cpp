#include "services/server/ServerTodayTotal.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Services {

std::optional<ServerTodayTotal> ServerTodayTotal::fromReply(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;

    const QJsonValue data = document.object().value("data"_L1);
    if (!data.isObject())
        return std::nullopt;
    const QJsonValue seconds = data.toObject().value("today_total_seconds"_L1);
    const QJsonValue date = data.toObject().value("today_date"_L1);
    if (!(seconds.isDouble() || seconds.isBool()) || !date.isString())
        return std::nullopt;

    // QJsonValue::toInt falls back to the default for booleans, fractions and out-of-range numbers.
    return ServerTodayTotal{ seconds.toInt(0), date.toString() };
}

bool ServerTodayTotal::isOlderThan(const std::optional<ServerTodayTotal> &other) const
{
    return other && isBefore(other->date);
}

bool ServerTodayTotal::isBefore(const QString &otherDate) const
{
    return QString::compare(date, otherDate, Qt::CaseSensitive) < 0;
}

double ServerTodayTotal::effectiveTotal(const std::optional<ServerTodayTotal> &total,
                                        const QString &today, double localNow,
                                        double localAtArrival)
{
    if (!total || total->isBefore(today))
        return localNow;
    const double serverBased = total->seconds + std::max(0.0, localNow - localAtArrival);
    return std::max(serverBased, localNow);
}

} // namespace Services
