#include "FakeHrServer.h"
#include "TestCertificate.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

constexpr int ReplyTimeoutMs = 10000;

struct Exchange
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray contentType;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QJsonObject data() const { return json().value("data"_L1).toObject(); }
};

// A plain client, standing in for the real one, on the test thread.
class Client final
{
public:
    QNetworkReply *send(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                        const QString &token = {},
                        const QByteArray &contentType = "application/json")
    {
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
        request.setRawHeader("Accept", "application/json");
        request.setRawHeader("app-client", "linux");
        request.setRawHeader("X-App", "hr");
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
        return manager.sendCustomRequest(request, method, body);
    }

    static Exchange finish(QNetworkReply *reply)
    {
        std::unique_ptr<QNetworkReply> owner(reply);
        if (!reply->isFinished()) {
            QSignalSpy finished(reply, &QNetworkReply::finished);
            finished.wait(ReplyTimeoutMs);
        }
        return Exchange{ reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                         reply->error(), reply->readAll(), reply->rawHeader("Content-Type") };
    }

    Exchange call(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                  const QString &token = {})
    {
        return finish(send(method, url, body, token));
    }

    QNetworkAccessManager manager;
};

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray heartbeatBody(int totalSeconds)
{
    return QByteArray(
                   R"({"device_uuid":"D1","session_uuid":"5B3C9A4E-0000-4000-8000-000000000001",)"
                   R"("task_id":"","started_at":"2025-03-04T09:00:00+07:00","total_seconds":%1,)"
                   R"("mouse_movements":3,"key_press_count":4,"activity_rate":50.0,)"
                   R"("status":"active","intervals":[],"stopped_at":null})")
            .replace("%1", QByteArray::number(totalSeconds));
}

QByteArray multipartBody(const QByteArray &boundary, const QByteArray &fileName,
                         const QByteArray &bytes)
{
    return "--" + boundary
           + "\r\nContent-Disposition: form-data; name=\"screenshots[]\"; filename=\"" + fileName
           + "\"\r\nContent-Type: image/jpeg\r\n\r\n" + bytes + "\r\n--" + boundary + "--\r\n";
}

} // namespace

class TestFakeHrServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keepsOneConnectionAliveAcrossRequests();
    void recordsHeadersInSentOrder();
    void servesTlsOnceTrustedInProcess();
    void answersEveryRouteWithItsData_data();
    void answersEveryRouteWithItsData();
    void rejectsSignedInRoutesWithoutTheCurrentToken_data();
    void rejectsSignedInRoutesWithoutTheCurrentToken();
    void signsInByEachVariant_data();
    void signsInByEachVariant();
    void finishesCodeAndSecondFactorSteps();
    void rotatesTokensOnRefresh();
    void reportsTodayTotalInHeartbeat();
    void acceptsSegmentIndices_data();
    void acceptsSegmentIndices();
    void parsesMultipartScreenshots();
    void buildsTheReportFromUploads();
    void answersScriptedFaults_data();
    void answersScriptedFaults();
    void failsOnlyTheBurstOfRequests();
    void delaysTheAnswer();
    void hangsWithoutAnswering();
    void stallsAfterPartOfTheAnswer();
    void closesWithoutAnswering();
    void holdsAnswersAtBarrierUntilEnoughArrive();
    void refusesConnectionsUntilResumedOnSamePort();
    void waitsForRequestsOrTimesOut();
    void takesFaultsThroughControlInterface();

private:
    QUrl api(const QString &path) const { return m_server->baseUrl().resolved(QUrl(path)); }
    QUrl configUrl() const { return api(u"hr/clockwarden/employees/config"_s); }
    QString signIn();

    std::unique_ptr<FakeHrServer> m_server;
    std::unique_ptr<Client> m_client;
};

void TestFakeHrServer::init()
{
    m_server = std::make_unique<FakeHrServer>();
    QVERIFY(m_server->start());
    m_client = std::make_unique<Client>();
}

void TestFakeHrServer::cleanup()
{
    m_client.reset();
    m_server.reset();
}

QString TestFakeHrServer::signIn()
{
    return m_server->issueTokens().accessToken;
}

