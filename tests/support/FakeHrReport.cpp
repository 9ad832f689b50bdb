#include "FakeHrReport.h"

#include "FakeHrWorkRoutes.h"

#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

constexpr int SegmentSeconds = 600;
constexpr int SegmentsPerDay = 144;

QJsonObject stats(int seconds, int mouse, int keys, double rate)
{
    return QJsonObject{ { u"total_seconds"_s, seconds },
                        { u"total_seconds_formatted"_s,
                          u"%1h %2m"_s.arg(seconds / 3600).arg(seconds % 3600 / 60) },
                        { u"mouse_movements"_s, mouse },
                        { u"key_press_count"_s, keys },
                        { u"activity_rate"_s, rate } };
}

QJsonObject screenshot(const QString &fileName, const QString &capturedAt)
{
    const QString url = u"{origin}/files/"_s + fileName;
    return QJsonObject{ { u"url"_s, url },
                        { u"url_available"_s, true },
                        { u"thumbnail_url"_s, url },
                        { u"thumbnail_url_available"_s, true },
                        { u"captured_at"_s, capturedAt } };
}

QJsonObject segment(int number, const QString &color, const QJsonArray &screenshots,
                    const QJsonObject &segmentStats)
{
    const QTime from = QTime(0, 0).addSecs(number * SegmentSeconds);
    return QJsonObject{ { u"segment_number"_s, number },
                        { u"segment_number_from"_s, from.toString(u"HH:mm"_s) },
                        { u"segment_number_to"_s,
                          from.addSecs(SegmentSeconds).toString(u"HH:mm"_s) },
                        { u"indicator_color"_s, color },
                        { u"stats"_s, segmentStats },
                        { u"screenshots"_s, screenshots } };
}

// One segment's figures while the report is assembled.
struct SegmentFigures
{
    int seconds = 0;
    int mouse = 0;
    int keys = 0;
    double rate = 0;
    bool batched = false;                          // the figures came from a segment batch
    QList<std::pair<QDateTime, QString>> pictures; // capture time, file name

    void add(const SegmentFigures &other)
    {
        // The rate is weighted by working time, so a short segment counts for little.
        const int total = seconds + other.seconds;
        rate = total > 0 ? (rate * seconds + other.rate * other.seconds) / total : 0;
        seconds = total;
        mouse += other.mouse;
        keys += other.keys;
    }
    QJsonObject toStats() const { return stats(seconds, mouse, keys, qRound(rate * 10) / 10.0); }
};

QString indicatorColour(double rate)
{
    if (rate >= 60)
        return u"green"_s;
    if (rate >= 35)
        return u"orange"_s;
    return u"red"_s;
}

QDateTime segmentStart(const QDate &date, int number, const QTimeZone &zone)
{
    if (number >= SegmentsPerDay)
        return QDateTime(date.addDays(1), QTime(0, 0), zone);
    return QDateTime(date, QTime(0, 0).addSecs(number * SegmentSeconds), zone);
}

int segmentOf(const QDateTime &time, const QTimeZone &zone)
{
    const QTime wall = time.toTimeZone(zone).time();
    return (wall.hour() * 60 + wall.minute()) / 10;
}

// The seconds of `intervals` in each segment of `date`.
QMap<int, int> secondsBySegment(const QList<FakeHrInterval> &intervals, const QDate &date,
                                const QTimeZone &zone)
{
    const QDateTime dayStart = segmentStart(date, 0, zone);
    const QDateTime dayEnd = segmentStart(date, SegmentsPerDay, zone);
    QMap<int, int> seconds;
    for (const FakeHrInterval &interval : intervals) {
        QDateTime from = std::max(interval.from, dayStart);
        const QDateTime to = std::min(interval.to, dayEnd);
        while (from < to) {
            const int number = segmentOf(from, zone);
            const QDateTime next = std::min(segmentStart(date, number + 1, zone), to);
            seconds[number] += int(from.secsTo(next));
            from = next;
        }
    }
    return seconds;
}

void addActivity(const FakeHrState &state, const QString &date, QMap<int, SegmentFigures> &segments)
{
    for (const QJsonObject &row : state.uploadedSegments) {
        if (row.value("segment_date"_L1).toString() != date)
            continue;
        const int number = row.value("segment_number"_L1).toInt(-1);
        if (number < 0 || number >= SegmentsPerDay)
            continue;
        SegmentFigures &figures = segments[number];
        figures.mouse = row.value("mouse_movements"_L1).toInt();
        figures.keys = row.value("key_press_count"_L1).toInt();
        figures.rate = row.value("activity_rate"_L1).toDouble();
        figures.batched = true;
    }
}

