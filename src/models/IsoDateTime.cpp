#include "models/IsoDateTime.h"

namespace Models {

QString toIsoUtcMilliseconds(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromIsoUtcMilliseconds(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

QString toIsoWithOffset(const QDateTime &time, const QTimeZone &zone)
{
    // Only a Qt::UTC date-time prints "Z"; one converted to any named zone, "UTC" included,
    // prints its offset.
    return time.toTimeZone(zone).toString(Qt::ISODate);
}

} // namespace Models