void TestFakeHrServer::keepsOneConnectionAliveAcrossRequests()
{
    const QString token = signIn();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_client->call("GET", configUrl(), {}, token).status, 200);

    const QList<RecordedRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.at(0).connectionId, requests.at(2).connectionId);
    QCOMPARE(requests.at(2).order, 3);

    m_client->manager.clearConnectionCache();
    QVERIFY(m_client->call("GET", configUrl(), {}, token).status == 200);
    QVERIFY(m_server->requests().last().connectionId != requests.at(0).connectionId);
}

void TestFakeHrServer::recordsHeadersInSentOrder()
{
    const Exchange answer = m_client->call("GET", configUrl(), {}, signIn());

    QCOMPARE(answer.status, 200);
    const RecordedRequest request = m_server->requests().constFirst();
    const QList<QByteArray> ours{ "content-type", "accept", "app-client", "x-app",
                                  "authorization" };
    QList<QByteArray> names = request.headerNames();
    names.removeIf([&](const QByteArray &name) { return !ours.contains(name); });
    QCOMPARE(names, ours);
    QCOMPARE(request.bearerToken, m_server->currentTokens()->accessToken);
    QCOMPARE(request.header("X-APP"), QByteArray("hr"));
}

void TestFakeHrServer::servesTlsOnceTrustedInProcess()
{
    FakeHrServer server(FakeHrServer::Transport::Https);
    QVERIFY(server.start());
    const QUrl url = server.baseUrl().resolved(QUrl(u"authentication/generateOtp"_s));
    const QByteArray body
            = compact({ { u"email"_s, u"ada@example.com"_s }, { u"via"_s, u"email"_s } });

    QCOMPARE(m_client->call("POST", url, body).error, QNetworkReply::SslHandshakeFailedError);

    TestCertificate::trustInProcess(&m_client->manager);
    const Exchange trusted = m_client->call("POST", url, body);
    QCOMPARE(trusted.error, QNetworkReply::NoError);
    QCOMPARE(trusted.status, 200);
    QCOMPARE(server.requestCount(FakeHrRoute::GenerateOtp), 1);
}

void TestFakeHrServer::answersEveryRouteWithItsData_data()
{
    QTest::addColumn<QByteArray>("request"); // method and path
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<FakeHrRoute>("route");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("dataKey"); // a key the answer's "data" holds, or empty

    const auto row = [](const char *name, const char *request, const QByteArray &body,
                        FakeHrRoute route, int status, const char *dataKey = "") {
        QTest::newRow(name) << QByteArray(request) << body << route << status
                            << QString::fromLatin1(dataKey);
    };
    using Route = FakeHrRoute;
    row("password recovery", "POST authentication/password/recovery",
        R"({"email":"ada@example.com","mobile":1})", Route::PasswordRecovery, 200);
    row("reset-code check", "GET authentication/password/recovery/246810", {},
        Route::PasswordRecoveryCheck, 200, "valid");
    row("unknown reset code", "GET authentication/password/recovery/111111", {},
        Route::PasswordRecoveryCheck, 404);
    row("password reset", "POST authentication/password/recovery/reset",
        R"({"token":"246810","password":"new password","appCode":"hr"})", Route::PasswordReset,
        200);
    row("configuration", "GET hr/clockwarden/employees/config", {}, Route::Configuration, 200,
        "today_total_seconds");
    row("screenshot report", "GET hr/clockwarden/reporting/screenshots/employees?date=2025-03-04",
        {}, Route::ScreenshotReport, 200, "hours");
    row("report without date", "GET hr/clockwarden/reporting/screenshots/employees", {},
        Route::ScreenshotReport, 422);
    row("session start", "POST hr/clockwarden/employees/sessions/start",
        R"({"device_uuid":"D1","session_uuid":"S1","task_id":"","started_at":"2025-03-04T09:00:00+07:00"})",
        Route::SessionStart, 201, "session_uuid");
    row("session start without session", "POST hr/clockwarden/employees/sessions/start",
        R"({"device_uuid":"D1"})", Route::SessionStart, 422);
    row("heartbeat", "POST hr/clockwarden/employees/sessions/heartbeat", heartbeatBody(60),
        Route::Heartbeat, 200, "today_date");
    row("body that is no JSON", "POST hr/clockwarden/employees/sessions/heartbeat", "{oops",
        Route::Heartbeat, 400);
    row("logout", "POST authentication/logout", R"({"refresh_token":"x"})", Route::Logout, 200);
    row("unknown path", "GET hr/clockwarden/nothing", {}, Route::Unknown, 404);
    row("company prefix", "GET /acme/api/v1/hr/clockwarden/employees/config", {},
        Route::Configuration, 200, "projects");
}

