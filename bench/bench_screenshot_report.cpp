#include "models/ScreenshotReport.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <benchmark/benchmark.h>

namespace {

QJsonObject statsJson(int seconds)
{
    return QJsonObject{ { QStringLiteral("total_seconds"), seconds },
                        { QStringLiteral("total_seconds_formatted"),
                          QStringLiteral("%1m").arg(seconds / 60) },
                        { QStringLiteral("mouse_movements"), 420 },
                        { QStringLiteral("key_press_count"), 1337 },
                        { QStringLiteral("activity_rate"), 73.25 } };
}

QJsonObject screenshotJson(int hour, int segment, int shot)
{
    const QString name = QStringLiteral("%1-%2-%3.jpg").arg(hour).arg(segment).arg(shot);
    return QJsonObject{
        { QStringLiteral("url"), QStringLiteral("https://img.example.com/full/") + name },
        { QStringLiteral("url_available"), true },
        { QStringLiteral("thumbnail_url"),
          QStringLiteral("https://img.example.com/thumb/") + name },
        { QStringLiteral("thumbnail_url_available"), true },
        { QStringLiteral("captured_at"),
          QStringLiteral("2025-03-04 %1:%2:07")
                  .arg(hour, 2, 10, QLatin1Char('0'))
                  .arg(segment * 10 + shot, 2, 10, QLatin1Char('0')) },
    };
}

// A full day as the service reports it: 24 hours of 6 segments with 3 screenshots each.
QJsonObject dayReport()
{
    QJsonArray hours;
    for (int hour = 0; hour < 24; ++hour) {
        QJsonArray segments;
        for (int segment = 0; segment < 6; ++segment) {
            QJsonArray screenshots;
            for (int shot = 0; shot < 3; ++shot)
                screenshots.append(screenshotJson(hour, segment, shot));
            segments.append(
                    QJsonObject{ { QStringLiteral("segment_number"), hour * 6 + segment },
                                 { QStringLiteral("segment_number_from"),
                                   QStringLiteral("%1:%20").arg(hour).arg(segment) },
                                 { QStringLiteral("segment_number_to"),
                                   QStringLiteral("%1:%29").arg(hour).arg(segment) },
                                 { QStringLiteral("indicator_color"), QStringLiteral("green") },
                                 { QStringLiteral("stats"), statsJson(600) },
                                 { QStringLiteral("screenshots"), screenshots } });
        }
        hours.append(QJsonObject{ { QStringLiteral("hour"), hour },
                                  { QStringLiteral("stats"), statsJson(3600) },
                                  { QStringLiteral("segments"), segments } });
    }
    return QJsonObject{ { QStringLiteral("summary"),
                          QJsonObject{ { QStringLiteral("stats"), statsJson(86400) } } },
                        { QStringLiteral("hours"), hours } };
}

qsizetype screenshotCount(const Models::ScreenshotReport &report)
{
    qsizetype count = 0;
    for (const Models::ScreenshotReport::Hour &hour : report.hours) {
        for (const Models::ScreenshotReport::Segment &segment : hour.segments)
            count += segment.screenshots.size();
    }
    return count;
}

void screenshotReportFromJson(benchmark::State &state)
{
    const QJsonObject json = dayReport();
    const qsizetype screenshots = screenshotCount(Models::ScreenshotReport::fromJson(json));
    if (screenshots != 24 * 6 * 3)
        state.SkipWithError("the fixture does not decode to a full day");
    state.counters["screenshots"] = double(screenshots);
    for (auto _ : state)
        benchmark::DoNotOptimize(Models::ScreenshotReport::fromJson(json));
}
BENCHMARK(screenshotReportFromJson)->Unit(benchmark::kMicrosecond);

// What the fetch does with an answer body: parse the text, then decode.
void screenshotReportFromBytes(benchmark::State &state)
{
    const QByteArray body = QJsonDocument(QJsonObject{ { QStringLiteral("data"), dayReport() } })
                                    .toJson(QJsonDocument::Compact);
    state.counters["bytes"] = double(body.size());
    for (auto _ : state) {
        const QJsonObject root = QJsonDocument::fromJson(body).object();
        benchmark::DoNotOptimize(
                Models::ScreenshotReport::fromJson(root.value(QStringLiteral("data")).toObject()));
    }
}
BENCHMARK(screenshotReportFromBytes)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
