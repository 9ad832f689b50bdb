#include "TestEnvironment.h"

#include "AuthServiceFixture.h"
#include "LogTail.h"
#include "WorkerThread.h"

#include "models/RemoteConfig.h"
#include "models/ServerDateTime.h"
#include "services/server/AuthNotifications.h"
#include "services/server/AuthServiceTestHooks.h"
#include "storage/ApiTimezone.h"
#include "storage/Log.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <array>

using Networking::APIClient;
using Networking::APIError;
using Networking::APIResponse;
using Networking::ITokenRefresher;
using Services::AuthNotifications;
using Services::AuthService;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrScenario;
using namespace Qt::StringLiterals;

using Result = ITokenRefresher::Result;
using Decision = AuthService::RefreshDecision;
using OptionalKind = std::optional<APIError::Kind>;
Q_DECLARE_METATYPE(TestSupport::FakeHrFault)
Q_DECLARE_METATYPE(Result)
Q_DECLARE_METATYPE(Decision)
Q_DECLARE_METATYPE(OptionalKind)

namespace {

const QString configPath = u"hr/clockwarden/employees/config"_s;

AuthService &auth()
{
    return AuthService::instance();
}

APIResponse getConfig()
{
    return APIClient::instance().get(configPath, true, true);
}

OptionalKind errorKind(const APIResponse &response)
{
    return response.error ? OptionalKind(response.error->kind) : std::nullopt;
}

} // namespace

class TestAuthServiceRefresh : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void decidesWhoRefreshes_data();
    void decidesWhoRefreshes();
    void oneRefreshServesEveryWorker_data();
    void oneRefreshServesEveryWorker();
    void guiThreadDefersWhileAWorkerRefreshes();
    void nestedRefreshOnTheRefreshingThreadDefers();
    void waiterDefersAfterItsLimitWhileTheRefreshCompletes();
    void refreshAnswersAreApplied_data();
    void refreshAnswersAreApplied();
    void rejectedRefreshSignsOutAndPostsTheInvalidation();
    void refreshWithoutTokensSendsNothing();
    void throwingCredentialStoreLeavesNoRefreshInFlight();
    void logoutTellsTheServiceAndClearsEverything_data();
    void logoutTellsTheServiceAndClearsEverything();
    void logoutWithoutTokensSendsNothing();

private:
    void seedLocalSessionData();
    void verifyLocalSessionDataCleared();

    AuthBench m_bench;
};

void TestAuthServiceRefresh::initTestCase()
{
    // The notifier lives on the thread of its first use: this one, as in the program.
    AuthNotifications::instance();
    m_bench.start();
    Core::Log::install();
}

void TestAuthServiceRefresh::init()
{
    m_bench.reset();
    APIClient::setTokenRefresher(&auth());
}

void TestAuthServiceRefresh::cleanup()
{
    m_bench.server.clearBarriers();
    Services::AuthServiceTestHooks::setRefreshWaitLimitMs(0);
    APIClient::setTokenRefresher(nullptr);
}

void TestAuthServiceRefresh::seedLocalSessionData()
{
    Storage::saveUserProfile(u"Ada"_s, u"Acme"_s);
    Models::RemoteConfig config;
    config.appTimezone = u"Asia/Bangkok"_s;
    Services::ApiTimezone::storeFromConfig(config);
    QFile cache(Services::RemoteConfigService::cachePath());
    QVERIFY(cache.open(QIODevice::WriteOnly));
    cache.write(QJsonDocument(config.toJson()).toJson(QJsonDocument::Compact));
}

void TestAuthServiceRefresh::verifyLocalSessionDataCleared()
{
    const Storage::Preferences &preferences = Storage::Preferences::instance();
    QVERIFY(!preferences.contains(Storage::PreferenceKeys::apiBaseUrl));
    QVERIFY(!preferences.contains(Storage::PreferenceKeys::userName));
    QVERIFY(!preferences.contains(Storage::PreferenceKeys::companyName));
    QVERIFY(!preferences.contains(Storage::PreferenceKeys::apiTimezoneIdentifier));
    QVERIFY(!QFile::exists(Services::RemoteConfigService::cachePath()));
}

void TestAuthServiceRefresh::decidesWhoRefreshes_data()
{
    QTest::addColumn<bool>("inFlight");
    QTest::addColumn<bool>("refreshingThread");
    QTest::addColumn<bool>("guiThread");
    QTest::addColumn<Decision>("decision");

    QTest::newRow("idle, worker") << false << false << false << Decision::RefreshHere;
    QTest::newRow("idle, GUI") << false << false << true << Decision::RefreshHere;
    QTest::newRow("in flight, worker") << true << false << false << Decision::Wait;
    QTest::newRow("in flight, GUI") << true << false << true << Decision::Defer;
    QTest::newRow("in flight, refreshing worker") << true << true << false << Decision::Defer;
    QTest::newRow("in flight, refreshing GUI") << true << true << true << Decision::Defer;
}