void TestFakeHrServer::answersEveryRouteWithItsData()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, body);
    QFETCH(FakeHrRoute, route);
    QFETCH(int, status);
    QFETCH(QString, dataKey);
    const QList<QByteArray> methodAndPath = request.split(' ');

    const Exchange answer = m_client->call(
            methodAndPath.at(0), api(QString::fromLatin1(methodAndPath.at(1))), body, signIn());

    QCOMPARE(answer.status, status);
    QCOMPARE(answer.contentType, QByteArray("application/json"));
    QVERIFY(!answer.json().isEmpty());
    if (!dataKey.isEmpty())
        QVERIFY2(answer.data().contains(dataKey), answer.body.constData());
    QCOMPARE(m_server->requests().constFirst().route, route);
}

void TestFakeHrServer::rejectsSignedInRoutesWithoutTheCurrentToken_data()
{
    QTest::addColumn<QString>("token");
    QTest::newRow("no token") << QString();
    QTest::newRow("unknown token") << u"forged"_s;
    QTest::newRow("replaced token") << u"access-token-1"_s;
}

void TestFakeHrServer::rejectsSignedInRoutesWithoutTheCurrentToken()
{
    QFETCH(QString, token);
    m_server->issueTokens();
    m_server->issueTokens(); // access-token-1 is no longer current

    const Exchange answer = m_client->call("GET", configUrl(), {}, token);

    QCOMPARE(answer.status, 401);
    QCOMPARE(answer.json().value("message"_L1).toString(), u"Unauthenticated."_s);
}

void TestFakeHrServer::signsInByEachVariant_data()
{
    QTest::addColumn<FakeHrScenario::SignIn>("variant");
    QTest::addColumn<QString>("tokenPath"); // where the access token sits, "" when none is issued
    QTest::addColumn<QString>("flag");      // a key that must be in "data"

    using SignIn = FakeHrScenario::SignIn;
    QTest::newRow("direct with nested tokens")
            << SignIn::DirectNested << u"data/data"_s << u"init"_s;
    QTest::newRow("direct with loose tokens") << SignIn::DirectLoose << u"data"_s << u"init"_s;
    QTest::newRow("company selection")
            << SignIn::CompanySelection << u"data/data"_s << u"companies"_s;
    QTest::newRow("e-mail code") << SignIn::EmailCode << QString() << u"otp_required"_s;
    QTest::newRow("two-factor") << SignIn::TwoFactor << QString() << u"pending_token"_s;
}

void TestFakeHrServer::signsInByEachVariant()
{
    QFETCH(FakeHrScenario::SignIn, variant);
    QFETCH(QString, tokenPath);
    QFETCH(QString, flag);
    m_server->updateScenario([&](FakeHrScenario &scenario) { scenario.signIn = variant; });

    const Exchange answer = m_client->call(
            "POST", api(u"authentication/singleLogin"_s),
            R"({"email":"Ada@Example.com","password":"correct horse","remember_me":1,"use_jwt":1})");

    QCOMPARE(answer.status, 200);
    QVERIFY2(answer.data().contains(flag), answer.body.constData());
    QCOMPARE(m_server->currentTokens().has_value(), !tokenPath.isEmpty());
    if (tokenPath.isEmpty())
        return;
    QJsonObject tokens = answer.json();
    for (const QString &key : tokenPath.split(u'/'))
        tokens = tokens.value(key).toObject();
    QCOMPARE(tokens.value("access_token"_L1).toString(), m_server->currentTokens()->accessToken);
    const QString origin = m_server->origin().toString();
    QVERIFY(answer.body.contains(origin.toUtf8())); // "{origin}" was filled in
    QVERIFY(!answer.body.contains("{origin}"));
}

