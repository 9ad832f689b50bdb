#include "models/ServerDateTime.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace Models {

namespace {

// A date, "T" or a blank, hours and minutes with optional seconds and fraction, and no zone.
const QRegularExpression &zonelessPattern()
{
    static const QRegularExpression pattern = [] {
        QRegularExpression compiled(
                QStringLiteral(R"(^(\d{4}-\d{2}-\d{2})[T ](\d{2}:\d{2}(:\d{2}(\.\d{1,9})?)?)$)"));
        // Compile now, under the static's guard, rather than on the first match of some thread.
        compiled.optimize();
        return compiled;
    }();
    return pattern;
}

qint64 fallbackMilliseconds(double seconds)
{
    // Truncated toward zero; a non-finite or absurd value must not reach the integer cast.
    const double milliseconds = seconds * 1000.0;
    if (!std::isfinite(milliseconds))
        return 0;
    constexpr double limit = 1e15; // about 31,000 years
    return qint64(std::clamp(milliseconds, -limit, limit));
}

} // namespace

QDateTime parseServerDateTime(const QString &text, double fallbackSeconds)
{
    return parseServerDateTime(text, fallbackSeconds, QDateTime::currentDateTimeUtc());
}

QDateTime parseServerDateTime(const QString &text, double fallbackSeconds, const QDateTime &now)
{
    QString candidate = text.trimmed();
    if (const QRegularExpressionMatch match = zonelessPattern().match(candidate); match.hasMatch())
        candidate = match.captured(1) + u'T' + match.captured(2) + QStringLiteral("+07:00");

    QDateTime parsed = QDateTime::fromString(candidate, Qt::ISODateWithMs);
    if (!parsed.isValid())
        parsed = QDateTime::fromString(candidate, Qt::ISODate);
    if (parsed.isValid())
        return parsed;
    return now.toUTC().addMSecs(fallbackMilliseconds(fallbackSeconds));
}

} // namespace Models
