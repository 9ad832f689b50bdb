#include "storage/DayBoundaries.h"

namespace Services {

// QDateTime(date, 00:00, zone) is invalid in Qt 6.4 when midnight falls in a gap; startOfDay
// finds the first moment of the day instead.
QDateTime startOfDay(const QDateTime &moment, const QTimeZone &zone)
{
    return moment.toTimeZone(zone).date().startOfDay(zone);
}

QDateTime startOfDayOrSelf(const QDateTime &moment, const QTimeZone &zone)
{
    const QDateTime start = startOfDay(moment, zone);
    return start.isValid() ? start : moment;
}

QDateTime startOfDayAfterDays(const QDateTime &moment, int days, const QTimeZone &zone)
{
    return moment.toTimeZone(zone).date().addDays(days).startOfDay(zone);
}

} // namespace Services
