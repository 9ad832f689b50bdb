#include "TestEnvironment.h"

#include "services/server/ServerTodayTotal.h"

#include <QTest>

#include <optional>

using Services::ServerTodayTotal;
using namespace Qt::StringLiterals;

using OptionalTotal = std::optional<ServerTodayTotal>;
Q_DECLARE_METATYPE(OptionalTotal)

class TestServerTodayTotal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTotalFromReply_data();
    void readsTotalFromReply();
    void comparesDatesAsText_data();
    void comparesDatesAsText();
    void combinesWithLocalTotal_data();
    void combinesWithLocalTotal();
};

void TestServerTodayTotal::readsTotalFromReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<OptionalTotal>("expected");

    const auto total = [](int seconds, const QString &date) {
        return OptionalTotal(ServerTodayTotal{ seconds, date });
    };
    QTest::newRow("whole seconds and a date")
            << R"({"data":{"today_total_seconds":5400,"today_date":"2025-03-01"}})"_ba
            << total(5400, u"2025-03-01"_s);
    QTest::newRow("boolean count reads as zero")
            << R"({"data":{"today_total_seconds":true,"today_date":"2025-03-01"}})"_ba
            << total(0, u"2025-03-01"_s);
    QTest::newRow("fractional count reads as zero")
            << R"({"data":{"today_total_seconds":3600.5,"today_date":"2025-03-01"}})"_ba
            << total(0, u"2025-03-01"_s);
    QTest::newRow("count beyond int reads as zero")
            << R"({"data":{"today_total_seconds":3000000000,"today_date":"2025-03-01"}})"_ba
            << total(0, u"2025-03-01"_s);
    QTest::newRow("empty date is accepted")
            << R"({"data":{"today_total_seconds":10,"today_date":""}})"_ba << total(10, QString());
    QTest::newRow("numeric date gives none")
            << R"({"data":{"today_total_seconds":10,"today_date":20250301}})"_ba << OptionalTotal();
    QTest::newRow("count as text gives none")
            << R"({"data":{"today_total_seconds":"10","today_date":"2025-03-01"}})"_ba
            << OptionalTotal();
    QTest::newRow("missing count gives none")
            << R"({"data":{"today_date":"2025-03-01"}})"_ba << OptionalTotal();
    QTest::newRow("no data gives none")
            << R"({"today_total_seconds":10,"today_date":"2025-03-01"})"_ba << OptionalTotal();
    QTest::newRow("data not an object gives none") << R"({"data":[1,2]})"_ba << OptionalTotal();
    QTest::newRow("array document gives none") << "[]"_ba << OptionalTotal();
    QTest::newRow("malformed JSON gives none") << "{\"data\":"_ba << OptionalTotal();
    QTest::newRow("empty body gives none") << QByteArray() << OptionalTotal();
}

void TestServerTodayTotal::readsTotalFromReply()
{
    QFETCH(QByteArray, body);
    QFETCH(OptionalTotal, expected);

    const OptionalTotal total = ServerTodayTotal::fromReply(body);

    QCOMPARE(total.has_value(), expected.has_value());
    if (expected) {
        QCOMPARE(total->seconds, expected->seconds);
        QCOMPARE(total->date, expected->date);
    }
}

void TestServerTodayTotal::comparesDatesAsText_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<OptionalTotal>("other");
    QTest::addColumn<bool>("older");

    QTest::newRow("no other total") << u"2025-03-01"_s << OptionalTotal() << false;
    QTest::newRow("same day") << u"2025-03-01"_s << OptionalTotal({ 1, u"2025-03-01"_s }) << false;
    QTest::newRow("earlier day") << u"2025-02-28"_s << OptionalTotal({ 1, u"2025-03-01"_s })
                                 << true;
    QTest::newRow("later day") << u"2025-03-02"_s << OptionalTotal({ 1, u"2025-03-01"_s }) << false;
    QTest::newRow("empty date is before any day")
            << QString() << OptionalTotal({ 1, u"2025-03-01"_s }) << true;
}

void TestServerTodayTotal::comparesDatesAsText()
{
    QFETCH(QString, date);
    QFETCH(OptionalTotal, other);
    QFETCH(bool, older);

    const ServerTodayTotal total{ 100, date };

    QCOMPARE(total.isOlderThan(other), older);
    if (other)
        QCOMPARE(total.isBefore(other->date), older);
}

void TestServerTodayTotal::combinesWithLocalTotal_data()
{
    QTest::addColumn<OptionalTotal>("total");
    QTest::addColumn<double>("localNow");
    QTest::addColumn<double>("localAtArrival");
    QTest::addColumn<double>("expected");

    const QString today = u"2025-03-01"_s;
    QTest::newRow("no server total keeps the local count")
            << OptionalTotal() << 1300.0 << 1000.0 << 1300.0;
    QTest::newRow("yesterday's total keeps the local count")
            << OptionalTotal({ 7200, u"2025-02-28"_s }) << 1300.0 << 1000.0 << 1300.0;
    QTest::newRow("empty date counts as an earlier day")
            << OptionalTotal({ 7200, QString() }) << 1300.0 << 1000.0 << 1300.0;
    QTest::newRow("server total plus local time since arrival")
            << OptionalTotal({ 7200, today }) << 1300.0 << 1000.0 << 7500.0;
    QTest::newRow("local count never goes back")
            << OptionalTotal({ 7200, today }) << 1300.0 << 2000.0 << 7200.0;
    QTest::newRow("smaller server total gives the local count")
            << OptionalTotal({ 500, today }) << 1300.0 << 1000.0 << 1300.0;
    QTest::newRow("a later day's total still counts")
            << OptionalTotal({ 60, u"2025-03-02"_s }) << 10.0 << 10.0 << 60.0;
}

void TestServerTodayTotal::combinesWithLocalTotal()
{
    QFETCH(OptionalTotal, total);
    QFETCH(double, localNow);
    QFETCH(double, localAtArrival);
    QFETCH(double, expected);

    QCOMPARE(ServerTodayTotal::effectiveTotal(total, u"2025-03-01"_s, localNow, localAtArrival),
             expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestServerTodayTotal)
#include "tst_servertodaytotal.moc"
