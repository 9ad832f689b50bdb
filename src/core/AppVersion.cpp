#include "core/AppVersion.h"

#include <algorithm>

namespace Core {

namespace {

constexpr int buildNumber = 11;

int leadingNumber(QStringView part)
{
    qsizetype end = 0;
    while (end < part.size() && part.at(end).isDigit())
        ++end;
    // toInt takes ASCII digits only and refuses an overflow; either failure counts as 0.
    bool ok = false;
    const int value = part.first(end).toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

QString appVersion()
{
    return QStringLiteral("1.4.3");
}

QString appBuildNumber()
{
    return QString::number(buildNumber);
}

QList<int> parseVersion(const QString &text)
{
    QList<int> numbers;
    const auto parts = QStringView(text).split(u'.');
    numbers.reserve(parts.size());
    for (const QStringView part : parts)
        numbers.append(leadingNumber(part));
    return numbers;
}

bool isVersionLower(const QString &a, const QString &b)
{
    const QList<int> pa = parseVersion(a);
    const QList<int> pb = parseVersion(b);
    const qsizetype n = std::max(pa.size(), pb.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int x = i < pa.size() ? pa.at(i) : 0;
        const int y = i < pb.size() ? pb.at(i) : 0;
        if (x != y)
            return x < y;
    }
    return false;
}

} // namespace Core