void TestFakeHrServer::finishesCodeAndSecondFactorSteps()
{
    const QByteArray codeStep
            = R"({"email":"ada@example.com","password":"123456","remember_me":1,"use_jwt":1,"is_otp":1})";
    QCOMPARE(m_client->call("POST", api(u"authentication/singleLogin"_s), codeStep).status, 200);
    QCOMPARE(m_server->currentTokens()->accessToken, u"access-token-1"_s);

    const QUrl verify = api(u"tfa/verify"_s);
    const QByteArray twoFactor
            = R"({"email":"ada@example.com","code":"%1","use_jwt":true,"include_init":true})";
    const Exchange wrong
            = m_client->call("POST", verify, QByteArray(twoFactor).replace("%1", "000000"));
    QCOMPARE(wrong.status, 422);
    QVERIFY(wrong.json().value("errors"_L1).toObject().contains("code"_L1));

    const Exchange right
            = m_client->call("POST", verify, QByteArray(twoFactor).replace("%1", "654321"));
    QCOMPARE(right.status, 200);
    QCOMPARE(right.data().value("data"_L1).toObject().value("access_token"_L1).toString(),
             u"access-token-2"_s);
}

void TestFakeHrServer::rotatesTokensOnRefresh()
{
    const FakeHrTokens first = m_server->issueTokens();
    const QUrl refresh = api(u"authentication/refresh"_s);
    const QByteArray firstRefresh = compact({ { u"refresh_token"_s, first.refreshToken } });

    const Exchange rotated = m_client->call("POST", refresh, firstRefresh);
    QCOMPARE(rotated.status, 200);
    const QJsonObject tokens = rotated.data();
    QCOMPARE(tokens.value("access_token"_L1).toString(), u"access-token-2"_s);
    QCOMPARE(tokens.value("refresh_token"_L1).toString(), u"refresh-token-2"_s);
    QVERIFY(!tokens.value("expires_at"_L1).toString().isEmpty());

    QCOMPARE(m_client->call("POST", refresh, firstRefresh).status, 401);
    const QUrl config = configUrl();
    QCOMPARE(m_client->call("GET", config, {}, first.accessToken).status, 401);
    QCOMPARE(m_client->call("GET", config, {}, u"access-token-2"_s).status, 200);
}

void TestFakeHrServer::reportsTodayTotalInHeartbeat()
{
    m_server->updateScenario([](FakeHrScenario &scenario) {
        scenario.todayTotalSeconds = 7200;
        scenario.todayDate = u"2025-03-04"_s;
    });

    const Exchange answer
            = m_client->call("POST", api(u"hr/clockwarden/employees/sessions/heartbeat"_s),
                             heartbeatBody(300), signIn());

    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.data().value("today_total_seconds"_L1).toInt(), 7500);
    QCOMPARE(answer.data().value("today_date"_L1).toString(), u"2025-03-04"_s);
}

void TestFakeHrServer::acceptsSegmentIndices_data()
{
    QTest::addColumn<std::optional<QList<int>>>("scripted");
    QTest::addColumn<QList<int>>("accepted");
    QTest::newRow("every segment by default")
            << std::optional<QList<int>>() << QList<int>{ 0, 1, 2 };
    QTest::newRow("scripted indices, one out of range")
            << std::optional<QList<int>>(QList<int>{ 0, 2, 7 }) << QList<int>{ 0, 2, 7 };
}

void TestFakeHrServer::acceptsSegmentIndices()
{
    QFETCH(std::optional<QList<int>>, scripted);
    QFETCH(QList<int>, accepted);
    m_server->updateScenario(
            [&](FakeHrScenario &scenario) { scenario.acceptedSegmentIndices = scripted; });
    const QByteArray segment = R"({"segment_date":"2025-03-04","segment_number":54})";

    const Exchange answer = m_client->call(
            "POST", api(u"hr/clockwarden/employees/segments/batch"_s),
            R"({"device_uuid":"D1","segments":[)" + segment + ',' + segment + ',' + segment + "]}",
            signIn());

    QCOMPARE(answer.status, 200);
    QList<int> indices;
    for (const QJsonValue &index : answer.data().value("accepted"_L1).toArray())
        indices.append(index.toInt());
    QCOMPARE(indices, accepted);
}

