#include "TestEnvironment.h"

#include "models/HeartbeatPayload.h"
#include "models/Session.h"
#include "storage/ApiTimezone.h"
#include "storage/Preferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Models;

namespace {

const QUuid sessionId(u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s);
const QUuid firstId(u"1c6d8f1f-4068-4f2b-8e66-4b1d5f1f8b22"_s);
const QUuid lastId(u"2d7e9a2a-5179-4a3c-9f77-5c2e6a2a9c33"_s);
const QDateTime base(QDate(2025, 3, 4), QTime(2, 15, 7, 123), Qt::UTC);
const QDateTime buildTime = base.addSecs(3600);

// Two stretches: 0 to 100.5 s, then from 200 s, open or stopped at the given second.
Session session(std::optional<double> lastStopSeconds, std::optional<int> reported = std::nullopt)
{
    std::optional<QDateTime> lastStop;
    if (lastStopSeconds)
        lastStop = base.addMSecs(qint64(*lastStopSeconds * 1000));
    return Session(sessionId, u"DEVICE-1"_s, u""_s, u"Project"_s,
                   { Interval(firstId, base, base.addMSecs(100500)),
                     Interval(lastId, base.addSecs(200), lastStop) },
                   12, 34, 56.75, SessionStatus::active, std::nullopt, reported);
}

void setCompanyZone(const QString &identifier)
{
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::apiTimezoneIdentifier,
                                              identifier);
}

QJsonObject build(const Session &record, const QString &status)
{
    const QByteArray bytes = buildHeartbeatPayload(record, status, buildTime);
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    // Compact: the bytes are exactly the compact form of what they hold.
    if (bytes != QJsonDocument(object).toJson(QJsonDocument::Compact))
        return {};
    return object;
}

QJsonValue lastIntervalStop(const QJsonObject &body)
{
    return body.value(u"intervals"_s).toArray().last().toObject().value(u"stopped_at"_s);
}

} // namespace

// Runs under several TZ values; the company zone is set apart from them.
class TestHeartbeatPayload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void writesActiveHeartbeat();
    void closesSessionWhenCompleted_data();
    void closesSessionWhenCompleted();
    void treatsOtherStatusTextsAsRunning();
    void keepsEarlierOpenIntervalOpenWhenCompleted();
    void truncatesTotal_data();
    void truncatesTotal();
    void buildsForSessionWithoutIntervals();
    void writesTimesInCompanyZone_data();
    void writesTimesInCompanyZone();
    void readsClockOnceWhenNoTimeGiven();
};

void TestHeartbeatPayload::init()
{
    setCompanyZone(u"Asia/Bangkok"_s);
}

void TestHeartbeatPayload::writesActiveHeartbeat()
{
    const QJsonObject body = build(session(std::nullopt), u"active"_s);

    const QJsonObject expected{
        { u"device_uuid"_s, u"DEVICE-1"_s },
        { u"session_uuid"_s, u"0B5C7E0E-3F57-4E1A-9D55-3A0C4F0F7A11"_s },
        { u"task_id"_s, u""_s },
        { u"started_at"_s, u"2025-03-04T09:15:07+07:00"_s },
        // 100.5 s, then 200 s up to the build time at 3600 s.
        { u"total_seconds"_s, 3500 },
        { u"mouse_movements"_s, 12 },
        { u"key_press_count"_s, 34 },
        { u"activity_rate"_s, 56.75 },
        { u"status"_s, u"active"_s },
        { u"intervals"_s,
          QJsonArray{
                  QJsonObject{ { u"interval_uuid"_s, u"1C6D8F1F-4068-4F2B-8E66-4B1D5F1F8B22"_s },
                               { u"started_at"_s, u"2025-03-04T09:15:07+07:00"_s },
                               { u"stopped_at"_s, u"2025-03-04T09:16:47+07:00"_s } },
                  QJsonObject{ { u"interval_uuid"_s, u"2D7E9A2A-5179-4A3C-9F77-5C2E6A2A9C33"_s },
                               { u"started_at"_s, u"2025-03-04T09:18:27+07:00"_s },
                               { u"stopped_at"_s, QJsonValue() } } } },
        { u"stopped_at"_s, QJsonValue() },
    };
    QCOMPARE(body, expected);
}

void TestHeartbeatPayload::closesSessionWhenCompleted_data()
{
    QTest::addColumn<std::optional<double>>("lastStop");
    QTest::addColumn<QString>("stoppedAt");
    QTest::addColumn<int>("totalSeconds");

    QTest::newRow("open last interval is closed at the build time")
            << std::optional<double>() << u"2025-03-04T10:15:07+07:00"_s << 3500;
    QTest::newRow("closed last interval ends the session at its stop")
            << std::optional<double>(1200.9) << u"2025-03-04T09:35:08+07:00"_s << 1101;
}

void TestHeartbeatPayload::closesSessionWhenCompleted()
{
    QFETCH(std::optional<double>, lastStop);
    QFETCH(QString, stoppedAt);
    QFETCH(int, totalSeconds);

    const QJsonObject body = build(session(lastStop), u"completed"_s);

    QCOMPARE(body.value(u"status"_s), u"completed"_s);
    QCOMPARE(body.value(u"stopped_at"_s), stoppedAt);
    QCOMPARE(lastIntervalStop(body), stoppedAt);
    QCOMPARE(body.value(u"total_seconds"_s), totalSeconds);
}

