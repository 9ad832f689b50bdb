#include "TestEnvironment.h"

#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "MessageCapture.h"
#include "TestCertificate.h"

#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTest>

using Networking::APIClient;
using Networking::APIError;
using Networking::APIResponse;
using Networking::ITokenRefresher;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using namespace Qt::StringLiterals;

using OptionalInt = std::optional<int>;
using OptionalText = std::optional<QString>;
using OptionalBytes = std::optional<QByteArray>;
Q_DECLARE_METATYPE(OptionalInt)
Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(OptionalBytes)
Q_DECLARE_METATYPE(TestSupport::FakeHrFault)

namespace {

const QString configPath = u"hr/clockwarden/employees/config"_s;
const QString sessionStartPath = u"hr/clockwarden/employees/sessions/start"_s;
const QString screenshotsPath
        = u"hr/clockwarden/employees/sessions/5B3C9A4E-0000-4000-8000-000000000001/screenshots"_s;
const QList<QByteArray> fixedHeaders{ "content-type", "accept", "app-client", "x-app",
                                      "authorization" };
constexpr int noError = -1;
// Far beyond one short test run in a child process.
constexpr int childRunWaitMs = 60000;

QList<QByteArray> fixedHeaderNames(const TestSupport::RecordedRequest &request)
{
    QList<QByteArray> names;
    for (const QByteArray &name : request.headerNames()) {
        if (fixedHeaders.contains(name))
            names.append(name);
    }
    return names;
}

QByteArray multipartBody(const QByteArray &boundary)
{
    return "--" + boundary
           + "\r\nContent-Disposition: form-data; name=\"screenshots[]\"; filename=\"a.jpg\"\r\n"
             "Content-Type: image/jpeg\r\n\r\n\xff\xd8\xff\xe0 not really a JPEG\r\n--"
           + boundary + "--\r\n";
}

QStringList requestLogLines(const MessageCapture &capture)
{
    return capture.debugStartingWith(u"API request:"_s) + capture.debugStartingWith(u"Payload:"_s);
}

} // namespace

class TestAPIClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sendsFixedHeadersInOrder_data();
    void sendsFixedHeadersInOrder();
    void postsTheObjectAsCompactJson();
    void mapsFailureAnswersToErrors_data();
    void mapsFailureAnswersToErrors();
    void refreshesOnceOnUnauthorized_data();
    void refreshesOnceOnUnauthorized();
    void refreshesBeforeMultipartNearExpiry_data();
    void refreshesBeforeMultipartNearExpiry();
    void logsRequestsWithSecretsRedacted_data();
    void logsRequestsWithSecretsRedacted();
    void describesPayloadsForTheLog_data();
    void describesPayloadsForTheLog();
    void unresolvablePathFailsWithoutRequestOrLog();
    void tokenWithALineBreakIsNeverSent_data();
    void tokenWithALineBreakIsNeverSent();
    void reachesTheEnvironmentBaseOverTls_data();
    void reachesTheEnvironmentBaseOverTls();
    void pooledTlsConnectionLeavesNoWarningAtExit();

private:
    FakeHrServer m_server;
    MemoryCredentialStore m_credentials;
    Storage::TokenStore m_tokens{ &m_credentials };
    RefresherStub m_refresher;
};

void TestAPIClient::initTestCase()
{
    QVERIFY(m_server.start());
    APIClient::setTokenStore(&m_tokens);
}

void TestAPIClient::init()
{
    m_server.reset();
    m_tokens.clear();
    m_refresher = RefresherStub();
    APIClient::setTokenRefresher(nullptr);
    Networking::ApiEndpoint::saveOverride(m_server.baseUrl());
}

void TestAPIClient::cleanup()
{
    APIClient::setTokenRefresher(nullptr);
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    qunsetenv("TEMBRIX_API_BASE_URL");
}

