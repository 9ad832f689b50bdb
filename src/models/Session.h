#pragma once

#include "models/Interval.h"
#include "models/SessionStatus.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace Models {

// One work session. Created and changed only by the session engine; its JSON form is the stored
// payload of the session tables, so old rows must keep decoding.
struct Session
{
    QUuid id;
    QString deviceId;
    QString projectId;
    QString projectName;
    QList<Interval> intervals;
    int mouseCount = 0;
    int keyboardCount = 0;
    double activityScore = 0.0;
    SessionStatus status = SessionStatus::active;
    // The last user input before an idle pause, kept until the idle decision is made.
    std::optional<QDateTime> idleDiscardCutoffAt;
    // When present, the session's duration in whole seconds, replacing the sum of the intervals.
    std::optional<int> reportedTotalSeconds;

    Session() = default;
    Session(QUuid id, QString deviceId, QString projectId, QString projectName,
            QList<Interval> intervals, int mouseCount, int keyboardCount, double activityScore,
            SessionStatus status, std::optional<QDateTime> idleDiscardCutoffAt,
            std::optional<int> reportedTotalSeconds);

    // Seconds with millisecond precision; an open interval counts up to now (UTC, given by the
    // caller), an interval that ends before it starts counts nothing.
    double computedDurationSeconds(const QDateTime &now) const;
    double durationSeconds(const QDateTime &now) const;
    // The score as JSON carries it: JSON has no form for a non-finite number and Qt would write
    // null, which would make the stored session undecodable, so such a score is written as 0.
    double encodableActivityScore() const;

    QJsonObject toJson() const;
    static Session fromJson(const QJsonObject &object);

    friend bool operator==(const Session &, const Session &) = default;
};

} // namespace Models
