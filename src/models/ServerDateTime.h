#pragma once

#include <QDateTime>
#include <QString>

namespace Models {

// Reads a date-time text of the service. A text without a zone is the service's local time,
// UTC+07:00; a text with a zone keeps it. A text that does not parse, the empty text included,
// gives now (UTC) plus the fallback seconds, truncated to whole milliseconds. Never fails; safe
// on any thread.
QDateTime parseServerDateTime(const QString &text, double fallbackSeconds);
// The same with the caller's current time, so the fallback is exact.
QDateTime parseServerDateTime(const QString &text, double fallbackSeconds, const QDateTime &now);

} // namespace Models
