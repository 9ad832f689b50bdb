#include "ui/main/Greetings.h"

#include <QRandomGenerator64>

#include <cmath>

namespace UI::Greetings {

namespace {

const QString kStartFallback = QStringLiteral("Let's get started");

} // namespace

const QStringList &startLines()
{
    static const QStringList lines = {
        QStringLiteral("Let's get started"),
        QStringLiteral("Let's make something memorable"),
        QStringLiteral("Let's make today count"),
        QStringLiteral("Let's do great work today"),
        QStringLiteral("Let's build something amazing"),
        QStringLiteral("Let's get into the zone"),
        QStringLiteral("Let's create something great"),
        QStringLiteral("Let's make every minute count"),
        QStringLiteral("Let's dive in"),
        QStringLiteral("Let's roll up our sleeves"),
        QStringLiteral("Let's turn ideas into reality"),
        QStringLiteral("Let's chase that goal"),
        QStringLiteral("Let's stay consistent today"),
        QStringLiteral("Let's go all in"),
        QStringLiteral("Let's make some progress"),
        QStringLiteral("Let's build momentum"),
        QStringLiteral("Let's sharpen the focus"),
        QStringLiteral("Let's make it a great day"),
        QStringLiteral("Let's start strong"),
        QStringLiteral("Let's hit the ground running"),
        QStringLiteral("Let's keep moving forward"),
        QStringLiteral("Let's make something worth being proud of"),
        QStringLiteral("Let's set the pace"),
        QStringLiteral("Let's give it everything"),
        QStringLiteral("Let's earn today's win"),
        QStringLiteral("Let's craft something special"),
        QStringLiteral("Let's stay sharp today"),
        QStringLiteral("Let's make today legendary"),
        QStringLiteral("Let's bring the energy"),
        QStringLiteral("Let's create something worth remembering"),
        QStringLiteral("Time to focus"),
        QStringLiteral("Time to make progress"),
        QStringLiteral("Time to level up"),
        QStringLiteral("Time to do your best work"),
        QStringLiteral("Time to make it happen"),
        QStringLiteral("Time to put in the work"),
        QStringLiteral("Time to find your flow"),
        QStringLiteral("Time to deliver"),
        QStringLiteral("Time to focus and ship"),
        QStringLiteral("Time to lock in"),
        QStringLiteral("Ready when you are"),
        QStringLiteral("Ready to crush it?"),
        QStringLiteral("Ready to make magic happen?"),
        QStringLiteral("Ready to stack some wins?"),
        QStringLiteral("Ready to bring your A-game?"),
        QStringLiteral("Today's the day"),
        QStringLiteral("Today is yours to shape"),
        QStringLiteral("Today, let's be unstoppable"),
        QStringLiteral("Today, let's do meaningful work"),
        QStringLiteral("Today, show up and shine"),
    };
    return lines;
}

const QStringList &progressLines()
{
    static const QStringList lines = {
        QStringLiteral("{time} making something awesome today"),
        QStringLiteral("{time} of focused work today"),
        QStringLiteral("{time} of meaningful progress today"),
        QStringLiteral("{time} well spent today"),
        QStringLiteral("{time} of deep focus today"),
        QStringLiteral("{time} getting things done today"),
        QStringLiteral("{time} of building momentum today"),
        QStringLiteral("{time} in the zone today"),
        QStringLiteral("{time} closer to your goals today"),
        QStringLiteral("{time} of pure productivity today"),
        QStringLiteral("{time} putting in the work today"),
        QStringLiteral("{time} of doing great work today"),
        QStringLiteral("{time} of small wins adding up today"),
        QStringLiteral("{time} of moving the needle today"),
        QStringLiteral("{time} of making it count today"),
        QStringLiteral("{time} of staying in flow today"),
        QStringLiteral("{time} of showing up today"),
        QStringLiteral("{time} of consistent effort today"),
        QStringLiteral("{time} of pushing forward today"),
        QStringLiteral("{time} of crafting something great today"),
        QStringLiteral("{time} of staying on track today"),
        QStringLiteral("{time} of intentional effort today"),
        QStringLiteral("{time} of creative flow today"),
        QStringLiteral("{time} of dedicated focus today"),
        QStringLiteral("{time} sharpening your craft today"),
        QStringLiteral("{time} of turning ideas into reality today"),
        QStringLiteral("{time} of laser-focused work today"),
        QStringLiteral("{time} of effort that pays off today"),
        QStringLiteral("{time} of leveling up today"),
        QStringLiteral("{time} of finding your rhythm today"),
    };
    return lines;
}

int randomIndex(int count)
{
    if (count < 2)
        return 0;
    // Mask to the bits of count-1 and draw again above it: uniform, unlike a modulo.
    const quint64 limit = quint64(count - 1);
    quint64 mask = limit;
    for (int shift = 1; shift < 64; shift *= 2)
        mask |= mask >> shift;
    quint64 value = 0;
    do {
        value = QRandomGenerator64::global()->generate64() & mask;
    } while (value > limit);
    return int(value);
}

QString randomStartLine()
{
    const QStringList &lines = startLines();
    if (lines.isEmpty())
        return kStartFallback;
    return lines.at(randomIndex(int(lines.size())));
}

std::optional<QString> workedDurationText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 60.0)
        return std::nullopt;
    const qint64 minutes = qint64(seconds / 60.0);
    if (minutes <= 59)
        return minutes == 1 ? QStringLiteral("1 minute")
                            : QStringLiteral("%1 minutes").arg(minutes);
    // std::round rounds halves away from zero: 5400 s is 2 hours.
    const qint64 hours = qint64(std::round(seconds / 3600.0));
    return hours == 1 ? QStringLiteral("1 hour") : QStringLiteral("%1 hours").arg(hours);
}

QString progressLine(int index, double seconds)
{
    const std::optional<QString> worked = workedDurationText(seconds);
    const QStringList &lines = progressLines();
    if (!worked || lines.isEmpty())
        return kStartFallback;
    const int count = int(lines.size());
    QString line = lines.at(((index % count) + count) % count);
    return line.replace(QStringLiteral("{time}"), *worked, Qt::CaseSensitive);
}

} // namespace UI::Greetings