void TestFakeHrServer::parsesMultipartScreenshots()
{
    const QByteArray boundary = "Boundary-0f8e3c1a-7d2b-4c9e-a1f0-123456789abc";
    const QByteArray name = "5B3C9A4E-0000-4000-8000-000000000001_2025-03-04T09-15-00+07-00_0.jpg";
    const QByteArray jpeg("\xff\xd8\xff\xe0 not quite a picture \r\n--Boundary \xff\xd9", 36);
    QNetworkReply *reply = m_client->send(
            "POST",
            api(u"hr/clockwarden/employees/sessions/5B3C9A4E-0000-4000-8000-000000000001/screenshots"_s),
            multipartBody(boundary, name, jpeg), signIn(),
            "multipart/form-data; boundary=" + boundary);

    QCOMPARE(Client::finish(reply).status, 201);
    const QList<MultipartPart> parts = m_server->requests().constFirst().parts;
    QCOMPARE(parts.size(), 1);
    QCOMPARE(parts.at(0).name, u"screenshots[]"_s);
    QCOMPARE(parts.at(0).fileName, QString::fromUtf8(name));
    QCOMPARE(parts.at(0).contentType, QByteArray("image/jpeg"));
    QCOMPARE(parts.at(0).data, jpeg);

    // The report's image addresses lead back to the stand-in, without API headers.
    QNetworkRequest file(m_server->origin().resolved(QUrl(u"/files/"_s + QString::fromUtf8(name))));
    const Exchange served = Client::finish(m_client->manager.get(file));
    QCOMPARE(served.status, 200);
    QCOMPARE(served.body, jpeg);
}

