#include "DecodingFailure.h"
#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/ScreenshotReport.h"

#include <QJsonArray>
#include <QTest>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject statsJson(int seconds)
{
    return QJsonObject{ { u"total_seconds"_s, seconds },
                        { u"total_seconds_formatted"_s, u"%1s"_s.arg(seconds) },
                        { u"mouse_movements"_s, 12 },
                        { u"key_press_count"_s, 34 },
                        { u"activity_rate"_s, 56.5 } };
}

QJsonObject screenshotJson(const QString &name)
{
    return QJsonObject{ { u"url"_s, u"https://img.example.com/"_s + name },
                        { u"url_available"_s, true },
                        { u"thumbnail_url"_s, u"https://img.example.com/t/"_s + name },
                        { u"thumbnail_url_available"_s, false },
                        { u"captured_at"_s, u"2025-03-04 09:01:02"_s } };
}

// A day with one hour of one segment holding two screenshots, and non-object elements in every
// list, which are skipped.
QJsonObject validReport()
{
    const QJsonObject segment{
        { u"segment_number"_s, 54 },
        { u"segment_number_from"_s, u"09:00"_s },
        { u"segment_number_to"_s, u"09:10"_s },
        { u"indicator_color"_s, u"green"_s },
        { u"stats"_s, statsJson(600) },
        { u"screenshots"_s,
          QJsonArray{ screenshotJson(u"a.jpg"_s), 3, screenshotJson(u"b.jpg"_s) } },
    };
    const QJsonObject hour{ { u"hour"_s, 9 },
                            { u"stats"_s, statsJson(600) },
                            { u"segments"_s, QJsonArray{ u"x"_s, segment } } };
    return QJsonObject{ { u"summary"_s, QJsonObject{ { u"stats"_s, statsJson(3600) } } },
                        { u"hours"_s, QJsonArray{ QJsonValue::Null, hour } } };
}

// The value with the element at path ("hours/1/stats/total_seconds") replaced, or removed
// when the replacement is undefined.
QJsonValue patched(const QJsonValue &value, QStringList path, const QJsonValue &replacement)
{
    const QString step = path.takeFirst();
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        const qsizetype index = step.toInt();
        if (path.isEmpty())
            array.replace(index, replacement);
        else
            array.replace(index, patched(array.at(index), path, replacement));
        return array;
    }
    QJsonObject object = value.toObject();
    if (path.isEmpty() && replacement.isUndefined())
        object.remove(step);
    else if (path.isEmpty())
        object.insert(step, replacement);
    else
        object.insert(step, patched(object.value(step), path, replacement));
    return object;
}

QJsonObject reportWith(const QString &path, const QJsonValue &replacement)
{
    return patched(validReport(), path.split(u'/'), replacement).toObject();
}

const QString firstScreenshot = u"hours/1/segments/1/screenshots/0/"_s;

} // namespace

class TestScreenshotReport : public QObject
{
    Q_OBJECT

private slots:
    void decodesValidReport();
    void acceptsEmptyLists_data();
    void acceptsEmptyLists();
    void readsFractionalSecondsAsZero();
    void rejectsBadReports_data();
    void rejectsBadReports();
};

void TestScreenshotReport::decodesValidReport()
{
    const ScreenshotReport report = ScreenshotReport::fromJson(validReport());

    QCOMPARE(report.summary, (ScreenshotReport::Stats{ 3600, u"3600s"_s, 12, 34, 56.5 }));
    QCOMPARE(report.hours.size(), 1);
    const ScreenshotReport::Hour &hour = report.hours.first();
    QCOMPARE(hour.hour, 9);
    QCOMPARE(hour.stats.totalSeconds, 600);
    QCOMPARE(hour.segments.size(), 1);
    const ScreenshotReport::Segment &segment = hour.segments.first();
    QCOMPARE(segment.segmentNumber, 54);
    QCOMPARE(segment.segmentNumberFrom, u"09:00"_s);
    QCOMPARE(segment.segmentNumberTo, u"09:10"_s);
    QCOMPARE(segment.indicatorColor, u"green"_s);
    QCOMPARE(segment.stats.totalSecondsFormatted, u"600s"_s);
    QCOMPARE(segment.screenshots.size(), 2);
    QCOMPARE(segment.screenshots.at(1),
             (ScreenshotReport::Screenshot{ u"https://img.example.com/b.jpg"_s, true,
                                            u"https://img.example.com/t/b.jpg"_s, false,
                                            u"2025-03-04 09:01:02"_s }));
}

