#include "TestEnvironment.h"

#include "networking/APIError.h"
#include "networking/APIResponse.h"
#include "networking/ApiPaths.h"

#include <QTest>

using Networking::APIError;
using Networking::RawReply;
using namespace Qt::StringLiterals;

using OptionalInt = std::optional<int>;
Q_DECLARE_METATYPE(OptionalInt)

class TestAPIError : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void factoriesFillKindStatusAndMessage_data();
    void factoriesFillKindStatusAndMessage();
    void resetsConnectionsAfterTimeoutOrGatewayError_data();
    void resetsConnectionsAfterTimeoutOrGatewayError();
    void buildsPathsWithTheirValue();
};

void TestAPIError::factoriesFillKindStatusAndMessage_data()
{
    QTest::addColumn<APIError>("error");
    QTest::addColumn<int>("kind");
    QTest::addColumn<OptionalInt>("httpStatus");
    QTest::addColumn<QString>("message");

    QTest::newRow("invalid URL") << APIError::invalidUrl() << 0 << OptionalInt()
                                 << u"Invalid URL"_s;
    QTest::newRow("unauthorized") << APIError::unauthorized() << 1 << OptionalInt(401)
                                  << u"Unauthorized"_s;
    QTest::newRow("server error with its status")
            << APIError::serverError(503) << 2 << OptionalInt(503) << u"Server error 503"_s;
    QTest::newRow("decoding with a text")
            << APIError::decodingFailed(u"Missing required field: x"_s) << 3 << OptionalInt()
            << u"Missing required field: x"_s;
    QTest::newRow("decoding without a text")
            << APIError::decodingFailed(QString()) << 3 << OptionalInt() << u"Decoding failed"_s;
    QTest::newRow("network") << APIError::networkFailure(u"Connection refused"_s) << 4
                             << OptionalInt() << u"Connection refused"_s;
    QTest::newRow("refresh deferred") << APIError::refreshDeferred() << 5 << OptionalInt()
                                      << u"Token refresh in flight; request deferred"_s;
}

void TestAPIError::factoriesFillKindStatusAndMessage()
{
    QFETCH(APIError, error);
    QFETCH(int, kind);
    QFETCH(OptionalInt, httpStatus);
    QFETCH(QString, message);

    QCOMPARE(int(error.kind), kind);
    QCOMPARE(error.httpStatus, httpStatus);
    QCOMPARE(error.message, message);
    QVERIFY(!error.serverMessage);
    QVERIFY(!error.networkError);
}

void TestAPIError::resetsConnectionsAfterTimeoutOrGatewayError_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<bool>("reset");

    QTest::newRow("success keeps the pool") << 200 << false << false;
    QTest::newRow("not found keeps the pool") << 404 << false << false;
    QTest::newRow("internal error keeps the pool") << 500 << false << false;
    QTest::newRow("bad gateway resets") << 502 << false << true;
    QTest::newRow("unavailable keeps the pool") << 503 << false << false;
    QTest::newRow("gateway timeout resets") << 504 << false << true;
    QTest::newRow("timeout without an answer resets") << 0 << true << true;
    QTest::newRow("abort without an answer keeps the pool") << 0 << false << false;
}

void TestAPIError::resetsConnectionsAfterTimeoutOrGatewayError()
{
    QFETCH(int, status);
    QFETCH(bool, timedOut);
    QFETCH(bool, reset);

    RawReply reply;
    reply.statusCode = status;
    reply.timedOut = timedOut;

    QCOMPARE(reply.shouldResetConnections(), reset);
}

void TestAPIError::buildsPathsWithTheirValue()
{
    QCOMPARE(Networking::ApiPaths::passwordRecoveryCode(u"123456"_s),
             u"authentication/password/recovery/123456"_s);
    QCOMPARE(
            Networking::ApiPaths::sessionScreenshots(u"0F8E2D4C-1B3A-4C5D-8E9F-A0B1C2D3E4F5"_s),
            u"hr/clockwarden/employees/sessions/0F8E2D4C-1B3A-4C5D-8E9F-A0B1C2D3E4F5/screenshots"_s);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAPIError)
#include "tst_apierror.moc"
