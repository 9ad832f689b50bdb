#include "TestEnvironment.h"

#include "storage/DayBoundaries.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QDateTime utc(const QString &iso)
{
    return QDateTime::fromString(iso, Qt::ISODateWithMs).toUTC();
}

} // namespace

// Runs under several TZ values; every company zone here differs from the machine's.
class TestDayBoundaries : public QObject
{
    Q_OBJECT

private slots:
    void startsDayAtLocalMidnight_data();
    void startsDayAtLocalMidnight();
    void startsLaterDays_data();
    void startsLaterDays();
    void startOfDayOrSelfKeepsInvalidMoment();
};

void TestDayBoundaries::startsDayAtLocalMidnight_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QDateTime>("start");

    QTest::newRow("last second of a day seven hours ahead")
            << QByteArray("Asia/Bangkok") << utc(u"2025-03-04T16:59:59Z"_s)
            << utc(u"2025-03-03T17:00:00Z"_s);
    QTest::newRow("midnight seven hours ahead begins its own day")
            << QByteArray("Asia/Bangkok") << utc(u"2025-03-04T17:00:00Z"_s)
            << utc(u"2025-03-04T17:00:00Z"_s);
    QTest::newRow("a day behind UTC")
            << QByteArray("Pacific/Honolulu") << utc(u"2025-03-05T09:59:00Z"_s)
            << utc(u"2025-03-04T10:00:00Z"_s);
    QTest::newRow("midnight inside a daylight-saving gap")
            << QByteArray("America/Santiago") << utc(u"2024-09-08T15:00:00Z"_s)
            << utc(u"2024-09-08T04:00:00Z"_s);
    QTest::newRow("the day before a skipped midnight")
            << QByteArray("America/Santiago") << utc(u"2024-09-08T03:59:59Z"_s)
            << utc(u"2024-09-07T04:00:00Z"_s);
    QTest::newRow("moment given in local time")
            << QByteArray("Asia/Kolkata") << utc(u"2025-03-04T18:29:00Z"_s).toLocalTime()
            << utc(u"2025-03-03T18:30:00Z"_s);
}

void TestDayBoundaries::startsDayAtLocalMidnight()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, moment);
    QFETCH(QDateTime, start);

    QCOMPARE(Services::startOfDay(moment, QTimeZone(zone)).toUTC(), start);
    QCOMPARE(Services::startOfDayOrSelf(moment, QTimeZone(zone)).toUTC(), start);
}

void TestDayBoundaries::startsLaterDays_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<int>("days");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<int>("hoursAfterOwnStart");

    QTest::newRow("no days is the day's own start")
            << QByteArray("Asia/Bangkok") << utc(u"2025-03-04T10:00:00Z"_s) << 0
            << utc(u"2025-03-03T17:00:00Z"_s) << 0;
    QTest::newRow("next day seven hours ahead")
            << QByteArray("Asia/Bangkok") << utc(u"2025-03-04T16:59:59Z"_s) << 1
            << utc(u"2025-03-04T17:00:00Z"_s) << 24;
    QTest::newRow("day when the clocks go forward lasts 23 hours")
            << QByteArray("Europe/Berlin") << utc(u"2024-03-31T10:00:00Z"_s) << 1
            << utc(u"2024-03-31T22:00:00Z"_s) << 23;
    QTest::newRow("day when the clocks go back lasts 25 hours")
            << QByteArray("Europe/Berlin") << utc(u"2024-10-27T10:00:00Z"_s) << 1
            << utc(u"2024-10-27T23:00:00Z"_s) << 25;
    QTest::newRow("next day begins inside a daylight-saving gap")
            << QByteArray("America/Santiago") << utc(u"2024-09-07T15:00:00Z"_s) << 1
            << utc(u"2024-09-08T04:00:00Z"_s) << 24;
    QTest::newRow("a week earlier") << QByteArray("Asia/Kolkata") << utc(u"2025-03-04T12:00:00Z"_s)
                                    << -7 << utc(u"2025-02-24T18:30:00Z"_s) << -168;
}

void TestDayBoundaries::startsLaterDays()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, moment);
    QFETCH(int, days);
    QFETCH(QDateTime, start);
    QFETCH(int, hoursAfterOwnStart);

    const QDateTime later = Services::startOfDayAfterDays(moment, days, QTimeZone(zone));

    QCOMPARE(later.toUTC(), start);
    QCOMPARE(Services::startOfDay(moment, QTimeZone(zone)).secsTo(later),
             qint64(hoursAfterOwnStart) * 3600);
}

void TestDayBoundaries::startOfDayOrSelfKeepsInvalidMoment()
{
    const QDateTime invalid;

    QVERIFY(!Services::startOfDay(invalid, QTimeZone("Asia/Bangkok")).isValid());
    QCOMPARE(Services::startOfDayOrSelf(invalid, QTimeZone("Asia/Bangkok")), invalid);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestDayBoundaries)
#include "tst_dayboundaries.moc"