void TestScreenshotReport::acceptsEmptyLists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("hours");

    QTest::newRow("no hours") << u"hours"_s << 0;
    QTest::newRow("hour without segments") << u"hours/1/segments"_s << 1;
    QTest::newRow("segment without screenshots") << u"hours/1/segments/1/screenshots"_s << 1;
}

void TestScreenshotReport::acceptsEmptyLists()
{
    QFETCH(QString, path);
    QFETCH(int, hours);

    const ScreenshotReport report = ScreenshotReport::fromJson(reportWith(path, QJsonArray()));

    QCOMPARE(report.hours.size(), hours);
}

void TestScreenshotReport::readsFractionalSecondsAsZero()
{
    const ScreenshotReport report
            = ScreenshotReport::fromJson(reportWith(u"summary/stats/total_seconds"_s, 600.5));

    QCOMPARE(report.summary.totalSeconds, 0);
}

void TestScreenshotReport::rejectsBadReports_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("message");

    const QJsonValue removed(QJsonValue::Undefined);
    QTest::newRow("no hours") << reportWith(u"hours"_s, removed)
                              << u"Missing required field: hours"_s;
    QTest::newRow("summary without stats")
            << reportWith(u"summary/stats"_s, removed) << u"Missing required field: stats"_s;
    QTest::newRow("segment without screenshots")
            << reportWith(u"hours/1/segments/1/screenshots"_s, removed)
            << u"Missing required field: screenshots"_s;
    QTest::newRow("url_available as 1") << reportWith(firstScreenshot + u"url_available"_s, 1)
                                        << u"Field 'url_available' has wrong type, expected bool"_s;
    QTest::newRow("null url while unavailable")
            << patched(reportWith(firstScreenshot + u"url_available"_s, false),
                       (firstScreenshot + u"url"_s).split(u'/'), QJsonValue::Null)
                       .toObject()
            << u"Field 'url' has wrong type, expected string"_s;
    QTest::newRow("total seconds as text")
            << reportWith(u"hours/1/stats/total_seconds"_s, u"600"_s)
            << u"Field 'total_seconds' has wrong type, expected int"_s;
    QTest::newRow("activity rate as text")
            << reportWith(u"hours/1/segments/1/stats/activity_rate"_s, u"56.5"_s)
            << u"Field 'activity_rate' has wrong type, expected double"_s;
    QTest::newRow("segments as object") << reportWith(u"hours/1/segments"_s, QJsonObject())
                                        << u"Field 'segments' has wrong type, expected array"_s;

    const QJsonObject json
            = patched(reportWith(u"hours"_s, removed), { u"summary"_s, u"stats"_s }, QJsonObject())
                      .toObject();
    QTest::newRow("summary named before hours")
            << json << u"Missing required field: total_seconds"_s;
    QTest::newRow("segment colour named before its stats")
            << patched(reportWith(u"hours/1/segments/1/stats"_s, removed),
                       { u"hours"_s, u"1"_s, u"segments"_s, u"1"_s, u"indicator_color"_s }, 2)
                       .toObject()
            << u"Field 'indicator_color' has wrong type, expected string"_s;
}

void TestScreenshotReport::rejectsBadReports()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, message);

    QCOMPARE(TestSupport::decodingFailureOf([&] { ScreenshotReport::fromJson(json); }), message);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestScreenshotReport)
#include "tst_screenshotreport.moc"