void TestAPIClient::sendsFixedHeadersInOrder_data()
{
    QTest::addColumn<bool>("onWorker");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("authenticated");
    QTest::addColumn<bool>("tokenStored");
    QTest::addColumn<QList<QByteArray>>("expected");

    const QList<QByteArray> withToken = fixedHeaders;
    const QList<QByteArray> withoutToken = fixedHeaders.first(4);
    for (const bool onWorker : { false, true }) {
        const char *where = onWorker ? ", worker thread" : "";
        QTest::addRow("signed-in GET%s", where)
                << onWorker << "GET"_ba << configPath << true << true << withToken;
        QTest::addRow("signed-in GET without a token record%s", where)
                << onWorker << "GET"_ba << configPath << true << false << withoutToken;
        QTest::addRow("signed-in POST%s", where)
                << onWorker << "POST"_ba << sessionStartPath << true << true << withToken;
        QTest::addRow("signed-in POST without a token record%s", where)
                << onWorker << "POST"_ba << sessionStartPath << true << false << withoutToken;
        QTest::addRow("sign-in POST leaves a stored token out%s", where)
                << onWorker << "POST"_ba << u"authentication/singleLogin"_s << false << true
                << withoutToken;
    }
}

void TestAPIClient::sendsFixedHeadersInOrder()
{
    QFETCH(bool, onWorker);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(bool, authenticated);
    QFETCH(bool, tokenStored);
    QFETCH(QList<QByteArray>, expected);
    const QString token = tokenStored ? signIn(m_server, m_tokens).accessToken : QString();

    callOn(onWorker, [&] {
        if (method == "GET")
            return APIClient::instance().get(path, authenticated, false);
        return APIClient::instance().postJson(path, QJsonObject{ { u"a"_s, 1 } }, authenticated,
                                              false);
    });

    QCOMPARE(m_server.requestCount(), 1);
    const TestSupport::RecordedRequest request = m_server.requests().first();
    QCOMPARE(request.method, method);
    QCOMPARE(fixedHeaderNames(request), expected);
    QCOMPARE(request.header("Content-Type"), "application/json"_ba);
    QCOMPARE(request.header("Accept"), "application/json"_ba);
    QCOMPARE(request.header("app-client"), "linux"_ba);
    QCOMPARE(request.header("X-App"), "hr"_ba);
    if (expected.contains("authorization"))
        QCOMPARE(request.header("Authorization"), "Bearer " + token.toUtf8());
}

void TestAPIClient::postsTheObjectAsCompactJson()
{
    signIn(m_server, m_tokens);
    const QJsonObject body{ { u"session_uuid"_s, u"S1"_s }, { u"total_seconds"_s, 60 } };

    APIClient::instance().postJson(sessionStartPath, body, true, false);

    QCOMPARE(m_server.requestCount(FakeHrRoute::SessionStart), 1);
    const TestSupport::RecordedRequest request = m_server.requests().first();
    QCOMPARE(request.body, R"({"session_uuid":"S1","total_seconds":60})"_ba);
    QCOMPARE(request.path, u"/api/v1/hr/clockwarden/employees/sessions/start"_s);
}

