#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <optional>

namespace Services {

// Today's tracked seconds as the server last counted them, with the company-zone day
// ("yyyy-MM-dd") they belong to. Dates are compared as plain text, which orders that form by day.
struct ServerTodayTotal
{
    int seconds = 0;
    QString date;

    // Reads the total from a heartbeat answer: {"data": {"today_total_seconds": n,
    // "today_date": "..."}}. Anything else gives none; a count that is not a whole number within
    // the int range (or a boolean) reads as 0.
    static std::optional<ServerTodayTotal> fromReply(const QByteArray &body);

    // True when other is present and this total's day comes before other's.
    bool isOlderThan(const std::optional<ServerTodayTotal> &other) const;
    bool isBefore(const QString &otherDate) const;

    // The figure to show for today: the server's count plus what was tracked locally since it
    // arrived, never less than the local count. A missing total, or one of an earlier day, leaves
    // the local count.
    static double effectiveTotal(const std::optional<ServerTodayTotal> &total, const QString &today,
                                 double localNow, double localAtArrival);

    friend bool operator==(const ServerTodayTotal &, const ServerTodayTotal &) = default;
};

} // namespace Services

Q_DECLARE_METATYPE(Services::ServerTodayTotal)
