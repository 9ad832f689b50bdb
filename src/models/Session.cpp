#include "models/Session.h"

#include "models/IsoDateTime.h"
#include "models/JsonReaders.h"

#include <QJsonArray>

#include <cmath>
#include <utility>

namespace Models {

namespace {
constexpr QLatin1StringView idKey("id");
constexpr QLatin1StringView deviceIdKey("deviceId");
constexpr QLatin1StringView projectIdKey("projectId");
constexpr QLatin1StringView projectNameKey("projectName");
constexpr QLatin1StringView intervalsKey("intervals");
constexpr QLatin1StringView mouseCountKey("mouseCount");
constexpr QLatin1StringView keyboardCountKey("keyboardCount");
constexpr QLatin1StringView activityScoreKey("activityScore");
constexpr QLatin1StringView statusKey("status");
constexpr QLatin1StringView idleDiscardCutoffAtKey("idleDiscardCutoffAt");
constexpr QLatin1StringView reportedTotalSecondsKey("reportedTotalSeconds");
} // namespace

Session::Session(QUuid id, QString deviceId, QString projectId, QString projectName,
                 QList<Interval> intervals, int mouseCount, int keyboardCount, double activityScore,
                 SessionStatus status, std::optional<QDateTime> idleDiscardCutoffAt,
                 std::optional<int> reportedTotalSeconds)
    : id(id)
    , deviceId(std::move(deviceId))
    , projectId(std::move(projectId))
    , projectName(std::move(projectName))
    , intervals(std::move(intervals))
    , mouseCount(mouseCount)
    , keyboardCount(keyboardCount)
    , activityScore(activityScore)
    , status(status)
    , idleDiscardCutoffAt(std::move(idleDiscardCutoffAt))
    , reportedTotalSeconds(reportedTotalSeconds)
{
}

double Session::computedDurationSeconds(const QDateTime &now) const
{
    double total = 0.0;
    for (const Interval &interval : intervals) {
        const QDateTime &end = interval.stoppedAt ? *interval.stoppedAt : now;
        const double seconds = double(interval.startedAt.msecsTo(end)) / 1000.0;
        if (seconds > 0.0)
            total += seconds;
    }
    return total;
}

double Session::durationSeconds(const QDateTime &now) const
{
    if (reportedTotalSeconds)
        return double(*reportedTotalSeconds);
    return computedDurationSeconds(now);
}

double Session::encodableActivityScore() const
{
    return std::isfinite(activityScore) ? activityScore : 0.0;
}

QJsonObject Session::toJson() const
{
    QJsonArray intervalArray;
    for (const Interval &interval : intervals)
        intervalArray.append(interval.toJson());

    QJsonObject object{
        { idKey, id.toString(QUuid::WithoutBraces) },
        { deviceIdKey, deviceId },
        { projectIdKey, projectId },
        { projectNameKey, projectName },
        { intervalsKey, intervalArray },
        { mouseCountKey, mouseCount },
        { keyboardCountKey, keyboardCount },
        { activityScoreKey, encodableActivityScore() },
        { statusKey, sessionStatusToString(status) },
    };
    if (idleDiscardCutoffAt)
        object.insert(idleDiscardCutoffAtKey, toIsoUtcMilliseconds(*idleDiscardCutoffAt));
    if (reportedTotalSeconds)
        object.insert(reportedTotalSecondsKey, *reportedTotalSeconds);
    return object;
}

Session Session::fromJson(const QJsonObject &object)
{
    Session session;
    session.id = QUuid::fromString(requireString(object, idKey));
    session.deviceId = requireString(object, deviceIdKey);
    session.projectId = requireString(object, projectIdKey);
    session.projectName = requireString(object, projectNameKey);
    if (const auto array = optionalArray(object, intervalsKey))
        session.intervals = decodeObjectList<Interval>(*array);
    session.mouseCount = requireInt(object, mouseCountKey);
    session.keyboardCount = requireInt(object, keyboardCountKey);
    session.activityScore = requireDouble(object, activityScoreKey);
    session.status = sessionStatusFromString(requireString(object, statusKey));
    if (const auto cutoff = optionalString(object, idleDiscardCutoffAtKey))
        session.idleDiscardCutoffAt = fromIsoUtcMilliseconds(*cutoff);
    session.reportedTotalSeconds = optionalInt(object, reportedTotalSecondsKey);
    return session;
}

} // namespace Models
