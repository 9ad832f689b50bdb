#include "TestEnvironment.h"

#include "models/IsoDateTime.h"

#include <QTest>
#include <QTimeZone>

using namespace Models;
using namespace Qt::StringLiterals;

// Runs under several TZ values, so local times convert by different offsets.
class TestIsoDateTime : public QObject
{
    Q_OBJECT

private slots:
    void writesUtcWithMillisecondsAsQtDoes_data();
    void writesUtcWithMillisecondsAsQtDoes();
    void writesZoneOffsetOrZ_data();
    void writesZoneOffsetOrZ();
};

void TestIsoDateTime::writesUtcWithMillisecondsAsQtDoes_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    const QDate day(2025, 3, 4);
    QTest::newRow("UTC time") << QDateTime(day, QTime(2, 15, 7, 123), Qt::UTC)
                              << u"2025-03-04T02:15:07.123Z"_s;
    QTest::newRow("whole second keeps three zeros")
            << QDateTime(day, QTime(0, 0), Qt::UTC) << u"2025-03-04T00:00:00.000Z"_s;
    QTest::newRow("zone time converted to the previous UTC day")
            << QDateTime(day, QTime(6, 59, 59, 9), QTimeZone("Asia/Bangkok"))
            << u"2025-03-03T23:59:59.009Z"_s;
    QTest::newRow("local time converted") << QDateTime(day, QTime(12, 30, 5, 40), Qt::LocalTime)
                                          << QDateTime(day, QTime(12, 30, 5, 40), Qt::LocalTime)
                                                     .toUTC()
                                                     .toString(Qt::ISODateWithMs);
    QTest::newRow("first year padded to four digits")
            << QDateTime(QDate(1, 1, 1), QTime(1, 2, 3, 4), Qt::UTC)
            << u"0001-01-01T01:02:03.004Z"_s;
    QTest::newRow("last millisecond of year 9999")
            << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)
            << u"9999-12-31T23:59:59.999Z"_s;
    // Qt writes no text for years it cannot give four digits, nor for an invalid time.
    QTest::newRow("year 10000") << QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC) << u""_s;
    QTest::newRow("year before the first")
            << QDateTime(QDate(-1, 12, 31), QTime(0, 0), Qt::UTC) << u""_s;
    QTest::newRow("invalid time") << QDateTime() << u""_s;
}

void TestIsoDateTime::writesUtcWithMillisecondsAsQtDoes()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);

    const QString text = toIsoUtcMilliseconds(time);

    QCOMPARE(text, expected);
    QCOMPARE(text, time.toUTC().toString(Qt::ISODateWithMs));
    if (time.isValid() && !text.isEmpty())
        QCOMPARE(fromIsoUtcMilliseconds(text), time);
}

void TestIsoDateTime::writesZoneOffsetOrZ_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<bool>("utc");
    QTest::addColumn<QString>("expected");

    const QDateTime winter(QDate(2025, 1, 31), QTime(2, 5, 0, 999), Qt::UTC);
    const QDateTime summer(QDate(2025, 7, 1), QTime(2, 5, 0), Qt::UTC);
    QTest::newRow("Bangkok") << "Asia/Bangkok"_ba << winter << false
                             << u"2025-01-31T09:05:00+07:00"_s;
    QTest::newRow("New York, behind UTC")
            << "America/New_York"_ba << winter << false << u"2025-01-30T21:05:00-05:00"_s;
    QTest::newRow("half-hour offset")
            << "Asia/Kolkata"_ba << winter << false << u"2025-01-31T07:35:00+05:30"_s;
    QTest::newRow("London in winter keeps its zero offset")
            << "Europe/London"_ba << winter << false << u"2025-01-31T02:05:00+00:00"_s;
    QTest::newRow("London in summer")
            << "Europe/London"_ba << summer << false << u"2025-07-01T03:05:00+01:00"_s;
    QTest::newRow("time given in another zone")
            << "UTC"_ba << winter.toTimeZone(QTimeZone("Asia/Tokyo")) << true
            << u"2025-01-31T02:05:00Z"_s;
    for (const QByteArray &alias : { "UTC"_ba, "Etc/UTC"_ba, "Etc/UCT"_ba, "Etc/Universal"_ba,
                                     "Etc/Zulu"_ba, "UCT"_ba, "Universal"_ba, "Zulu"_ba }) {
        QTest::newRow(alias.constData()) << alias << winter << true << u"2025-01-31T02:05:00Z"_s;
    }
}

void TestIsoDateTime::writesZoneOffsetOrZ()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, time);
    QFETCH(bool, utc);
    QFETCH(QString, expected);
    const QTimeZone timeZone(zone);
    QVERIFY(timeZone.isValid());

    QCOMPARE(isUtcZone(timeZone), utc);
    QCOMPARE(toIsoSecondsInZone(time, timeZone), expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestIsoDateTime)
#include "tst_isodatetime.moc"