void TestAuthServiceRefresh::decidesWhoRefreshes()
{
    QFETCH(bool, inFlight);
    QFETCH(bool, refreshingThread);
    QFETCH(bool, guiThread);
    QFETCH(Decision, decision);

    QCOMPARE(AuthService::refreshDecision(inFlight, refreshingThread, guiThread), decision);
}

void TestAuthServiceRefresh::oneRefreshServesEveryWorker_data()
{
    QTest::addColumn<FakeHrFault>("refreshFault");
    QTest::addColumn<OptionalKind>("error");
    QTest::addColumn<int>("gets");

    QTest::newRow("refresh succeeds") << FakeHrFault::delay(500) << OptionalKind() << 8;
    QTest::newRow("refresh answers 500") << FakeHrFault::answer(500).after(500)
                                         << OptionalKind(APIError::Kind::Unauthorized) << 4;
}

void TestAuthServiceRefresh::oneRefreshServesEveryWorker()
{
    QFETCH(FakeHrFault, refreshFault);
    QFETCH(OptionalKind, error);
    QFETCH(int, gets);
    const TestSupport::FakeHrTokens old = signIn(m_bench.server, m_bench.tokenStore);
    m_bench.server.expireAccessToken();
    // The four 401s reach the threads together.
    m_bench.server.setBarrier(FakeHrRoute::Configuration, 4);
    m_bench.server.addFault(FakeHrRoute::Refresh, refreshFault);
    std::array<APIResponse, 4> responses;

    {
        std::array<std::unique_ptr<WorkerThread>, 4> workers;
        for (std::size_t i = 0; i < workers.size(); ++i)
            workers[i] = std::make_unique<WorkerThread>([&, i] { responses[i] = getConfig(); });
        for (const auto &worker : workers)
            QVERIFY(worker->wait());
    }

    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 1);
    const QList<TestSupport::RecordedRequest> requests
            = m_bench.server.requests(FakeHrRoute::Configuration);
    QCOMPARE(requests.size(), gets);
    for (const APIResponse &response : responses)
        QCOMPARE(errorKind(response), error);
    const QString bearer = error ? old.accessToken : m_bench.server.currentTokens()->accessToken;
    for (qsizetype i = 4; i < requests.size(); ++i)
        QCOMPARE(requests.at(i).bearerToken, bearer);
    QCOMPARE(m_bench.storedTokens()->accessToken, bearer);
}

void TestAuthServiceRefresh::guiThreadDefersWhileAWorkerRefreshes()
{
    signIn(m_bench.server, m_bench.tokenStore);
    m_bench.server.expireAccessToken();
    m_bench.server.setBarrier(FakeHrRoute::Refresh, 2);
    const LogTail log;
    APIResponse workerResponse;

    WorkerThread worker([&] { workerResponse = getConfig(); });
    QVERIFY(m_bench.server.waitForRequests(1, FakeHrRoute::Refresh));
    const Result direct = auth().refreshTokens();
    const APIResponse guiResponse = getConfig();

    QCOMPARE(direct, Result::Deferred);
    QCOMPARE(errorKind(guiResponse), OptionalKind(APIError::Kind::RefreshDeferred));
    QVERIFY(!worker.isFinished());
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 1);
    QCOMPARE(log.count(u"[INFO] [auth]"_s,
                       u"Token refresh in flight; deferring instead of blocking (gui=1)"_s),
             2);

    m_bench.server.clearBarriers();
    QVERIFY(worker.wait());
    QCOMPARE(errorKind(workerResponse), OptionalKind());
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 1);
}

void TestAuthServiceRefresh::nestedRefreshOnTheRefreshingThreadDefers()
{
    signIn(m_bench.server, m_bench.tokenStore);
    m_bench.server.addFault(FakeHrRoute::Refresh, FakeHrFault::delay(600));
    std::optional<Result> nested;
    // Fires inside the HTTP client's local event loop while this thread's refresh is on the wire.
    QTimer::singleShot(100, this, [&] { nested = auth().refreshTokens(); });

    const Result outer = auth().refreshTokens();

    QCOMPARE(outer, Result::Refreshed);
    QCOMPARE(nested, std::optional<Result>(Result::Deferred));
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 1);
}