// Working time per segment from the heartbeats. A segment that no batch has reported yet (the
// client sends a segment once it has closed) takes the session's rate and the counts its latest
// heartbeat has beyond the batched segments, shared by working time.
void addSessions(const FakeHrState &state, const QDate &date, const QTimeZone &zone,
                 QMap<int, SegmentFigures> &segments)
{
    for (auto it = state.sessionIntervals.cbegin(); it != state.sessionIntervals.cend(); ++it) {
        const QMap<int, int> seconds = secondsBySegment(it.value(), date, zone);
        const QJsonObject heartbeat = state.lastHeartbeats.value(it.key());
        int mouse = heartbeat.value("mouse_movements"_L1).toInt();
        int keys = heartbeat.value("key_press_count"_L1).toInt();
        int unbatchedSeconds = 0;
        for (auto part = seconds.cbegin(); part != seconds.cend(); ++part) {
            const SegmentFigures figures = segments.value(part.key());
            if (figures.batched) {
                mouse -= figures.mouse;
                keys -= figures.keys;
            } else {
                unbatchedSeconds += part.value();
            }
        }
        for (auto part = seconds.cbegin(); part != seconds.cend(); ++part) {
            SegmentFigures &figures = segments[part.key()];
            figures.seconds += part.value();
            if (figures.batched || unbatchedSeconds == 0)
                continue;
            const double share = double(part.value()) / unbatchedSeconds;
            figures.rate = heartbeat.value("activity_rate"_L1).toDouble();
            figures.mouse += qRound(std::max(0, mouse) * share);
            figures.keys += qRound(std::max(0, keys) * share);
        }
    }
}

void addPictures(const FakeHrState &state, const QDate &date, const QTimeZone &zone,
                 QMap<int, SegmentFigures> &segments)
{
    for (auto it = state.uploadedFiles.cbegin(); it != state.uploadedFiles.cend(); ++it) {
        const std::optional<QDateTime> captured = FakeHrReport::captureTimeOf(it.key());
        if (!captured || captured->toTimeZone(zone).date() != date)
            continue;
        segments[segmentOf(*captured, zone)].pictures.append({ *captured, it.key() });
    }
}

} // namespace

QJsonObject FakeHrReport::canned(const FakeHrState &state, const QString &date)
{
    const QString sample = FakeHrWorkRoutes::sampleFileName();
    QJsonArray uploaded;
    QStringList names = state.uploadedFiles.keys();
    std::sort(names.begin(), names.end());
    for (const QString &name : names)
        uploaded.append(screenshot(name, date + " 09:14:30"_L1));
    uploaded.prepend(screenshot(sample, date + " 09:12:05"_L1));
    const QJsonArray segments{
        segment(54, u"green"_s, QJsonArray{ screenshot(sample, date + " 09:03:41"_L1) },
                stats(540, 180, 90, 90.0)),
        segment(55, u"orange"_s, uploaded, stats(300, 180, 90, 50.0)),
    };
    const QJsonObject hour{ { u"hour"_s, 9 },
                            { u"stats"_s, stats(840, 360, 180, 70.0) },
                            { u"segments"_s, segments } };
    return QJsonObject{ { u"summary"_s, QJsonObject{ { u"stats"_s, stats(840, 360, 180, 70.0) } } },
                        { u"hours"_s, QJsonArray{ hour } } };
}

QJsonObject FakeHrReport::fromUploads(const FakeHrState &state, const QString &date)
{
    const QTimeZone zone = state.companyZone();
    const QDate calendarDay = QDate::fromString(date, Qt::ISODate);
    QMap<int, SegmentFigures> segments;
    addActivity(state, date, segments);
    addSessions(state, calendarDay, zone, segments);
    addPictures(state, calendarDay, zone, segments);

    QMap<int, QJsonArray> hourSegments;
    QMap<int, SegmentFigures> hours;
    SegmentFigures day;
    for (auto it = segments.begin(); it != segments.end(); ++it) {
        SegmentFigures &figures = it.value();
        if (figures.seconds == 0 && figures.pictures.isEmpty())
            continue; // activity of a segment whose heartbeats never arrived
        std::sort(figures.pictures.begin(), figures.pictures.end());
        QJsonArray pictures;
        for (const auto &[captured, name] : figures.pictures)
            pictures.append(
                    screenshot(name, captured.toTimeZone(zone).toString(u"yyyy-MM-dd HH:mm:ss"_s)));
        const int hour = it.key() / 6;
        hourSegments[hour].append(
                segment(it.key(), indicatorColour(figures.rate), pictures, figures.toStats()));
        hours[hour].add(figures);
        day.add(figures);
    }
    QJsonArray hourArray;
    for (auto it = hours.cbegin(); it != hours.cend(); ++it)
        hourArray.append(QJsonObject{ { u"hour"_s, it.key() },
                                      { u"stats"_s, it.value().toStats() },
                                      { u"segments"_s, hourSegments.value(it.key()) } });
    return QJsonObject{ { u"summary"_s, QJsonObject{ { u"stats"_s, day.toStats() } } },
                        { u"hours"_s, hourArray } };
}

std::optional<QDateTime> FakeHrReport::captureTimeOf(const QString &fileName)
{
    // The client writes the capture time with "-" for ":" so that it can be a file name.
    static const QRegularExpression stamp(
            u"_(\\d{4}-\\d\\d-\\d\\d)T(\\d\\d)-(\\d\\d)-(\\d\\d)(\\.\\d+)?(Z|[+-]\\d\\d-\\d\\d)_\\d+\\.jpg$"_s);
    const QRegularExpressionMatch match = stamp.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    QString offset = match.captured(6);
    if (offset != "Z"_L1)
        offset[3] = u':';
    const QDateTime time = QDateTime::fromString(
            u"%1T%2:%3:%4%5%6"_s.arg(match.captured(1), match.captured(2), match.captured(3),
                                     match.captured(4), match.captured(5), offset),
            Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

} // namespace TestSupport
