#pragma once

#include <QDateTime>
#include <QTimeZone>

// Local midnights in a given zone (normally the company zone). Moments are compared by instant.
// On a day whose midnight falls in a daylight-saving gap, the day begins at the first moment that
// exists, which is the instant midnight names with the offset in force before the transition.
namespace Services {

QDateTime startOfDay(const QDateTime &moment, const QTimeZone &zone);
// startOfDay, or the moment itself when that gives no valid date-time (an invalid moment).
QDateTime startOfDayOrSelf(const QDateTime &moment, const QTimeZone &zone);
// The midnight that begins the local day `days` days after the moment's local day.
QDateTime startOfDayAfterDays(const QDateTime &moment, int days, const QTimeZone &zone);

} // namespace Services
