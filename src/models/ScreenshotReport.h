#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace Models {

// One day of the employee's tracked activity as the service reports it. Every key is required
// at every depth: the decoder yields a complete report or throws Models::JsonDecodingError.
// Lists keep the service's order; nothing encodes the report.
struct ScreenshotReport
{
    // The figures of a day, an hour or a segment.
    struct Stats
    {
        int totalSeconds = 0;
        // The service's display text of totalSeconds.
        QString totalSecondsFormatted;
        int mouseMovements = 0;
        int keyPressCount = 0;
        // A percentage.
        double activityRate = 0.0;

        static Stats fromJson(const QJsonObject &object);

        friend bool operator==(const Stats &, const Stats &) = default;
    };

    struct Screenshot
    {
        QString url;
        bool urlAvailable = false;
        QString thumbnailUrl;
        bool thumbnailUrlAvailable = false;
        // The service's text, not parsed.
        QString capturedAt;

        static Screenshot fromJson(const QJsonObject &object);

        friend bool operator==(const Screenshot &, const Screenshot &) = default;
    };

    // One ten-minute segment.
    struct Segment
    {
        int segmentNumber = 0;
        // Display texts of the segment's start and end.
        QString segmentNumberFrom;
        QString segmentNumberTo;
        // The service's activity colour word.
        QString indicatorColor;
        Stats stats;
        QList<Screenshot> screenshots;

        static Segment fromJson(const QJsonObject &object);

        friend bool operator==(const Segment &, const Segment &) = default;
    };

    struct Hour
    {
        int hour = 0;
        Stats stats;
        QList<Segment> segments;

        static Hour fromJson(const QJsonObject &object);

        friend bool operator==(const Hour &, const Hour &) = default;
    };

    Stats summary;
    QList<Hour> hours;

    // Decodes the object under the answer's "data".
    static ScreenshotReport fromJson(const QJsonObject &object);
    // The required "stats" object of the given object.
    static Stats readStats(const QJsonObject &object);

    friend bool operator==(const ScreenshotReport &, const ScreenshotReport &) = default;
};

} // namespace Models
