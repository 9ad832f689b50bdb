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
    void writesFileStampsWithZuluForUtc_data();
    void writesFileStampsWithZuluForUtc();
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

void TestIsoDateTime::writesFileStampsWithZuluForUtc_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UTC") << QByteArray("UTC") << u"2025-03-04T02:15:07Z"_s;
    QTest::newRow("Etc/UTC") << QByteArray("Etc/UTC") << u"2025-03-04T02:15:07Z"_s;
    QTest::newRow("Bangkok") << QByteArray("Asia/Bangkok") << u"2025-03-04T09:15:07+07:00"_s;
    QTest::newRow("New York") << QByteArray("America/New_York") << u"2025-03-03T21:15:07-05:00"_s;
    // A zone at offset 0 that is not UTC keeps its offset.
    QTest::newRow("London") << QByteArray("Europe/London") << u"2025-03-04T02:15:07+00:00"_s;
}

void TestIsoDateTime::writesFileStampsWithZuluForUtc()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, expected);
    const QDateTime time(QDate(2025, 3, 4), QTime(2, 15, 7, 999), Qt::UTC);
    QCOMPARE(toIsoSecondsInZone(time, QTimeZone(zone)), expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestIsoDateTime)
#include "tst_isodatetime.moc"
