#include "TestEnvironment.h"

#include "models/ServerDateTime.h"

#include <QTest>

#include <limits>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

const QDateTime now(QDate(2025, 6, 1), QTime(12, 0, 0, 500), Qt::UTC);

} // namespace

class TestServerDateTime : public QObject
{
    Q_OBJECT

private slots:
    void parsesServiceTexts_data();
    void parsesServiceTexts();
    void fallsBackToNowPlusSeconds_data();
    void fallsBackToNowPlusSeconds();
    void readsTheClockWhenNoNowIsGiven();
};

void TestServerDateTime::parsesServiceTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("utc");
    QTest::addColumn<int>("offsetSeconds");

    constexpr int plusSeven = 7 * 3600;
    QTest::newRow("zone-less time is UTC+07:00")
            << u"2025-03-04T10:15:30"_s << u"2025-03-04T03:15:30.000Z"_s << plusSeven;
    QTest::newRow("blank separator without seconds")
            << u"2025-03-04 10:15"_s << u"2025-03-04T03:15:00.000Z"_s << plusSeven;
    QTest::newRow("nine fraction digits, trimmed")
            << u"  2025-03-04 10:15:30.123456789\n"_s << u"2025-03-04T03:15:30.123Z"_s << plusSeven;
    QTest::newRow("zone-less time before 07:00 is the previous UTC day")
            << u"2025-03-04 06:59:59.5"_s << u"2025-03-03T23:59:59.500Z"_s << plusSeven;
    QTest::newRow("Z keeps UTC") << u"2025-03-04T10:15:00Z"_s << u"2025-03-04T10:15:00.000Z"_s << 0;
    QTest::newRow("own offset is kept")
            << u"2025-03-04T10:15:00.123+02:00"_s << u"2025-03-04T08:15:00.123Z"_s << 2 * 3600;
    QTest::newRow("blank separator with a zone")
            << u"2025-03-04 10:15:00-05:00"_s << u"2025-03-04T15:15:00.000Z"_s << -5 * 3600;
}

void TestServerDateTime::parsesServiceTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, utc);
    QFETCH(int, offsetSeconds);

    const QDateTime parsed = parseServerDateTime(text, 3600, now);

    QVERIFY(parsed.isValid());
    QCOMPARE(parsed.toUTC().toString(Qt::ISODateWithMs), utc);
    QCOMPARE(parsed.offsetFromUtc(), offsetSeconds);
}

void TestServerDateTime::fallsBackToNowPlusSeconds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("fallbackSeconds");
    QTest::addColumn<qint64>("expectedMilliseconds");

    QTest::newRow("garbage") << u"soon"_s << 3600.0 << qint64(3600000);
    QTest::newRow("empty text, thirty days") << u""_s << 2592000.0 << qint64(2592000000);
    QTest::newRow("blanks only") << u"   "_s << 60.0 << qint64(60000);
    QTest::newRow("impossible date") << u"2025-02-30 10:15"_s << 1.0 << qint64(1000);
    QTest::newRow("ten fraction digits in a bad month")
            << u"2025-13-04T10:15:00.1234567891"_s << 0.0 << qint64(0);
    QTest::newRow("fraction of a millisecond is truncated") << u"x"_s << 1.0009 << qint64(1000);
    QTest::newRow("non-finite fallback adds nothing")
            << u"x"_s << std::numeric_limits<double>::infinity() << qint64(0);
}

void TestServerDateTime::fallsBackToNowPlusSeconds()
{
    QFETCH(QString, text);
    QFETCH(double, fallbackSeconds);
    QFETCH(qint64, expectedMilliseconds);

    const QDateTime parsed = parseServerDateTime(text, fallbackSeconds, now);

    QCOMPARE(parsed, now.addMSecs(expectedMilliseconds));
    QCOMPARE(parsed.timeSpec(), Qt::UTC);
}

void TestServerDateTime::readsTheClockWhenNoNowIsGiven()
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QDateTime parsed = parseServerDateTime(u"soon"_s, 3600);
    const QDateTime after = QDateTime::currentDateTimeUtc();

    QVERIFY(parsed >= before.addSecs(3600));
    QVERIFY(parsed <= after.addSecs(3600));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestServerDateTime)
#include "tst_serverdatetime.moc"
