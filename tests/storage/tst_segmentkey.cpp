#include "TestEnvironment.h"

#include "storage/SegmentKey.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;
using Services::SegmentKey;
using Services::segmentKeyAt;

namespace {

QDateTime utc(const QString &iso)
{
    return QDateTime::fromString(iso, Qt::ISODateWithMs).toUTC();
}

// Every segment number met while walking the local day that begins at `from`, minute by minute.
QSet<int> numbersOfDay(const QDateTime &from, const QDateTime &to, const QTimeZone &zone)
{
    QSet<int> numbers;
    for (QDateTime moment = from; moment < to; moment = moment.addSecs(60)) {
        const SegmentKey key = segmentKeyAt(moment, zone);
        if (key.date == from.toTimeZone(zone).date().toString(Qt::ISODate))
            numbers.insert(key.number);
    }
    return numbers;
}

QSet<int> allNumbersBut(int first, int last)
{
    QSet<int> numbers;
    for (int n = 0; n < 144; ++n) {
        if (n < first || n > last)
            numbers.insert(n);
    }
    return numbers;
}

} // namespace

// Runs under several TZ values; every company zone here differs from the machine's.
class TestSegmentKey : public QObject
{
    Q_OBJECT

private slots:
    void namesSegmentInCompanyZone_data();
    void namesSegmentInCompanyZone();
    void dependsOnInstantOnly();
    void skipsNumbersOfSkippedHour_data();
    void skipsNumbersOfSkippedHour();
    void invalidMomentGivesEmptyKey();
};

void TestSegmentKey::namesSegmentInCompanyZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("number");

    QTest::newRow("16:55 UTC is the last segment of the same day seven hours ahead")
            << QByteArray("Asia/Bangkok") << utc(u"2025-03-04T16:55:00Z"_s) << u"2025-03-04"_s
            << 143;
    QTest::newRow("17:00 UTC is segment 0 of the next day seven hours ahead")
            << QByteArray("Asia/Bangkok") << utc(u"2025-03-04T17:00:00Z"_s) << u"2025-03-05"_s << 0;
    QTest::newRow("local midnight is segment 0")
            << QByteArray("Asia/Kolkata") << utc(u"2025-03-04T18:30:00Z"_s) << u"2025-03-05"_s << 0;
    QTest::newRow("local 00:09:59.999 is still segment 0")
            << QByteArray("Asia/Kolkata") << utc(u"2025-03-04T18:39:59.999Z"_s) << u"2025-03-05"_s
            << 0;
    QTest::newRow("local 00:10:00 is segment 1")
            << QByteArray("Asia/Kolkata") << utc(u"2025-03-04T18:40:00Z"_s) << u"2025-03-05"_s << 1;
    QTest::newRow("local 23:59:59 is segment 143")
            << QByteArray("Asia/Kolkata") << utc(u"2025-03-05T18:29:59Z"_s) << u"2025-03-05"_s
            << 143;
    QTest::newRow("a day behind UTC") << QByteArray("Pacific/Honolulu")
                                      << utc(u"2025-03-05T09:59:00Z"_s) << u"2025-03-04"_s << 143;
    QTest::newRow("02:30 summer time before the clocks go back")
            << QByteArray("Europe/Berlin") << utc(u"2024-10-27T00:30:00Z"_s) << u"2024-10-27"_s
            << 15;
    QTest::newRow("02:30 winter time after the clocks go back")
            << QByteArray("Europe/Berlin") << utc(u"2024-10-27T01:30:00Z"_s) << u"2024-10-27"_s
            << 15;
    QTest::newRow("first moment of a day whose midnight is skipped")
            << QByteArray("America/Santiago") << utc(u"2024-09-08T04:00:00Z"_s) << u"2024-09-08"_s
            << 6;
    QTest::newRow("last segment before a skipped midnight")
            << QByteArray("America/Santiago") << utc(u"2024-09-08T03:59:59Z"_s) << u"2024-09-07"_s
            << 143;
}

void TestSegmentKey::namesSegmentInCompanyZone()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, moment);
    QFETCH(QString, date);
    QFETCH(int, number);

    const SegmentKey key = segmentKeyAt(moment, QTimeZone(zone));

    QCOMPARE(key.date, date);
    QCOMPARE(key.number, number);
}

void TestSegmentKey::dependsOnInstantOnly()
{
    const QTimeZone zone("Asia/Bangkok");
    const QDateTime moment = utc(u"2025-03-04T16:55:00Z"_s);
    const SegmentKey expected{ u"2025-03-04"_s, 143 };

    QCOMPARE(segmentKeyAt(moment.toLocalTime(), zone), expected);
    QCOMPARE(segmentKeyAt(moment.toOffsetFromUtc(-5 * 3600), zone), expected);
    QCOMPARE(segmentKeyAt(moment.toTimeZone(QTimeZone("America/Santiago")), zone), expected);
}

void TestSegmentKey::skipsNumbersOfSkippedHour_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("dayStart");
    QTest::addColumn<QDateTime>("dayEnd");
    QTest::addColumn<int>("firstSkipped");
    QTest::addColumn<int>("lastSkipped");

    QTest::newRow("clocks jump from 02:00 to 03:00")
            << QByteArray("Europe/Berlin") << utc(u"2024-03-30T23:00:00Z"_s)
            << utc(u"2024-03-31T22:00:00Z"_s) << 12 << 17;
    QTest::newRow("clocks jump from midnight to 01:00")
            << QByteArray("America/Santiago") << utc(u"2024-09-08T04:00:00Z"_s)
            << utc(u"2024-09-09T03:00:00Z"_s) << 0 << 5;
}

void TestSegmentKey::skipsNumbersOfSkippedHour()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, dayStart);
    QFETCH(QDateTime, dayEnd);
    QFETCH(int, firstSkipped);
    QFETCH(int, lastSkipped);

    QCOMPARE(numbersOfDay(dayStart, dayEnd, QTimeZone(zone)),
             allNumbersBut(firstSkipped, lastSkipped));
}

void TestSegmentKey::invalidMomentGivesEmptyKey()
{
    QCOMPARE(segmentKeyAt(QDateTime(), QTimeZone("Asia/Bangkok")), SegmentKey());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSegmentKey)
#include "tst_segmentkey.moc"
