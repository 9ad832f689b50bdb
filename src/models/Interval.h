#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QUuid>

#include <optional>

namespace Models {

// One uninterrupted stretch of tracked time; stoppedAt is absent while the stretch is open.
struct Interval
{
    QUuid id;
    QDateTime startedAt;
    std::optional<QDateTime> stoppedAt;

    Interval() = default;
    Interval(QUuid id, QDateTime startedAt, std::optional<QDateTime> stoppedAt);

    QJsonObject toJson() const;
    static Interval fromJson(const QJsonObject &object);

    friend bool operator==(const Interval &, const Interval &) = default;
};

} // namespace Models