void TestAuthServiceRefresh::waiterDefersAfterItsLimitWhileTheRefreshCompletes()
{
    Services::AuthServiceTestHooks::setRefreshWaitLimitMs(300);
    signIn(m_bench.server, m_bench.tokenStore);
    m_bench.server.expireAccessToken();
    m_bench.server.setBarrier(FakeHrRoute::Refresh, 2);
    const LogTail log;
    APIResponse refreshing;
    std::optional<Result> waiter;

    WorkerThread first([&] { refreshing = getConfig(); });
    QVERIFY(m_bench.server.waitForRequests(1, FakeHrRoute::Refresh));
    WorkerThread second([&] { waiter = auth().refreshTokens(); });
    QVERIFY(second.wait());

    QCOMPARE(waiter, std::optional<Result>(Result::Deferred));
    QVERIFY(log.contains(u"[WARN] [auth]"_s,
                         u"Timed out waiting for in-flight token refresh; deferring"_s));
    QVERIFY(!first.isFinished());
    m_bench.server.clearBarriers();
    QVERIFY(first.wait());
    QCOMPARE(errorKind(refreshing), OptionalKind());
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 1);
    QCOMPARE(m_bench.storedTokens()->accessToken, m_bench.server.currentTokens()->accessToken);
}

void TestAuthServiceRefresh::refreshAnswersAreApplied_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<FakeHrFault>("fault");
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("logLine");

    const FakeHrFault none = FakeHrFault::delay(0);
    QTest::newRow("flat tokens") << u"flat"_s << none << Result::Refreshed
                                 << u"[INFO] [auth] Token refresh succeeded"_s;
    QTest::newRow("tokens in data inside data") << u"nested"_s << none << Result::Refreshed
                                                << u"[INFO] [auth] Token refresh succeeded"_s;
    QTest::newRow("no refresh token or its expiry") << u"omits"_s << none << Result::Refreshed
                                                    << u"[INFO] [auth] Token refresh succeeded"_s;
    QTest::newRow("answered 500")
            << u"flat"_s << FakeHrFault::answer(500) << Result::Failed
            << u"[ERROR] [auth] Token refresh failed transiently, keeping tokens: Server error 500"_s;
    QTest::newRow("answered 403")
            << u"flat"_s << FakeHrFault::answer(403) << Result::Failed
            << u"[ERROR] [auth] Token refresh failed transiently, keeping tokens: Server error 403"_s;
    QTest::newRow("not JSON") << u"flat"_s << FakeHrFault::malformedJson() << Result::Failed
                              << QString();
    QTest::newRow("does not decode")
            << u"flat"_s << FakeHrFault::answer(200, R"({"data":{"token_type":"Bearer"}})")
            << Result::Failed << u"[ERROR] [auth] Token refresh response decode failed"_s;
}

void TestAuthServiceRefresh::refreshAnswersAreApplied()
{
    QFETCH(QString, answer);
    QFETCH(FakeHrFault, fault);
    QFETCH(Result, result);
    QFETCH(QString, logLine);
    m_bench.server.updateScenario([&](FakeHrScenario &scenario) {
        scenario.refreshNested = answer == "nested"_L1;
        scenario.refreshOmitsRefreshToken = answer == "omits"_L1;
    });
    m_bench.server.addFault(FakeHrRoute::Refresh, fault);
    signIn(m_bench.server, m_bench.tokenStore);
    const Models::AuthTokens before = *m_bench.storedTokens();
    const LogTail log;

    QCOMPARE(auth().refreshTokens(), result);

    const QStringList authLines = log.lines().filter(u"] [auth] "_s);
    QCOMPARE(authLines.size(), logLine.isEmpty() ? 0 : 1);
    if (!logLine.isEmpty())
        QVERIFY2(authLines.constFirst().endsWith(logLine), qPrintable(authLines.constFirst()));
    const Models::AuthTokens after = *m_bench.storedTokens();
    if (result == Result::Failed) {
        QCOMPARE(after, before);
        return;
    }
    const TestSupport::FakeHrTokens issued = *m_bench.server.currentTokens();
    QCOMPARE(after.accessToken, issued.accessToken);
    QCOMPARE(after.expiresAtRaw, issued.expiresAt);
    QCOMPARE(after.expiresAt, Models::parseServerDateTime(issued.expiresAt, 3600));
    if (answer == "omits"_L1) {
        QCOMPARE(after.refreshToken, before.refreshToken);
        QCOMPARE(after.refreshExpiresAtRaw, before.refreshExpiresAtRaw);
    } else {
        QVERIFY(after.refreshToken != before.refreshToken);
        QCOMPARE(after.refreshToken, issued.refreshToken);
        QCOMPARE(after.refreshExpiresAtRaw, issued.refreshExpiresAt);
    }
    QCOMPARE(after.refreshExpiresAt, Models::parseServerDateTime(after.refreshExpiresAtRaw, 0));
    QCOMPARE(m_bench.server.requests(FakeHrRoute::Refresh).constFirst().jsonObject(),
             QJsonObject({ { u"refresh_token"_s, before.refreshToken } }));
    QVERIFY(!m_bench.server.requests(FakeHrRoute::Refresh).constFirst().hasHeader("Authorization"));
}

