#include "TestEnvironment.h"

#include "networking/APIError.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadService.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QTest>

using Models::UploadTaskType;
using Networking::APIError;
using Services::UploadCircuitBreaker;
using Services::UploadFailureClassification;
using Services::UploadFailureDisposition;
using Services::UploadService;
namespace UploadClock = Services::UploadClock;
using namespace Qt::StringLiterals;

using OptionalInt = std::optional<int>;
Q_DECLARE_METATYPE(OptionalInt)
Q_DECLARE_METATYPE(APIError)

namespace {

const QList<UploadTaskType> sentTypes{ UploadTaskType::heartbeat, UploadTaskType::screenshot,
                                       UploadTaskType::activitySegment,
                                       UploadTaskType::startSession };

const QList<int> answeredStatuses{ 400, 401, 404, 409, 410, 413, 422, 500, 503 };

// The server answers by status and task type, as the failure policy decides them.
UploadFailureClassification expectedForAnswer(int status, UploadTaskType type)
{
    using D = UploadFailureDisposition;
    const bool heartbeat = type == UploadTaskType::heartbeat;
    const bool screenshot = type == UploadTaskType::screenshot;
    const bool segment = type == UploadTaskType::activitySegment;
    const bool start = type == UploadTaskType::startSession;
    D disposition = D::Transient;
    if (status == 422)
        disposition = D::Permanent;
    else if (status == 400 && (heartbeat || segment))
        disposition = D::Permanent;
    else if ((status == 404 || status == 409) && heartbeat)
        disposition = D::SessionGone;
    else if ((status == 404 || status == 409) && start)
        disposition = D::Permanent;
    else if (status == 413 && screenshot)
        disposition = D::Permanent;
    return { disposition, disposition == D::Permanent && screenshot, status };
}

APIError networkError(int code)
{
    APIError error = APIError::networkFailure(u"transport"_s);
    error.networkError = code;
    return error;
}

// Open time of the breaker's current window, in whole seconds from now.
qint64 openSeconds(const UploadCircuitBreaker &breaker)
{
    const std::optional<QDateTime> until = breaker.counters().openUntil;
    return until ? qRound64(UploadClock::now().msecsTo(*until) / 1000.0) : -1;
}

} // namespace

class TestUploadFailurePolicy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void classifiesServerAnswers_data();
    void classifiesServerAnswers();
    void classifiesOtherFailures_data();
    void classifiesOtherFailures();
    void decidesUnrecoverable_data();
    void decidesUnrecoverable();
    void keepsScreenshotsForSevenDays_data();
    void keepsScreenshotsForSevenDays();
    void reschedulesOfflineWithinTheWindow();
    void backsOffExponentially_data();
    void backsOffExponentially();

    void opensAfterFiveFailuresEndingInServerError();
    void doublesEachReopeningUpToTenMinutes();
    void opensOnlyOnAServerError();
    void successResetsEverything();
};

void TestUploadFailurePolicy::cleanup()
{
    UploadClock::setOffsetMs(0);
}

void TestUploadFailurePolicy::classifiesServerAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<UploadTaskType>("type");
    for (const int status : answeredStatuses) {
        for (const UploadTaskType type : sentTypes) {
            const QByteArray name = QByteArray::number(status) + ' '
                                    + Models::uploadTaskTypeToString(type).toLatin1();
            QTest::newRow(name.constData()) << status << type;
        }
    }
}

void TestUploadFailurePolicy::classifiesServerAnswers()
{
    QFETCH(int, status);
    QFETCH(UploadTaskType, type);
    const UploadFailureClassification expected = expectedForAnswer(status, type);
    QCOMPARE(UploadService::classifyFailure(APIError::serverError(status), type), expected);
    QCOMPARE(UploadService::isPermanentHttpStatus(status, type),
             expected.disposition == UploadFailureDisposition::Permanent);
}