void TestFakeHrServer::buildsTheReportFromUploads()
{
    m_server->updateScenario([](FakeHrScenario &scenario) { scenario.reportFromUploads = true; });
    const QString token = signIn();
    // Bangkok time: 09:05-09:12, then from 09:20 open; the total puts its end at 09:35.
    const QByteArray heartbeat
            = R"({"device_uuid":"D1","session_uuid":"5B3C9A4E-0000-4000-8000-000000000001",)"
              R"("task_id":"","started_at":"2025-03-04T09:05:00+07:00","total_seconds":1320,)"
              R"("mouse_movements":100,"key_press_count":61,"activity_rate":50,)"
              R"("status":"active","intervals":[)"
              R"({"started_at":"2025-03-04T09:05:00+07:00","stopped_at":"2025-03-04T09:12:00+07:00"},)"
              R"({"started_at":"2025-03-04T09:20:00+07:00","stopped_at":null}]})";
    QCOMPARE(m_client->call("POST", api(u"hr/clockwarden/employees/sessions/heartbeat"_s),
                            heartbeat, token)
                     .status,
             200);
    const QByteArray batch
            = R"({"device_uuid":"D1","segments":[)"
              R"({"segment_date":"2025-03-04","segment_number":55,"activity_rate":80,"mouse_movements":30,"key_press_count":40},)"
              R"({"segment_date":"2025-03-04","segment_number":56,"activity_rate":40,"mouse_movements":10,"key_press_count":5}]})";
    QCOMPARE(m_client->call("POST", api(u"hr/clockwarden/employees/segments/batch"_s), batch, token)
                     .status,
             200);
    const QByteArray session = "5B3C9A4E-0000-4000-8000-000000000001";
    const QByteArray boundary = "Boundary-1";
    const QList<std::pair<QByteArray, QByteArray>> pictures{
        { session + "_2025-03-04T02-15-30Z_0.jpg", "\xff\xd8 first \xff\xd9" },
        { session + "_2025-03-04T09-31-00.250+07-00_0.jpg", "\xff\xd8 second \xff\xd9" },
        { session + "_2025-03-05T09-00-00+07-00_0.jpg", "\xff\xd8 next day \xff\xd9" },
    };
    for (const auto &[name, bytes] : pictures) {
        QNetworkReply *reply
                = m_client->send("POST",
                                 api(u"hr/clockwarden/employees/sessions/%1/screenshots"_s.arg(
                                         QString::fromLatin1(session))),
                                 multipartBody(boundary, name, bytes), token,
                                 "multipart/form-data; boundary=" + boundary);
        QCOMPARE(Client::finish(reply).status, 201);
    }

    const QJsonObject report
            = m_client->call("GET",
                             api(u"hr/clockwarden/reporting/screenshots/employees?date=2025-03-04"_s),
                             {}, token)
                      .data();

    // Segments 55 and 56 came in a batch; 54 and 57 share the rest of the heartbeat's counts
    // (60 moves, 16 keys) and take its rate.
    const QJsonObject summary = report["summary"_L1]["stats"_L1].toObject();
    QCOMPARE(summary["total_seconds"_L1].toInt(), 1320);
    QCOMPARE(summary["total_seconds_formatted"_L1].toString(), u"0h 22m"_s);
    QCOMPARE(summary["mouse_movements"_L1].toInt(), 100);
    QCOMPARE(summary["key_press_count"_L1].toInt(), 61);
    QCOMPARE(summary["activity_rate"_L1].toDouble(), 48.2); // weighted by working time
    const QJsonArray hours = report["hours"_L1].toArray();
    QCOMPARE(hours.size(), 1);
    QCOMPARE(hours.at(0)["hour"_L1].toInt(), 9);
    QCOMPARE(hours.at(0)["stats"_L1]["total_seconds"_L1].toInt(), 1320);
    QStringList segments;
    QList<QJsonObject> shots;
    for (const QJsonValue &segment : hours.at(0)["segments"_L1].toArray()) {
        segments << u"%1 %2-%3 %4s %5"_s.arg(segment["segment_number"_L1].toInt())
                            .arg(segment["segment_number_from"_L1].toString(),
                                 segment["segment_number_to"_L1].toString())
                            .arg(segment["stats"_L1]["total_seconds"_L1].toInt())
                            .arg(segment["indicator_color"_L1].toString());
        for (const QJsonValue &shot : segment["screenshots"_L1].toArray())
            shots << shot.toObject();
    }
    QCOMPARE(segments,
             QStringList({ u"54 09:00-09:10 300s orange"_s, u"55 09:10-09:20 120s green"_s,
                           u"56 09:20-09:30 600s orange"_s, u"57 09:30-09:40 300s orange"_s }));
    QCOMPARE(shots.size(), 2);
    QCOMPARE(shots.at(0)["captured_at"_L1].toString(), u"2025-03-04 09:15:30"_s);
    QCOMPARE(shots.at(1)["captured_at"_L1].toString(), u"2025-03-04 09:31:00"_s);
    for (int i = 0; i < 2; ++i) {
        const QUrl url(shots.at(i)["url"_L1].toString());
        QCOMPARE(url, m_server->origin().resolved(
                              QUrl(u"/files/"_s + QString::fromUtf8(pictures.at(i).first))));
        const Exchange served = Client::finish(m_client->manager.get(QNetworkRequest(url)));
        QCOMPARE(served.status, 200);
        QCOMPARE(served.body, pictures.at(i).second);
    }
}

void TestFakeHrServer::answersScriptedFaults_data()
{
    QTest::addColumn<FakeHrFault>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("bodyIsJson");

    QTest::newRow("401 with a message")
            << FakeHrFault::message(401, u"Token expired"_s) << 401 << true;
    QTest::newRow("404") << FakeHrFault::message(404, u"Session not found"_s) << 404 << true;
    QTest::newRow("409") << FakeHrFault::message(409, u"Taken over"_s) << 409 << true;
    QTest::newRow("410") << FakeHrFault::message(410, u"Gone"_s) << 410 << true;
    QTest::newRow("413") << FakeHrFault::message(413, u"Too large"_s) << 413 << true;
    QTest::newRow("422 with errors")
            << FakeHrFault::errors(422, u"started_at"_s, u"Bad date."_s) << 422 << true;
    QTest::newRow("502 with an empty body") << FakeHrFault::answer(502) << 502 << false;
    QTest::newRow("504 with HTML")
            << FakeHrFault::answer(504, "<html>" + QByteArray(300, 'x') + "</html>", "text/html")
            << 504 << false;
    QTest::newRow("malformed JSON") << FakeHrFault::malformedJson() << 200 << false;
    QTest::newRow("8 KiB body") << FakeHrFault::oversizedBody(500) << 500 << true;
}