void TestAuthServiceRefresh::rejectedRefreshSignsOutAndPostsTheInvalidation()
{
    signIn(m_bench.server, m_bench.tokenStore);
    m_bench.server.addFault(FakeHrRoute::Refresh, FakeHrFault::answer(401));
    seedLocalSessionData();
    Storage::LastLoginStore::save(u"ada@example.com"_s);
    QSignalSpy invalidated(&AuthNotifications::instance(),
                           &AuthNotifications::authSessionDidInvalidate);
    const LogTail log;

    QCOMPARE(auth().refreshTokens(), Result::Failed);

    QCOMPARE(invalidated.count(), 0);
    QVERIFY(!m_bench.credentialEntryExists());
    verifyLocalSessionDataCleared();
    QVERIFY(log.contains(u"[ERROR] [auth]"_s, u"Token refresh rejected (401); clearing session"_s));
    QCOMPARE(Storage::LastLoginStore::load(), std::optional<QString>(u"ada@example.com"_s));
    QVERIFY(invalidated.wait(5000));
    QCOMPARE(invalidated.count(), 1);
}

void TestAuthServiceRefresh::refreshWithoutTokensSendsNothing()
{
    const LogTail log;

    QCOMPARE(auth().refreshTokens(), Result::Failed);

    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 0);
    QVERIFY(log.contains(u"[INFO] [auth]"_s, u"No tokens to refresh"_s));
}

void TestAuthServiceRefresh::throwingCredentialStoreLeavesNoRefreshInFlight()
{
    signIn(m_bench.server, m_bench.tokenStore);
    m_bench.credentials.failing = true;

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, auth().refreshTokens());
    m_bench.credentials.failing = false;

    // A flag left set would make this worker wait (and this GUI thread defer) forever.
    std::optional<Result> fromWorker;
    WorkerThread worker([&] { fromWorker = auth().refreshTokens(); });
    QVERIFY(worker.wait());
    QCOMPARE(fromWorker, std::optional<Result>(Result::Refreshed));
    QCOMPARE(auth().refreshTokens(), Result::Refreshed);
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 2);
}

void TestAuthServiceRefresh::logoutTellsTheServiceAndClearsEverything_data()
{
    QTest::addColumn<FakeHrFault>("fault");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("accepted") << FakeHrFault::delay(0) << u"[INFO] [auth] Logout succeeded"_s;
    QTest::newRow("answered 500") << FakeHrFault::answer(500)
                                  << u"[ERROR] [auth] Logout failed: Server error 500"_s;
}

void TestAuthServiceRefresh::logoutTellsTheServiceAndClearsEverything()
{
    QFETCH(FakeHrFault, fault);
    QFETCH(QString, logLine);
    const TestSupport::FakeHrTokens issued = signIn(m_bench.server, m_bench.tokenStore);
    m_bench.server.addFault(FakeHrRoute::Logout, fault);
    seedLocalSessionData();
    const LogTail log;

    auth().logout();

    const QList<TestSupport::RecordedRequest> requests
            = m_bench.server.requests(FakeHrRoute::Logout);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.constFirst().jsonObject(),
             QJsonObject({ { u"refresh_token"_s, issued.refreshToken } }));
    QCOMPARE(requests.constFirst().bearerToken, issued.accessToken);
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Refresh), 0);
    QVERIFY(!m_bench.credentialEntryExists());
    verifyLocalSessionDataCleared();
    const QStringList authLines = log.lines().filter(u"] [auth] "_s);
    QCOMPARE(authLines.size(), 1);
    QVERIFY2(authLines.constFirst().endsWith(logLine), qPrintable(authLines.constFirst()));
}

void TestAuthServiceRefresh::logoutWithoutTokensSendsNothing()
{
    seedLocalSessionData();
    const LogTail log;

    auth().logout();

    QCOMPARE(m_bench.server.requestCount(), 0);
    verifyLocalSessionDataCleared();
    QCOMPARE(log.lines().filter(u"] [auth] "_s).size(), 0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthServiceRefresh)

#include "tst_authservice_refresh.moc"