void TestAPIClient::mapsFailureAnswersToErrors_data()
{
    QTest::addColumn<bool>("onWorker");
    QTest::addColumn<FakeHrFault>("fault");
    QTest::addColumn<int>("kind");
    QTest::addColumn<OptionalInt>("httpStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<OptionalText>("serverMessage");

    const int server = int(APIError::Kind::Server);
    // 300 characters of HTML between blanks.
    const QByteArray html
            = "  <!DOCTYPE html><html><body>" + QByteArray(259, 'y') + "</body></html>\n";

    for (const bool onWorker : { false, true }) {
        const char *where = onWorker ? ", worker thread" : "";
        QTest::addRow("success has no error%s", where)
                << onWorker << FakeHrFault::delay(0) << noError << OptionalInt(200) << QString()
                << OptionalText();
        QTest::addRow("message is the detail and the server message%s", where)
                << onWorker << FakeHrFault::errors(422, u"email"_s, u" The email is invalid. "_s)
                << server << OptionalInt(422) << u"HTTP 422: The email is invalid."_s
                << OptionalText(u"The email is invalid."_s);
        QTest::addRow("first member of errors in key order%s", where)
                << onWorker
                << FakeHrFault::answer(422, R"({"errors":{"b":["second"],"a":[" First. ","x"]}})")
                << server << OptionalInt(422) << u"HTTP 422: First."_s << OptionalText();
        QTest::addRow("errors member as a text%s", where)
                << onWorker << FakeHrFault::answer(422, R"({"errors":{"email":"Taken."}})")
                << server << OptionalInt(422) << u"HTTP 422: Taken."_s << OptionalText();
        QTest::addRow("errors member that is no text leaves the plain message%s", where)
                << onWorker << FakeHrFault::answer(422, R"({"errors":{"email":[{"code":1}]}})")
                << server << OptionalInt(422) << u"Server error 422"_s << OptionalText();
        QTest::addRow("blank message falls through to error%s", where)
                << onWorker
                << FakeHrFault::answer(400, R"({"message":"  ","error":"invalid_grant"})") << server
                << OptionalInt(400) << u"HTTP 400: invalid_grant"_s << OptionalText();
        QTest::addRow("error object falls through to error_description%s", where)
                << onWorker
                << FakeHrFault::answer(400, R"({"error":{"code":7},"error_description":"Bad."})")
                << server << OptionalInt(400) << u"HTTP 400: Bad."_s << OptionalText();
        QTest::addRow("detail key%s", where)
                << onWorker << FakeHrFault::answer(404, R"({"detail":"No such employee"})")
                << server << OptionalInt(404) << u"HTTP 404: No such employee"_s << OptionalText();
        QTest::addRow("empty errors object gives the raw body%s", where)
                << onWorker << FakeHrFault::answer(409, R"({"errors":{}})") << server
                << OptionalInt(409) << uR"(HTTP 409: {"errors":{}})"_s << OptionalText();
        QTest::addRow("HTML page cut to 200 characters%s", where)
                << onWorker << FakeHrFault::answer(503, html, "text/html") << server
                << OptionalInt(503)
                << u"HTTP 503: "_s + QString::fromLatin1(html.trimmed().left(200)) + u'…'
                << OptionalText();
        QTest::addRow("cut never splits a character of two units%s", where)
                << onWorker
                << FakeHrFault::answer(
                           503, QByteArray(199, 'y') + "\xF0\x9F\x98\x80" + QByteArray(9, 'z'),
                           "text/plain")
                << server << OptionalInt(503) << u"HTTP 503: "_s + QString(199, u'y') + u'…'
                << OptionalText();
        QTest::addRow("empty body keeps the plain message%s", where)
                << onWorker << FakeHrFault::answer(500) << server << OptionalInt(500)
                << u"Server error 500"_s << OptionalText();
        QTest::addRow("8 KiB body gives no server message%s", where)
                << onWorker << FakeHrFault::oversizedBody(500, 8192) << server << OptionalInt(500)
                << u"HTTP 500: Too big to read"_s << OptionalText();
        QTest::addRow("body just under 8 KiB gives a server message%s", where)
                << onWorker << FakeHrFault::oversizedBody(500, 8191) << server << OptionalInt(500)
                << u"HTTP 500: Too big to read"_s << OptionalText(u"Too big to read"_s);
        QTest::addRow("unauthorized keeps the server message%s", where)
                << onWorker << FakeHrFault::message(401, u"Token expired."_s)
                << int(APIError::Kind::Unauthorized) << OptionalInt(401) << u"Unauthorized"_s
                << OptionalText(u"Token expired."_s);
    }
}

void TestAPIClient::mapsFailureAnswersToErrors()
{
    QFETCH(bool, onWorker);
    QFETCH(FakeHrFault, fault);
    QFETCH(int, kind);
    QFETCH(OptionalInt, httpStatus);
    QFETCH(QString, message);
    QFETCH(OptionalText, serverMessage);
    signIn(m_server, m_tokens);
    m_server.addFault(FakeHrRoute::Configuration, fault);

    const APIResponse response
            = callOn(onWorker, [] { return APIClient::instance().get(configPath, true, false); });

    QCOMPARE(response.statusCode, httpStatus.value_or(0));
    QCOMPARE(response.body.isEmpty(),
             fault.kind == FakeHrFault::Kind::Answer && fault.body.isEmpty());
    if (kind == noError) {
        QCOMPARE(response.error, std::nullopt);
        return;
    }
    QVERIFY(response.error);
    QCOMPARE(int(response.error->kind), kind);
    QCOMPARE(response.error->httpStatus, httpStatus);
    QCOMPARE(response.error->message, message);
    QCOMPARE(response.error->serverMessage, serverMessage);
    QCOMPARE(response.error->networkError, std::nullopt);
}

void TestAPIClient::refreshesOnceOnUnauthorized_data()
{
    QTest::addColumn<bool>("allowRefresh");
    QTest::addColumn<bool>("refresherInstalled");
    QTest::addColumn<ITokenRefresher::Result>("result");
    QTest::addColumn<bool>("refreshIssuesTokens");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("exchanges");
    QTest::addColumn<int>("refreshes");

    using Result = ITokenRefresher::Result;
    const int unauthorized = int(APIError::Kind::Unauthorized);
    QTest::newRow("refreshed, then success")
            << true << true << Result::Refreshed << true << noError << 2 << 1;
    QTest::newRow("refreshed, then unauthorized again")
            << true << true << Result::Refreshed << false << unauthorized << 2 << 1;
    QTest::newRow("deferred") << true << true << Result::Deferred << false
                              << int(APIError::Kind::RefreshDeferred) << 1 << 1;
    QTest::newRow("failed") << true << true << Result::Failed << false << unauthorized << 1 << 1;
    QTest::newRow("refresh not allowed")
            << false << true << Result::Refreshed << true << unauthorized << 1 << 0;
    QTest::newRow("no refresher installed")
            << true << false << Result::Refreshed << true << unauthorized << 1 << 0;
}

void TestAPIClient::refreshesOnceOnUnauthorized()
{
    QFETCH(bool, allowRefresh);
    QFETCH(bool, refresherInstalled);
    QFETCH(ITokenRefresher::Result, result);
    QFETCH(bool, refreshIssuesTokens);
    QFETCH(int, kind);
    QFETCH(int, exchanges);
    QFETCH(int, refreshes);
    const QString expiredToken = signIn(m_server, m_tokens).accessToken;
    m_server.expireAccessToken();
    QString refreshedToken;
    m_refresher.result = result;
    if (refreshIssuesTokens)
        m_refresher.action = [&] { refreshedToken = signIn(m_server, m_tokens).accessToken; };
    if (refresherInstalled)
        APIClient::setTokenRefresher(&m_refresher);

    const APIResponse response = APIClient::instance().get(configPath, true, allowRefresh);

    QCOMPARE(m_refresher.calls, refreshes);
    const QList<TestSupport::RecordedRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), exchanges);
    QCOMPARE(requests.first().bearerToken, expiredToken);
    if (kind == noError) {
        QCOMPARE(response.error, std::nullopt);
        QCOMPARE(response.statusCode, 200);
        QCOMPARE(requests.last().bearerToken, refreshedToken);
        return;
    }
    QVERIFY(response.error);
    QCOMPARE(int(response.error->kind), kind);
    QCOMPARE(response.statusCode, 401);
    if (kind == int(APIError::Kind::Unauthorized))
        QCOMPARE(response.error->serverMessage, OptionalText(u"Unauthenticated."_s));
    else
        QCOMPARE(response.error->serverMessage, std::nullopt);
}

