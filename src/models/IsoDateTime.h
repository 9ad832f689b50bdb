#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// The two text forms of times. Local records: UTC, ISO 8601 with milliseconds and "Z".
namespace Models {

QString toIsoUtcMilliseconds(const QDateTime &time);
// Reads the form above (any ISO 8601 offset is accepted); an unparsable text gives an invalid time.
QDateTime fromIsoUtcMilliseconds(const QString &text);

// The form the session bodies send: the time in the given zone, ISO 8601 to the second (the
// milliseconds are dropped, not rounded) with the zone's offset, for example
// 2025-03-04T09:15:00+07:00; a UTC zone writes "+00:00", never "Z".
QString toIsoWithOffset(const QDateTime &time, const QTimeZone &zone);
// The same moment written for file names and their stamps: to the second in the zone, with "Z"
// when isUtcZone, else with its offset, e.g. 2025-03-04T02:15:00Z.
QString toIsoSecondsInZone(const QDateTime &time, const QTimeZone &zone);

// Whether the zone is UTC itself: "UTC" or one of its aliases ("Etc/UTC", "Zulu", ...). A zone that
// merely has offset 0 at some moment (Europe/London in winter) is not.
bool isUtcZone(const QTimeZone &zone);

} // namespace Models
