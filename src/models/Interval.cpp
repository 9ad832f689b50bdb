#include "models/Interval.h"

#include "models/IsoDateTime.h"
#include "models/JsonReaders.h"

#include <utility>

namespace Models {

namespace {
constexpr QLatin1StringView idKey("id");
constexpr QLatin1StringView startedAtKey("startedAt");
constexpr QLatin1StringView stoppedAtKey("stoppedAt");
} // namespace

Interval::Interval(QUuid id, QDateTime startedAt, std::optional<QDateTime> stoppedAt)
    : id(id)
    , startedAt(std::move(startedAt))
    , stoppedAt(std::move(stoppedAt))
{
}

QJsonObject Interval::toJson() const
{
    QJsonObject object{
        { idKey, id.toString(QUuid::WithoutBraces) },
        { startedAtKey, toIsoUtcMilliseconds(startedAt) },
    };
    if (stoppedAt)
        object.insert(stoppedAtKey, toIsoUtcMilliseconds(*stoppedAt));
    return object;
}

Interval Interval::fromJson(const QJsonObject &object)
{
    Interval interval;
    interval.id = QUuid::fromString(requireString(object, idKey));
    interval.startedAt = fromIsoUtcMilliseconds(requireString(object, startedAtKey));
    if (const auto stopped = optionalString(object, stoppedAtKey))
        interval.stoppedAt = fromIsoUtcMilliseconds(*stopped);
    return interval;
}

} // namespace Models
