#include "TestEnvironment.h"

#include "ui/main/Greetings.h"

#include <QCoreApplication>
#include <QSet>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;
namespace Greetings = UI::Greetings;

class TestGreetings : public QObject
{
    Q_OBJECT

private slots:
    void listsHaveTheirSizesAndPlaceholders();
    void workedDurationWordsTheTime_data();
    void workedDurationWordsTheTime();
    void progressLinePicksAndFillsALine_data();
    void progressLinePicksAndFillsALine();
    void randomPicksStayInRangeAndReachEveryLine();
};

void TestGreetings::listsHaveTheirSizesAndPlaceholders()
{
    QCOMPARE(Greetings::startLines().size(), 50);
    QCOMPARE(Greetings::progressLines().size(), 30);
    QCOMPARE(Greetings::startLines().first(), u"Let's get started"_s);
    QCOMPARE(Greetings::startLines().last(), u"Today, show up and shine"_s);
    QCOMPARE(Greetings::progressLines().last(), u"{time} of finding your rhythm today"_s);
    for (const QString &line : Greetings::progressLines()) {
        QVERIFY2(line.startsWith(u"{time} "_s), qPrintable(line));
        QCOMPARE(line.count(u"{time}"_s), 1);
    }
    for (const QString &line : Greetings::startLines())
        QVERIFY2(!line.contains(u"{time}"_s) && !line.contains(QChar(0x2019)), qPrintable(line));
    QCOMPARE(QSet<QString>(Greetings::startLines().cbegin(), Greetings::startLines().cend()).size(),
             50);
}

void TestGreetings::workedDurationWordsTheTime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected"); // empty: none

    QTest::newRow("nothing yet") << 0.0 << QString();
    QTest::newRow("59 s") << 59.0 << QString();
    QTest::newRow("59.9 s") << 59.9 << QString();
    QTest::newRow("negative") << -120.0 << QString();
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << QString();
    QTest::newRow("60 s") << 60.0 << u"1 minute"_s;
    QTest::newRow("119 s") << 119.0 << u"1 minute"_s;
    QTest::newRow("120 s") << 120.0 << u"2 minutes"_s;
    QTest::newRow("3599 s") << 3599.0 << u"59 minutes"_s;
    QTest::newRow("3600 s") << 3600.0 << u"1 hour"_s;
    QTest::newRow("89 minutes") << 5340.0 << u"1 hour"_s;
    QTest::newRow("5399 s") << 5399.0 << u"1 hour"_s;
    QTest::newRow("90 minutes rounds up") << 5400.0 << u"2 hours"_s;
    QTest::newRow("ten hours") << 36000.0 << u"10 hours"_s;
}

void TestGreetings::workedDurationWordsTheTime()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    const std::optional<QString> text = Greetings::workedDurationText(seconds);
    if (expected.isEmpty())
        QVERIFY2(!text, qPrintable(text.value_or(QString())));
    else
        QCOMPARE(text.value_or(u"(none)"_s), expected);
}

void TestGreetings::progressLinePicksAndFillsALine_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");

    QTest::newRow("under a minute") << 4 << 59.0 << u"Let's get started"_s;
    QTest::newRow("first line at 60 s")
            << 0 << 60.0 << u"1 minute making something awesome today"_s;
    QTest::newRow("index -1 is line 30")
            << -1 << 7200.0 << u"2 hours of finding your rhythm today"_s;
    QTest::newRow("index 30 is line 1")
            << 30 << 600.0 << u"10 minutes making something awesome today"_s;
    QTest::newRow("index -31 is line 30")
            << -31 << 3600.0 << u"1 hour of finding your rhythm today"_s;
    QTest::newRow("index 3") << 3 << 1800.0 << u"30 minutes well spent today"_s;
}

void TestGreetings::progressLinePicksAndFillsALine()
{
    QFETCH(int, index);
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(Greetings::progressLine(index, seconds), expected);
}

void TestGreetings::randomPicksStayInRangeAndReachEveryLine()
{
    QCOMPARE(Greetings::randomIndex(0), 0);
    QCOMPARE(Greetings::randomIndex(1), 0);
    QSet<int> seen;
    for (int i = 0; i < 3000; ++i) {
        const int index = Greetings::randomIndex(30);
        QVERIFY(index >= 0 && index < 30);
        seen.insert(index);
    }
    QCOMPARE(seen.size(), 30);
    QSet<QString> lines;
    for (int i = 0; i < 3000; ++i)
        lines.insert(Greetings::randomStartLine());
    QCOMPARE(lines.size(), 50);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestGreetings)
#include "tst_greetings.moc"