void TestAPIClient::refreshesBeforeMultipartNearExpiry_data()
{
    QTest::addColumn<int>("secondsLeft");
    QTest::addColumn<bool>("expiryKnown");
    QTest::addColumn<bool>("allowRefresh");
    QTest::addColumn<int>("refreshes");

    QTest::newRow("expires within the request timeout") << 60 << true << true << 1;
    QTest::newRow("already expired") << -30 << true << true << 1;
    QTest::newRow("expires well after the request timeout") << 600 << true << true << 0;
    QTest::newRow("expiry unknown") << 60 << false << true << 0;
    QTest::newRow("refresh not allowed") << 60 << true << false << 0;
}

void TestAPIClient::refreshesBeforeMultipartNearExpiry()
{
    QFETCH(int, secondsLeft);
    QFETCH(bool, expiryKnown);
    QFETCH(bool, allowRefresh);
    QFETCH(int, refreshes);
    const TestSupport::FakeHrTokens issued = m_server.issueTokens();
    m_tokens.save(authTokens(issued, expiryKnown
                                             ? QDateTime::currentDateTimeUtc().addSecs(secondsLeft)
                                             : QDateTime()));
    int uploadsSeenByRefresh = -1;
    QString refreshedToken;
    m_refresher.action = [&] {
        uploadsSeenByRefresh = m_server.requestCount(FakeHrRoute::Screenshots);
        refreshedToken = signIn(m_server, m_tokens).accessToken;
    };
    APIClient::setTokenRefresher(&m_refresher);

    const APIResponse response = APIClient::instance().postMultipart(
            screenshotsPath, multipartBody("b0undary"), "b0undary", true, allowRefresh);

    QCOMPARE(m_refresher.calls, refreshes);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Screenshots), 1);
    const TestSupport::RecordedRequest upload = m_server.requests(FakeHrRoute::Screenshots).first();
    QCOMPARE(upload.header("Content-Type"), "multipart/form-data; boundary=b0undary"_ba);
    QVERIFY(response.statusCode != 401);
    if (refreshes > 0) {
        QCOMPARE(uploadsSeenByRefresh, 0);
        QCOMPARE(upload.bearerToken, refreshedToken);
    } else {
        QCOMPARE(upload.bearerToken, issued.accessToken);
    }
}