void TestUploadFailurePolicy::classifiesOtherFailures_data()
{
    QTest::addColumn<APIError>("error");
    QTest::addColumn<int>("disposition");

    const int offline = int(UploadFailureDisposition::Offline);
    const int transient = int(UploadFailureDisposition::Transient);
    QTest::newRow("connection refused")
            << networkError(QNetworkReply::ConnectionRefusedError) << offline;
    QTest::newRow("host not found") << networkError(QNetworkReply::HostNotFoundError) << offline;
    QTest::newRow("temporary failure")
            << networkError(QNetworkReply::TemporaryNetworkFailureError) << offline;
    QTest::newRow("session failed")
            << networkError(QNetworkReply::NetworkSessionFailedError) << offline;
    QTest::newRow("timeout") << networkError(QNetworkReply::TimeoutError) << transient;
    QTest::newRow("cancelled") << networkError(QNetworkReply::OperationCanceledError) << transient;
    QTest::newRow("TLS failure") << networkError(QNetworkReply::SslHandshakeFailedError)
                                 << transient;
    QTest::newRow("network without code") << APIError::networkFailure(u"x"_s) << transient;
    QTest::newRow("refresh deferred") << APIError::refreshDeferred() << offline;
    QTest::newRow("unauthorized") << APIError::unauthorized() << transient;
    QTest::newRow("decoding") << APIError::decodingFailed({}) << transient;
    QTest::newRow("invalid URL") << APIError::invalidUrl() << transient;
    APIError statusless = APIError::serverError(500);
    statusless.httpStatus.reset();
    QTest::newRow("server without status") << statusless << transient;
}

void TestUploadFailurePolicy::classifiesOtherFailures()
{
    QFETCH(APIError, error);
    QFETCH(int, disposition);
    for (const UploadTaskType type : sentTypes) {
        const UploadFailureClassification result = UploadService::classifyFailure(error, type);
        QCOMPARE(int(result.disposition), disposition);
        QVERIFY(!result.deleteFile);
        QCOMPARE(result.httpStatus, OptionalInt());
    }
}

void TestUploadFailurePolicy::decidesUnrecoverable_data()
{
    QTest::addColumn<bool>("transient");
    QTest::addColumn<int>("retryCount");
    QTest::addColumn<qint64>("ageSeconds");
    QTest::addColumn<bool>("unrecoverable");

    QTest::newRow("non-transient 5th") << false << 5 << qint64(0) << false;
    QTest::newRow("non-transient 6th") << false << 6 << qint64(0) << true;
    QTest::newRow("transient 100th") << true << 100 << qint64(0) << false;
    QTest::newRow("transient at 7 days") << true << 1 << qint64(604800) << false;
    QTest::newRow("transient past 7 days") << true << 1 << qint64(604801) << true;
    QTest::newRow("non-transient past 7 days") << false << 1 << qint64(604801) << true;
}

void TestUploadFailurePolicy::decidesUnrecoverable()
{
    QFETCH(bool, transient);
    QFETCH(int, retryCount);
    QFETCH(qint64, ageSeconds);
    QFETCH(bool, unrecoverable);
    QCOMPARE(UploadService::isUnrecoverable(transient, retryCount, ageSeconds), unrecoverable);
}

void TestUploadFailurePolicy::keepsScreenshotsForSevenDays_data()
{
    QTest::addColumn<UploadTaskType>("type");
    QTest::addColumn<qint64>("ageSeconds");
    QTest::addColumn<bool>("past");

    QTest::newRow("screenshot at 7 days") << UploadTaskType::screenshot << qint64(604800) << false;
    QTest::newRow("screenshot past 7 days") << UploadTaskType::screenshot << qint64(604801) << true;
    QTest::newRow("heartbeat past 7 days") << UploadTaskType::heartbeat << qint64(9000000) << false;
    QTest::newRow("start past 7 days") << UploadTaskType::startSession << qint64(9000000) << false;
}

void TestUploadFailurePolicy::keepsScreenshotsForSevenDays()
{
    QFETCH(UploadTaskType, type);
    QFETCH(qint64, ageSeconds);
    QFETCH(bool, past);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QCOMPARE(UploadService::isPastRetention(type, now.addSecs(-ageSeconds), now), past);
    QVERIFY(!UploadService::isPastRetention(type, QDateTime(), now));
}

