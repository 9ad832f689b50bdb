#include "TestEnvironment.h"

#include "ApiClientFixture.h"
#include "FakeHrServer.h"

#include "models/JsonDecodingError.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/ScreenshotReportFetch.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

using Networking::APIError;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using namespace Qt::StringLiterals;

namespace {

const QDateTime someDay(QDate(2025, 3, 4), QTime(0, 0), Qt::UTC);

} // namespace

class TestScreenshotReportFetch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sendsTheDayInItsOwnZone_data();
    void sendsTheDayInItsOwnZone();
    void dataNotAnObjectFailsAsDecoding_data();
    void dataNotAnObjectFailsAsDecoding();
    void incompleteReportFailsWithTheDecoderMessage();
    void refreshesOnceThenFailsUnauthorized();

private:
    FakeHrServer m_server;
    MemoryCredentialStore m_credentials;
    Storage::TokenStore m_tokens{ &m_credentials };
    RefresherStub m_refresher;
};

void TestScreenshotReportFetch::initTestCase()
{
    QVERIFY(m_server.start());
    Networking::APIClient::setTokenStore(&m_tokens);
}

void TestScreenshotReportFetch::init()
{
    m_server.reset();
    signIn(m_server, m_tokens);
    Networking::ApiEndpoint::saveOverride(m_server.baseUrl());
    m_refresher = RefresherStub();
}

void TestScreenshotReportFetch::cleanup()
{
    Networking::APIClient::setTokenRefresher(nullptr);
}

void TestScreenshotReportFetch::sendsTheDayInItsOwnZone_data()
{
    QTest::addColumn<QDateTime>("day");
    QTest::addColumn<QString>("sentDate");

    QTest::newRow("midnight UTC") << someDay << u"2025-03-04"_s;
    QTest::newRow("late evening UTC")
            << QDateTime(QDate(2025, 3, 4), QTime(23, 59, 59), Qt::UTC) << u"2025-03-04"_s;
    // 2025-03-03T17:30Z: the day is the zone's own date, not the UTC one.
    QTest::newRow("half past midnight at +07:00")
            << QDateTime(QDate(2025, 3, 4), QTime(0, 30), QTimeZone(25200)) << u"2025-03-04"_s;
    QTest::newRow("evening at -05:00")
            << QDateTime(QDate(2025, 3, 4), QTime(22, 0), QTimeZone("America/New_York"))
            << u"2025-03-04"_s;
}

void TestScreenshotReportFetch::sendsTheDayInItsOwnZone()
{
    QFETCH(QDateTime, day);
    QFETCH(QString, sentDate);

    const Models::ScreenshotReport report = Services::fetchScreenshotReport(day);

    const QList<TestSupport::RecordedRequest> requests
            = m_server.requests(FakeHrRoute::ScreenshotReport);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.constFirst().target,
             "/api/v1/hr/clockwarden/reporting/screenshots/employees?date=" + sentDate.toLatin1());
    QCOMPARE(requests.constFirst().bearerToken, m_server.currentTokens()->accessToken);
    QCOMPARE(report.hours.size(), 1);
    QCOMPARE(report.hours.constFirst().hour, 9);
    QCOMPARE(report.hours.constFirst().segments.size(), 2);
}

void TestScreenshotReportFetch::dataNotAnObjectFailsAsDecoding_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("data an array") << QByteArray(R"({"data":[]})");
    QTest::newRow("no data") << QByteArray(R"({"summary":{}})");
    QTest::newRow("not JSON") << QByteArray("<html></html>");
}

void TestScreenshotReportFetch::dataNotAnObjectFailsAsDecoding()
{
    QFETCH(QByteArray, body);
    m_server.addFault(FakeHrRoute::ScreenshotReport, FakeHrFault::answer(200, body));

    try {
        Services::fetchScreenshotReport(someDay);
        QFAIL("no error");
    } catch (const APIError &error) {
        QCOMPARE(error.kind, APIError::Kind::Decoding);
        QCOMPARE(error.message, u"Decoding failed"_s);
    }
}

void TestScreenshotReportFetch::incompleteReportFailsWithTheDecoderMessage()
{
    m_server.updateScenario([](TestSupport::FakeHrScenario &scenario) {
        scenario.screenshotReport = QJsonObject{
            { u"summary"_s,
              QJsonObject{ { u"stats"_s, QJsonObject{ { u"total_seconds"_s, 0 },
                                                      { u"total_seconds_formatted"_s, u"0m"_s },
                                                      { u"mouse_movements"_s, 0 },
                                                      { u"key_press_count"_s, 0 },
                                                      { u"activity_rate"_s, 0 } } } } },
        };
    });

    try {
        Services::fetchScreenshotReport(someDay);
        QFAIL("no error");
    } catch (const Models::JsonDecodingError &error) {
        QCOMPARE(QString::fromUtf8(error.what()), u"Missing required field: hours"_s);
    }
}

void TestScreenshotReportFetch::refreshesOnceThenFailsUnauthorized()
{
    m_server.addFault(FakeHrRoute::ScreenshotReport, FakeHrFault::answer(401).repeated(2));
    Networking::APIClient::setTokenRefresher(&m_refresher);

    try {
        Services::fetchScreenshotReport(someDay);
        QFAIL("no error");
    } catch (const APIError &error) {
        QCOMPARE(error.kind, APIError::Kind::Unauthorized);
    }

    QCOMPARE(m_server.requestCount(FakeHrRoute::ScreenshotReport), 2);
    QCOMPARE(m_refresher.calls, 1);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestScreenshotReportFetch)

#include "tst_screenshotreportfetch.moc"
