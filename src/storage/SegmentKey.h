#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace Services {

// One ten-minute activity segment of a local day in the company zone.
struct SegmentKey
{
    // "yyyy-MM-dd", the local date.
    QString date;
    // 0 to 143: slot n covers local clock times from n × 10 minutes after midnight up to, not
    // including, (n + 1) × 10 minutes.
    int number = 0;

    friend bool operator==(const SegmentKey &, const SegmentKey &) = default;
};

// The segment the moment falls in; seconds and milliseconds do not count. An invalid moment gives
// an empty date and number 0.
SegmentKey segmentKeyAt(const QDateTime &moment, const QTimeZone &zone);

} // namespace Services