void TestFakeHrServer::answersScriptedFaults()
{
    QFETCH(FakeHrFault, fault);
    QFETCH(int, status);
    QFETCH(bool, bodyIsJson);
    m_server->addFault(FakeHrRoute::Heartbeat, fault);
    const QUrl heartbeat = api(u"hr/clockwarden/employees/sessions/heartbeat"_s);
    const QString token = signIn();

    const Exchange faulty = m_client->call("POST", heartbeat, heartbeatBody(60), token);

    QCOMPARE(faulty.status, status);
    QCOMPARE(faulty.body, fault.body);
    QCOMPARE(faulty.contentType, fault.contentType);
    QCOMPARE(QJsonDocument::fromJson(faulty.body).isObject(), bodyIsJson);
    QCOMPARE(m_client->call("POST", heartbeat, heartbeatBody(60), token).status, 200);
}

void TestFakeHrServer::failsOnlyTheBurstOfRequests()
{
    m_server->addFault(FakeHrRoute::Configuration, FakeHrFault::answer(503).repeated(2));
    const QString token = signIn();
    QList<int> statuses;

    for (int i = 0; i < 3; ++i)
        statuses.append(m_client->call("GET", configUrl(), {}, token).status);

    QCOMPARE(statuses, (QList<int>{ 503, 503, 200 }));
    // The state stays as it was: a refresh answered with a fault rotates nothing.
    const FakeHrTokens tokens = *m_server->currentTokens();
    m_server->addFault(FakeHrRoute::Refresh, FakeHrFault::answer(500));
    const QByteArray body = compact({ { u"refresh_token"_s, tokens.refreshToken } });
    QCOMPARE(m_client->call("POST", api(u"authentication/refresh"_s), body).status, 500);
    QCOMPARE(m_server->currentTokens()->refreshToken, tokens.refreshToken);
}

void TestFakeHrServer::delaysTheAnswer()
{
    m_server->addFault(FakeHrRoute::Configuration, FakeHrFault::delay(2500));
    QNetworkReply *reply = m_client->send("GET", configUrl(), {}, signIn());

    QVERIFY(m_server->waitForRequests(1, FakeHrRoute::Configuration));
    QVERIFY(!reply->isFinished());
    QCOMPARE(Client::finish(reply).status, 200);
}

void TestFakeHrServer::hangsWithoutAnswering()
{
    m_server->addFault(FakeHrRoute::Heartbeat, FakeHrFault::hang());
    const QString token = signIn();
    std::unique_ptr<QNetworkReply> hanging(
            m_client->send("POST", api(u"hr/clockwarden/employees/sessions/heartbeat"_s),
                           heartbeatBody(60), token));
    QVERIFY(m_server->waitForRequests(1, FakeHrRoute::Heartbeat));

    // Another connection is served meanwhile; the hanging request still has nothing.
    QCOMPARE(m_client->call("GET", configUrl(), {}, token).status, 200);
    QVERIFY(!hanging->isFinished());
    QVERIFY(m_server->requests().constLast().connectionId
            != m_server->requests().constFirst().connectionId);

    hanging->abort();
    QCOMPARE(hanging->error(), QNetworkReply::OperationCanceledError);
}