void TestAPIClient::logsRequestsWithSecretsRedacted_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<OptionalBytes>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QStringList>("expected");

    const QByteArray json = "application/json";
    QTest::newRow("recovery code in the path is hidden, the query left out")
            << "GET"_ba << u"authentication/password/recovery/123456?lang=en"_s << OptionalBytes()
            << json
            << QStringList{
                   u"API request: GET /api/v1/authentication/password/recovery/<redacted>"_s
               };
    QTest::newRow("reset path is kept, its secrets hidden")
            << "POST"_ba << u"authentication/password/recovery/reset"_s
            << OptionalBytes(R"({"token":"246810","password":"n3w","app_code":"hr"})") << json
            << QStringList{
                   u"API request: POST /api/v1/authentication/password/recovery/reset"_s,
                   u"Payload: {\n    \"app_code\": \"hr\",\n    \"password\":\"<redacted>\",\n"
                   u"    \"token\":\"<redacted>\"\n}\n"_s
               };
    QTest::newRow("escaped quote inside a password is hidden whole")
            << "POST"_ba << u"authentication/singleLogin"_s
            << OptionalBytes(R"({"email":"ada@example.com","password":"pa\"ss"})") << json
            << QStringList{ u"API request: POST /api/v1/authentication/singleLogin"_s,
                            u"Payload: {\n    \"email\": \"ada@example.com\",\n"
                            u"    \"password\":\"<redacted>\"\n}\n"_s };
    QTest::newRow("multipart body shows its size, never its bytes")
            << "POST"_ba << screenshotsPath << OptionalBytes(QByteArray(1234, '\xff'))
            << "multipart/form-data; boundary=XyZ"_ba
            << QStringList{ u"API request: POST /api/v1/"_s + screenshotsPath,
                            u"Payload: <1234 bytes multipart/form-data; boundary=XyZ body>"_s };
    QTest::newRow("empty body writes no payload line")
            << "POST"_ba << u"authentication/logout"_s << OptionalBytes(QByteArray()) << json
            << QStringList{ u"API request: POST /api/v1/authentication/logout"_s };
}

void TestAPIClient::logsRequestsWithSecretsRedacted()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(OptionalBytes, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QStringList, expected);
    MessageCapture capture;

    APIClient::instance().call(path, method, body, contentType, false, false);

    QCOMPARE(requestLogLines(capture), expected);
}

