#pragma once

#include "FakeHrState.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace TestSupport {

// The "data" of the stand-in's screenshot report for one day. The caller holds the state's lock.
class FakeHrReport final
{
public:
    // The report the tests script against: one hour (09:00) with two segments, the sample picture
    // and every uploaded file, whatever the date.
    static QJsonObject canned(const FakeHrState &state, const QString &date);

    // The day as uploaded, in the configuration's zone: every ten-minute segment that heartbeat
    // intervals cover or that holds an uploaded screenshot; its working seconds from the
    // intervals, its activity from the segment batches (while a segment is still open, from its
    // session's latest heartbeat), its pictures (timed by their file names) served by the
    // stand-in. Empty "hours" and a zero summary when nothing was uploaded that day.
    static QJsonObject fromUploads(const FakeHrState &state, const QString &date);

    // The capture time in an uploaded file name ("<SESSION>_2025-03-04T09-15-00+07-00_0.jpg",
    // also with fractions or "Z"); none when the name does not carry one.
    static std::optional<QDateTime> captureTimeOf(const QString &fileName);
};

} // namespace TestSupport
