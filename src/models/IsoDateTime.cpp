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

} // namespace Models
