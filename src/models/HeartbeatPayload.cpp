#include "models/HeartbeatPayload.h"

#include "models/IsoDateTime.h"
#include "models/Session.h"
#include "storage/ApiTimezone.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Models {

namespace {

QString upperUuid(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonArray intervalArray(const Session &session, bool completed, const QDateTime &now,
                         const QTimeZone &zone)
{
    QJsonArray array;
    for (qsizetype i = 0; i < session.intervals.size(); ++i) {
        const Interval &interval = session.intervals.at(i);
        QJsonValue stop = QJsonValue::Null;
        if (interval.stoppedAt)
            stop = toIsoWithOffset(*interval.stoppedAt, zone);
        else if (completed && i == session.intervals.size() - 1)
            stop = toIsoWithOffset(now, zone);
        array.append(QJsonObject{
                { u"interval_uuid"_s, upperUuid(interval.id) },
                { u"started_at"_s, toIsoWithOffset(interval.startedAt, zone) },
                { u"stopped_at"_s, stop },
        });
    }
    return array;
}

} // namespace

QByteArray buildHeartbeatPayload(const Session &session, const QString &status)
{
    return buildHeartbeatPayload(session, status, QDateTime::currentDateTimeUtc());
}

QByteArray buildHeartbeatPayload(const Session &session, const QString &status,
                                 const QDateTime &now)
{
    const QTimeZone zone = Services::ApiTimezone::zone();
    const bool completed = status == u"completed"_s;
    const QList<Interval> &intervals = session.intervals;
    const QDateTime start = intervals.isEmpty() ? now : intervals.first().startedAt;
    QDateTime end = now;
    if (completed && !intervals.isEmpty() && intervals.last().stoppedAt)
        end = *intervals.last().stoppedAt;
    const double totalSeconds = std::trunc(session.durationSeconds(end));

    const QJsonObject body{
        { u"device_uuid"_s, session.deviceId },
        { u"session_uuid"_s, upperUuid(session.id) },
        { u"task_id"_s, session.projectId },
        { u"started_at"_s, toIsoWithOffset(start, zone) },
        { u"total_seconds"_s, qint64(totalSeconds) },
        { u"mouse_movements"_s, session.mouseCount },
        { u"key_press_count"_s, session.keyboardCount },
        { u"activity_rate"_s, session.encodableActivityScore() },
        { u"status"_s, status },
        { u"intervals"_s, intervalArray(session, completed, now, zone) },
        { u"stopped_at"_s, completed ? QJsonValue(toIsoWithOffset(end, zone)) : QJsonValue() },
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace Models