void TestHeartbeatPayload::treatsOtherStatusTextsAsRunning()
{
    const QJsonObject body = build(session(std::nullopt), u"Completed"_s);

    QCOMPARE(body.value(u"status"_s), u"Completed"_s);
    QCOMPARE(body.value(u"stopped_at"_s), QJsonValue());
    QCOMPARE(lastIntervalStop(body), QJsonValue());
    QCOMPARE(body.value(u"total_seconds"_s), 3500);
}

void TestHeartbeatPayload::keepsEarlierOpenIntervalOpenWhenCompleted()
{
    Session record = session(1200);
    record.intervals.first().stoppedAt.reset();

    const QJsonObject body = build(record, u"completed"_s);

    const QJsonArray intervals = body.value(u"intervals"_s).toArray();
    QCOMPARE(intervals.first().toObject().value(u"stopped_at"_s), QJsonValue());
    QCOMPARE(lastIntervalStop(body), u"2025-03-04T09:35:07+07:00"_s);
    // The open stretch counts up to the session's end, the last stop.
    QCOMPARE(body.value(u"total_seconds"_s), 1200 + 1000);
}

void TestHeartbeatPayload::truncatesTotal_data()
{
    QTest::addColumn<Session>("record");
    QTest::addColumn<int>("totalSeconds");

    const Interval shortStretch(firstId, base, base.addMSecs(59900));
    QTest::newRow("59.9 computed seconds")
            << Session(sessionId, u"D"_s, u"p"_s, u"P"_s, { shortStretch }, 0, 0, 0.0,
                       SessionStatus::active, std::nullopt, std::nullopt)
            << 59;
    QTest::newRow("reported total wins over the intervals") << session(std::nullopt, 7) << 7;
    QTest::newRow("reported total of zero") << session(std::nullopt, 0) << 0;
    Session withoutIntervals = session(std::nullopt, 42);
    withoutIntervals.intervals.clear();
    QTest::newRow("reported total without intervals") << withoutIntervals << 42;
}

void TestHeartbeatPayload::truncatesTotal()
{
    QFETCH(Session, record);
    QFETCH(int, totalSeconds);

    QCOMPARE(build(record, u"active"_s).value(u"total_seconds"_s), totalSeconds);
    QCOMPARE(build(record, u"completed"_s).value(u"total_seconds"_s), totalSeconds);
}

void TestHeartbeatPayload::buildsForSessionWithoutIntervals()
{
    Session record = session(std::nullopt);
    record.intervals.clear();

    const QJsonObject body = build(record, u"completed"_s);

    QCOMPARE(body.value(u"started_at"_s), u"2025-03-04T10:15:07+07:00"_s);
    QCOMPARE(body.value(u"stopped_at"_s), u"2025-03-04T10:15:07+07:00"_s);
    QCOMPARE(body.value(u"intervals"_s), QJsonArray());
    QCOMPARE(body.value(u"total_seconds"_s), 0);
}

void TestHeartbeatPayload::writesTimesInCompanyZone_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("startedAt");
    QTest::addColumn<QString>("stoppedAt");

    QTest::newRow("seven hours ahead") << u"Asia/Bangkok"_s << u"2025-03-04T09:15:07+07:00"_s
                                       << u"2025-03-04T10:15:07+07:00"_s;
    QTest::newRow("UTC writes an offset, not Z")
            << u"UTC"_s << u"2025-03-04T02:15:07+00:00"_s << u"2025-03-04T03:15:07+00:00"_s;
    QTest::newRow("half-hour offset") << u"Asia/Kolkata"_s << u"2025-03-04T07:45:07+05:30"_s
                                      << u"2025-03-04T08:45:07+05:30"_s;
    QTest::newRow("a day behind") << u"America/Santiago"_s << u"2025-03-03T23:15:07-03:00"_s
                                  << u"2025-03-04T00:15:07-03:00"_s;
}

void TestHeartbeatPayload::writesTimesInCompanyZone()
{
    QFETCH(QString, zone);
    QFETCH(QString, startedAt);
    QFETCH(QString, stoppedAt);
    const QJsonObject inBangkok = build(session(std::nullopt), u"completed"_s);
    setCompanyZone(zone);

    QJsonObject body = build(session(std::nullopt), u"completed"_s);

    QCOMPARE(body.value(u"started_at"_s), startedAt);
    QCOMPARE(body.value(u"stopped_at"_s), stoppedAt);
    // Nothing but the written times changes with the zone.
    for (const QString &key : { u"started_at"_s, u"stopped_at"_s, u"intervals"_s })
        body.insert(key, inBangkok.value(key));
    QCOMPARE(body, inBangkok);
}

void TestHeartbeatPayload::readsClockOnceWhenNoTimeGiven()
{
    Session record = session(std::nullopt);
    record.intervals.clear();
    setCompanyZone(u"UTC"_s);
    const QDateTime before = QDateTime::currentDateTimeUtc();

    const QJsonObject body
            = QJsonDocument::fromJson(buildHeartbeatPayload(record, u"completed"_s)).object();

    const QDateTime after = QDateTime::currentDateTimeUtc();
    const QDateTime built
            = QDateTime::fromString(body.value(u"started_at"_s).toString(), Qt::ISODate);
    QVERIFY(built.isValid());
    QCOMPARE(body.value(u"stopped_at"_s), body.value(u"started_at"_s));
    QVERIFY(built >= before.addMSecs(-before.time().msec()));
    QVERIFY(built <= after);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestHeartbeatPayload)
#include "tst_heartbeatpayload.moc"
