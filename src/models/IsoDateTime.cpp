#include "models/IsoDateTime.h"

#include <QByteArray>
#include <QList>

namespace Models {

namespace {

// Writes value as exactly width decimal digits and returns the position after them.
char *writeDigits(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

} // namespace

QString toIsoUtcMilliseconds(const QDateTime &time)
{
    // Qt 6.4 formats ISO text through QString::asprintf, which was most of the cost of encoding a
    // long session. This writes the same text; Qt keeps invalid times and years it would not
    // write with four digits.
    const QDateTime utc = time.toUTC();
    int year = 0;
    int month = 0;
    int day = 0;
    utc.date().getDate(&year, &month, &day);
    if (!utc.isValid() || year < 1 || year > 9999)
        return utc.toString(Qt::ISODateWithMs);
    const QTime clock = utc.time();

    char text[24]; // yyyy-MM-ddTHH:mm:ss.zzzZ
    char *out = writeDigits(text, year, 4);
    *out++ = '-';
    out = writeDigits(out, month, 2);
    *out++ = '-';
    out = writeDigits(out, day, 2);
    *out++ = 'T';
    out = writeDigits(out, clock.hour(), 2);
    *out++ = ':';
    out = writeDigits(out, clock.minute(), 2);
    *out++ = ':';
    out = writeDigits(out, clock.second(), 2);
    *out++ = '.';
    out = writeDigits(out, clock.msec(), 3);
    *out = 'Z';
    return QString::fromLatin1(text, sizeof text);
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

bool isUtcZone(const QTimeZone &zone)
{
    static const QList<QByteArray> utcIdentifiers{ "UTC",           "Etc/UTC",  "Etc/UCT",
                                                   "Etc/Universal", "Etc/Zulu", "UCT",
                                                   "Universal",     "Zulu" };
    return zone.isValid() && utcIdentifiers.contains(zone.id());
}

QString toIsoSecondsInZone(const QDateTime &time, const QTimeZone &zone)
{
    // Qt::ISODate drops the milliseconds. Qt 6.4 writes "+00:00" for every QTimeZone, the UTC
    // zone included; only a Qt::UTC date-time prints "Z".
    if (isUtcZone(zone))
        return time.toUTC().toString(Qt::ISODate);
    return toIsoWithOffset(time, zone);
}

} // namespace Models