void TestUploadFailurePolicy::reschedulesOfflineWithinTheWindow()
{
    const QDateTime now(QDate(2025, 3, 4), QTime(9, 0, 0, 500), Qt::UTC);
    QSet<qint64> delays;
    for (int draw = 0; draw < 2000; ++draw) {
        const qint64 delayMs = now.msecsTo(UploadService::offlineRetryTime(now));
        QCOMPARE(delayMs % 1000, 0);
        QVERIFY2(delayMs >= 60000 && delayMs <= 90000, QByteArray::number(delayMs).constData());
        delays.insert(delayMs / 1000);
    }
    // Every whole second of the window comes up, its ends included.
    QCOMPARE(delays.size(), 31);
}

void TestUploadFailurePolicy::backsOffExponentially_data()
{
    QTest::addColumn<int>("retryCount");
    QTest::addColumn<int>("seconds");
    const QList<int> expected{ 4, 8, 16, 32, 64, 64, 64 };
    for (int n = 1; n <= 7; ++n)
        QTest::addRow("retry %d", n) << n << expected.at(n - 1);
}

void TestUploadFailurePolicy::backsOffExponentially()
{
    QFETCH(int, retryCount);
    QFETCH(int, seconds);
    UploadClock::setOffsetMs(3600000);
    for (int draw = 0; draw < 50; ++draw) {
        const QDateTime before = UploadClock::now();
        const QDateTime next = UploadCircuitBreaker::retryTime(retryCount);
        const QDateTime after = UploadClock::now();
        QVERIFY(before.msecsTo(next) >= qint64(seconds) * 1000);
        QVERIFY(after.msecsTo(next) < qint64(seconds + 1) * 1000);
    }
}

void TestUploadFailurePolicy::opensAfterFiveFailuresEndingInServerError()
{
    UploadCircuitBreaker breaker;
    for (int failure = 0; failure < 4; ++failure)
        breaker.recordFailure(std::nullopt);
    QVERIFY(!breaker.isOpen(UploadClock::now()));
    breaker.recordFailure(500);

    QCOMPARE(openSeconds(breaker), 60);
    QVERIFY(breaker.isOpen(UploadClock::now().addSecs(59)));
    QVERIFY(!breaker.isOpen(UploadClock::now().addSecs(61)));
    QCOMPARE(breaker.counters().consecutiveFailures, 5);
    QCOMPARE(breaker.counters().trips, 1);
}

void TestUploadFailurePolicy::doublesEachReopeningUpToTenMinutes()
{
    UploadCircuitBreaker breaker;
    for (int failure = 0; failure < 4; ++failure)
        breaker.recordFailure(503);
    breaker.recordFailure(500);
    QCOMPARE(openSeconds(breaker), 60);
    for (const int window : { 120, 240, 480, 600, 600 }) {
        UploadClock::advance(openSeconds(breaker) + 1);
        QVERIFY(!breaker.isOpen(UploadClock::now()));
        // The counters outlive the window: one more server error reopens it at once.
        breaker.recordFailure(500);
        QCOMPARE(openSeconds(breaker), window);
    }
}

void TestUploadFailurePolicy::opensOnlyOnAServerError()
{
    UploadCircuitBreaker breaker;
    for (int failure = 0; failure < 4; ++failure)
        breaker.recordFailure(500);
    breaker.recordFailure(404);
    QVERIFY(!breaker.isOpen(UploadClock::now()));
    QCOMPARE(breaker.counters().consecutiveFailures, 5);
    breaker.recordFailure(502);
    QVERIFY(breaker.isOpen(UploadClock::now()));
    QCOMPARE(openSeconds(breaker), 60);
}

void TestUploadFailurePolicy::successResetsEverything()
{
    UploadCircuitBreaker breaker;
    for (int failure = 0; failure < 6; ++failure)
        breaker.recordFailure(500);
    QVERIFY(breaker.isOpen(UploadClock::now()));
    breaker.recordSuccess();

    QVERIFY(!breaker.isOpen(UploadClock::now()));
    QCOMPARE(breaker.counters().consecutiveFailures, 0);
    QCOMPARE(breaker.counters().trips, 0);
    QVERIFY(!breaker.counters().openUntil);
    // Counting starts again from nothing: four more failures do not open it.
    for (int failure = 0; failure < 4; ++failure)
        breaker.recordFailure(500);
    QVERIFY(!breaker.isOpen(UploadClock::now()));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestUploadFailurePolicy)
#include "tst_uploadfailurepolicy.moc"