void TestFakeHrServer::stallsAfterPartOfTheAnswer()
{
    m_server->addFault(FakeHrRoute::Configuration, FakeHrFault::partial());
    std::unique_ptr<QNetworkReply> reply(m_client->send("GET", configUrl(), {}, signIn()));
    QSignalSpy headers(reply.get(), &QNetworkReply::metaDataChanged);

    QVERIFY(headers.wait(ReplyTimeoutMs));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QVERIFY(!reply->isFinished());
    QTRY_VERIFY(reply->bytesAvailable() > 0);
    QVERIFY(reply->bytesAvailable()
            < reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    QVERIFY(!reply->isFinished());
    reply->abort();
}

void TestFakeHrServer::closesWithoutAnswering()
{
    m_server->addFault(FakeHrRoute::Configuration, FakeHrFault::closeWithoutAnswer().repeated(-1));

    const Exchange answer = m_client->call("GET", configUrl(), {}, signIn());

    QCOMPARE(answer.status, 0);
    QCOMPARE(answer.error, QNetworkReply::RemoteHostClosedError);
    QVERIFY(m_server->requestCount(FakeHrRoute::Configuration) >= 1);
}

void TestFakeHrServer::holdsAnswersAtBarrierUntilEnoughArrive()
{
    m_server->setBarrier(FakeHrRoute::Heartbeat, 2);
    const QString token = signIn();
    const QUrl heartbeat = api(u"hr/clockwarden/employees/sessions/heartbeat"_s);
    QNetworkReply *first = m_client->send("POST", heartbeat, heartbeatBody(60), token);
    QVERIFY(m_server->waitForRequests(1, FakeHrRoute::Heartbeat));

    QCOMPARE(m_client->call("GET", configUrl(), {}, token).status, 200);
    QVERIFY(!first->isFinished());

    QNetworkReply *second = m_client->send("POST", heartbeat, heartbeatBody(90), token);
    QCOMPARE(Client::finish(first).status, 200);
    QCOMPARE(Client::finish(second).status, 200);
}

void TestFakeHrServer::refusesConnectionsUntilResumedOnSamePort()
{
    const QString token = signIn();
    const QUrl config = configUrl();
    QCOMPARE(m_client->call("GET", config, {}, token).status, 200);

    m_server->stopListening();
    QCOMPARE(m_client->call("GET", config, {}, token).error, QNetworkReply::ConnectionRefusedError);

    QVERIFY(m_server->resumeListening());
    QCOMPARE(m_client->call("GET", config, {}, token).status, 200);
    QCOMPARE(m_server->requestCount(), 2);
}

void TestFakeHrServer::waitsForRequestsOrTimesOut()
{
    const QString token = signIn();
    QList<QNetworkReply *> replies;
    for (int i = 0; i < 3; ++i)
        replies.append(m_client->send("GET", configUrl(), {}, token));

    QVERIFY(m_server->waitForRequests(3, FakeHrRoute::Configuration));
    QVERIFY(!m_server->waitForRequests(1, FakeHrRoute::Heartbeat, 200));
    QVERIFY(m_server->waitForRequests(
            2, [&](const RecordedRequest &request) { return request.bearerToken == token; }));
    for (QNetworkReply *reply : replies)
        QCOMPARE(Client::finish(reply).status, 200);
}

void TestFakeHrServer::takesFaultsThroughControlInterface()
{
    const QUrl control = m_server->origin().resolved(QUrl(u"/__control/faults"_s));
    const QJsonObject fault{ { u"route"_s, u"config"_s },
                             { u"kind"_s, u"answer"_s },
                             { u"status"_s, 422 },
                             { u"errors"_s, QJsonObject{ { u"date"_s, u"Bad date."_s } } } };
    QCOMPARE(m_client->call("POST", control, compact(fault)).status, 200);

    const Exchange answer = m_client->call("GET", configUrl(), {}, signIn());

    QCOMPARE(answer.status, 422);
    QCOMPARE(
            answer.json().value("errors"_L1).toObject().value("date"_L1).toArray().at(0).toString(),
            u"Bad date."_s);
    const Exchange log
            = m_client->call("GET", m_server->origin().resolved(QUrl(u"/__control/requests"_s)));
    const QJsonArray requests = log.json().value("requests"_L1).toArray();
    QCOMPARE(requests.size(), 1); // control calls are not recorded
    QCOMPARE(requests.at(0).toObject().value("route"_L1).toString(), u"config"_s);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestFakeHrServer)
#include "tst_fakehrserver.moc"
