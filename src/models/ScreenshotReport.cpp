#include "models/ScreenshotReport.h"

#include "models/JsonReaders.h"

namespace Models {

ScreenshotReport::Stats ScreenshotReport::Stats::fromJson(const QJsonObject &object)
{
    Stats stats;
    stats.totalSeconds = requireInt(object, QLatin1StringView("total_seconds"));
    stats.totalSecondsFormatted
            = requireString(object, QLatin1StringView("total_seconds_formatted"));
    stats.mouseMovements = requireInt(object, QLatin1StringView("mouse_movements"));
    stats.keyPressCount = requireInt(object, QLatin1StringView("key_press_count"));
    stats.activityRate = requireDouble(object, QLatin1StringView("activity_rate"));
    return stats;
}

ScreenshotReport::Screenshot ScreenshotReport::Screenshot::fromJson(const QJsonObject &object)
{
    Screenshot screenshot;
    screenshot.url = requireString(object, QLatin1StringView("url"));
    screenshot.urlAvailable = requireBool(object, QLatin1StringView("url_available"));
    screenshot.thumbnailUrl = requireString(object, QLatin1StringView("thumbnail_url"));
    screenshot.thumbnailUrlAvailable
            = requireBool(object, QLatin1StringView("thumbnail_url_available"));
    screenshot.capturedAt = requireString(object, QLatin1StringView("captured_at"));
    return screenshot;
}

ScreenshotReport::Segment ScreenshotReport::Segment::fromJson(const QJsonObject &object)
{
    Segment segment;
    segment.segmentNumber = requireInt(object, QLatin1StringView("segment_number"));
    segment.segmentNumberFrom = requireString(object, QLatin1StringView("segment_number_from"));
    segment.segmentNumberTo = requireString(object, QLatin1StringView("segment_number_to"));
    segment.indicatorColor = requireString(object, QLatin1StringView("indicator_color"));
    segment.stats = readStats(object);
    segment.screenshots
            = decodeObjectList<Screenshot>(requireArray(object, QLatin1StringView("screenshots")));
    return segment;
}

ScreenshotReport::Hour ScreenshotReport::Hour::fromJson(const QJsonObject &object)
{
    Hour hour;
    hour.hour = requireInt(object, QLatin1StringView("hour"));
    hour.stats = readStats(object);
    hour.segments = decodeObjectList<Segment>(requireArray(object, QLatin1StringView("segments")));
    return hour;
}

ScreenshotReport ScreenshotReport::fromJson(const QJsonObject &object)
{
    ScreenshotReport report;
    report.summary = readStats(requireObject(object, QLatin1StringView("summary")));
    report.hours = decodeObjectList<Hour>(requireArray(object, QLatin1StringView("hours")));
    return report;
}

ScreenshotReport::Stats ScreenshotReport::readStats(const QJsonObject &object)
{
    return Stats::fromJson(requireObject(object, QLatin1StringView("stats")));
}

} // namespace Models