void TestAPIClient::describesPayloadsForTheLog_data()
{
    QTest::addColumn<OptionalBytes>("body");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no body") << OptionalBytes() << 2000 << u"nil"_s;
    QTest::newRow("JSON is indented and redacted")
            << OptionalBytes(R"({"refresh_token":"r-1"})") << 2000
            << u"{\n    \"refresh_token\":\"<redacted>\"\n}\n"_s;
    QTest::newRow("text bearer credential is hidden")
            << OptionalBytes("Authorization: Bearer abc.DEF~+/==") << 2000
            << u"Authorization: Bearer <redacted>"_s;
    QTest::newRow("lower-case bearer is left alone")
            << OptionalBytes("bearer abc.def") << 2000 << u"bearer abc.def"_s;
    QTest::newRow("binary body is counted") << OptionalBytes("\xff\xfe\x00\x01"_ba) << 2000
                                            << u"Non-UTF8 binary payload (4 bytes)"_s;
    QTest::newRow("body ending inside a character is counted")
            << OptionalBytes("abc\xC3"_ba) << 2000 << u"Non-UTF8 binary payload (4 bytes)"_s;
    QTest::newRow("cut never splits a character of two units")
            << OptionalBytes("aaaa\xF0\x9F\x98\x80"
                             "bb")
            << 5 << u"aaaa…(8 chars total)"_s;
    QTest::newRow("long text is cut with its length")
            << OptionalBytes(QByteArray(30, 'a')) << 10 << u"aaaaaaaaaa…(30 chars total)"_s;
    QTest::newRow("text of exactly the maximum is kept")
            << OptionalBytes(QByteArray(10, 'a')) << 10 << u"aaaaaaaaaa"_s;
    QTest::newRow("redaction comes before the cut")
            << OptionalBytes(R"(x "password":"0123456789")") << 20
            << uR"(x "password":"<redac…(25 chars total))"_s;
}

void TestAPIClient::describesPayloadsForTheLog()
{
    QFETCH(OptionalBytes, body);
    QFETCH(int, maximum);
    QFETCH(QString, expected);

    QCOMPARE(APIClient::describePayloadForLog(body, maximum), expected);
}

void TestAPIClient::unresolvablePathFailsWithoutRequestOrLog()
{
    MessageCapture capture;

    const APIResponse response
            = APIClient::instance().get(u"http://[broken/config"_s, false, false);

    QVERIFY(response.error);
    QCOMPARE(response.error->kind, APIError::Kind::InvalidUrl);
    QCOMPARE(response.error->message, u"Invalid URL"_s);
    QCOMPARE(requestLogLines(capture), QStringList());
    APIClient::instance().postJson(u"authentication/logout"_s, {}, false, false); // a marker
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(m_server.requests().first().route, FakeHrRoute::Logout);
}

void TestAPIClient::tokenWithALineBreakIsNeverSent_data()
{
    reachesTheEnvironmentBaseOverTls_data();
}

void TestAPIClient::tokenWithALineBreakIsNeverSent()
{
    QFETCH(bool, onWorker);
    // A token from the server that ends a header line would add headers of its own choosing.
    TestSupport::FakeHrTokens issued = m_server.issueTokens();
    issued.accessToken += u"\r\nX-Injected: 1"_s;
    m_tokens.save(authTokens(issued, QDateTime::currentDateTimeUtc().addSecs(3600)));

    const APIResponse response
            = callOn(onWorker, [] { return APIClient::instance().get(configPath, true, false); });

    QVERIFY(response.error);
    QCOMPARE(response.error->kind, APIError::Kind::Network);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 0);
}

void TestAPIClient::reachesTheEnvironmentBaseOverTls_data()
{
    QTest::addColumn<bool>("onWorker");
    QTest::newRow("this thread") << false;
    QTest::newRow("worker thread") << true;
}

void TestAPIClient::reachesTheEnvironmentBaseOverTls()
{
    QFETCH(bool, onWorker);
    FakeHrServer tlsServer(FakeHrServer::Transport::Https);
    QVERIFY(tlsServer.start());
    TestSupport::TestCertificate::trustInProcess(&APIClient::networkAccessManager());
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    qputenv("TEMBRIX_API_BASE_URL", '"' + tlsServer.baseUrl().toEncoded() + '"');
    const QString token = signIn(tlsServer, m_tokens).accessToken;

    const APIResponse response
            = callOn(onWorker, [] { return APIClient::instance().get(configPath, true, false); });

    QCOMPARE(response.error, std::nullopt);
    QCOMPARE(response.statusCode, 200);
    QCOMPARE(tlsServer.requestCount(FakeHrRoute::Configuration), 1);
    QCOMPARE(tlsServer.requests().first().bearerToken, token);
    QCOMPARE(m_server.requestCount(), 0);
}

void TestAPIClient::pooledTlsConnectionLeavesNoWarningAtExit()
{
    // The test above ends with a TLS connection in this thread's pool, and the program with it.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { u"reachesTheEnvironmentBaseOverTls"_s });

    QVERIFY(child.waitForFinished(childRunWaitMs));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(child.readAllStandardError()), QString());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAPIClient)
#include "tst_apiclient.moc"
