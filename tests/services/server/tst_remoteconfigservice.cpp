#include "TestEnvironment.h"

#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "LogTail.h"
#include "WorkerThread.h"

#include "models/JsonDecodingError.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/RemoteConfigService.h"
#include "services/server/RemoteConfigServiceTestHooks.h"
#include "storage/Log.h"
#include "storage/Preferences.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>

using Models::RemoteConfig;
using Networking::APIError;
using Services::RemoteConfigService;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(TestSupport::FakeHrFault)

namespace {

// What one fetch ended with, so that a worker thread can hand it back.
struct Outcome
{
    std::optional<RemoteConfig> config;
    std::optional<APIError> apiError;
    // "SessionEnded", "FetchBusy", or the text of any other exception.
    QString failure;
};

template<typename Call>
Outcome outcomeOf(Call call)
{
    Outcome outcome;
    try {
        outcome.config = call();
    } catch (const APIError &error) {
        outcome.apiError = error;
    } catch (const RemoteConfigService::SessionEnded &) {
        outcome.failure = u"SessionEnded"_s;
    } catch (const RemoteConfigService::FetchBusy &) {
        outcome.failure = u"FetchBusy"_s;
    } catch (const std::exception &error) {
        outcome.failure = QString::fromUtf8(error.what());
    }
    return outcome;
}

Outcome fetch()
{
    return outcomeOf([] { return RemoteConfigService::instance().fetchConfig(); });
}

// The stored profile name as the preferences hold it: none when the key is absent.
OptionalText storedText(QLatin1StringView key)
{
    if (!Storage::Preferences::instance().contains(key))
        return std::nullopt;
    return Storage::Preferences::instance().value(key).toString();
}

QByteArray cacheBytes()
{
    QFile file(RemoteConfigService::cachePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool cacheExists()
{
    return QFile::exists(RemoteConfigService::cachePath());
}

void writeCache(const RemoteConfig &config)
{
    QFile file(RemoteConfigService::cachePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(config.toJson()).toJson(QJsonDocument::Compact));
}

RemoteConfig cachedSample()
{
    RemoteConfig config;
    config.deviceId = u"cached-device"_s;
    config.screenshotIntervalMinutes = 15;
    config.name = u"Cached Name"_s;
    return config;
}

// Stops and joins the refresh threads when it goes, before the test's locals do.
auto joinRefreshAtScopeEnd()
{
    return qScopeGuard([] { RemoteConfigService::instance().shutdownAndJoin(); });
}

} // namespace

class TestRemoteConfigService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void fetchCachesCompactJsonAndProfileNames_data();
    void fetchCachesCompactJsonAndProfileNames();
    void malformedAnswerFailsAsDecoding_data();
    void malformedAnswerFailsAsDecoding();
    void missingProjectsFailsWithTheDecoderMessage();
    void endSessionDuringFetchDiscardsTheAnswer();
    void fetchOrCachedFallsBackWhenTheServerIsDown_data();
    void fetchOrCachedFallsBackWhenTheServerIsDown();
    void fetchOrCachedNeverReplacesAnEndedSession();
    void cachedConfigReadsAsNoneWhenUnusable_data();
    void cachedConfigReadsAsNoneWhenUnusable();

    void guiFetchFailsBusyWhileAWorkerFetches();
    void guiFetchFromNestedLoopFailsBusy();
    void workerFetchesRunOneAfterTheOther();

    void waitFormulaCoversBothEnds_data();
    void waitFormulaCoversBothEnds();
    void startingTwiceRetiresTheFirstThread();
    void refreshThreadStartedOnPoolBelongsToGuiThread();
    void callbackRunsOnTheRefreshThread();
    void stopDuringHeldFetchDropsTheAnswer();
    void shutdownWithoutThreadReturnsAtOnce();
    void shutdownJoinsAWaitingThread();
    void stuckRefreshThreadEndsTheProcessWithStatus75();

private:
    FakeHrServer m_server;
    MemoryCredentialStore m_credentials;
    Storage::TokenStore m_tokens{ &m_credentials };
};

void TestRemoteConfigService::initTestCase()
{
    QVERIFY(m_server.start());
    Networking::APIClient::setTokenStore(&m_tokens);
    Core::Log::install();
}

void TestRemoteConfigService::init()
{
    m_server.reset();
    signIn(m_server, m_tokens);
    Networking::ApiEndpoint::saveOverride(m_server.baseUrl());
    Storage::clearUserProfile();
    QFile::remove(RemoteConfigService::cachePath());
    Services::RemoteConfigServiceTestHooks::setRefreshBaseWaitSeconds(1);
}

void TestRemoteConfigService::cleanup()
{
    RemoteConfigService::instance().shutdownAndJoin();
    m_server.clearBarriers();
    Networking::APIClient::setTokenRefresher(nullptr);
    Services::RemoteConfigServiceTestHooks::setRefreshBaseWaitSeconds(0);
}

void TestRemoteConfigService::fetchCachesCompactJsonAndProfileNames_data()
{
    QTest::addColumn<OptionalText>("sentName");
    QTest::addColumn<OptionalText>("sentCompany");
    QTest::addColumn<OptionalText>("storedName");
    QTest::addColumn<OptionalText>("storedCompany");
    QTest::addColumn<OptionalText>("expectedName");
    QTest::addColumn<OptionalText>("expectedCompany");

    const OptionalText none;
    const OptionalText empty = u""_s;
    const OptionalText ada = u"Ada"_s;
    const OptionalText acme = u"Acme"_s;
    const OptionalText old = u"Old Name"_s;
    const OptionalText oldCo = u"Old Co"_s;
    QTest::newRow("both sent, nothing stored") << ada << acme << none << none << ada << acme;
    QTest::newRow("both sent replace stored") << ada << acme << old << oldCo << ada << acme;
    QTest::newRow("both absent keep stored") << none << none << old << oldCo << old << oldCo;
    QTest::newRow("both absent, nothing stored") << none << none << none << none << none << none;
    QTest::newRow("empty texts replace stored") << empty << empty << old << oldCo << empty << empty;
    QTest::newRow("name only keeps stored company") << ada << none << old << oldCo << ada << oldCo;
    QTest::newRow("company only keeps stored name") << none << acme << old << oldCo << old << acme;
    QTest::newRow("empty name, nothing stored") << empty << none << none << none << empty << none;
}

void TestRemoteConfigService::fetchCachesCompactJsonAndProfileNames()
{
    QFETCH(OptionalText, sentName);
    QFETCH(OptionalText, sentCompany);
    QFETCH(OptionalText, storedName);
    QFETCH(OptionalText, storedCompany);
    QFETCH(OptionalText, expectedName);
    QFETCH(OptionalText, expectedCompany);
    m_server.updateScenario([&](TestSupport::FakeHrScenario &scenario) {
        scenario.configuration.remove(u"name"_s);
        scenario.configuration.remove(u"company_name"_s);
        if (sentName)
            scenario.configuration.insert(u"name"_s, *sentName);
        if (sentCompany)
            scenario.configuration.insert(u"company_name"_s, *sentCompany);
    });
    Storage::saveUserProfile(storedName, storedCompany);

    const Outcome outcome = fetch();

    QVERIFY2(outcome.config, qPrintable(outcome.failure));
    QCOMPARE(outcome.config->name, sentName);
    QCOMPARE(outcome.config->companyName, sentCompany);
    QCOMPARE(outcome.config->projects.size(), 2);
    QCOMPARE(cacheBytes(), QJsonDocument(outcome.config->toJson()).toJson(QJsonDocument::Compact));
    QCOMPARE(RemoteConfigService::instance().loadCachedConfig(), outcome.config);
    QCOMPARE(storedText(Storage::PreferenceKeys::userName), expectedName);
    QCOMPARE(storedText(Storage::PreferenceKeys::companyName), expectedCompany);
    QCOMPARE(m_server.requests(FakeHrRoute::Configuration).constFirst().bearerToken,
             m_server.currentTokens()->accessToken);
}

void TestRemoteConfigService::malformedAnswerFailsAsDecoding_data()
{
    QTest::addColumn<FakeHrFault>("fault");

    QTest::newRow("no data") << FakeHrFault::answer(200, R"({"message":"ok"})");
    QTest::newRow("data an array") << FakeHrFault::answer(200, R"({"data":[{"device_id":"x"}]})");
    QTest::newRow("data a text") << FakeHrFault::answer(200, R"({"data":"config"})");
    QTest::newRow("a JSON array") << FakeHrFault::answer(200, R"([{"data":{}}])");
    QTest::newRow("malformed JSON") << FakeHrFault::malformedJson();
    QTest::newRow("HTML page with 200")
            << FakeHrFault::answer(200, "<html><body>Gateway login</body></html>", "text/html");
}

void TestRemoteConfigService::malformedAnswerFailsAsDecoding()
{
    QFETCH(FakeHrFault, fault);
    m_server.addFault(FakeHrRoute::Configuration, fault);
    Storage::saveUserProfile(u"Old Name"_s, std::nullopt);

    const Outcome outcome = fetch();

    QVERIFY(outcome.apiError);
    QCOMPARE(outcome.apiError->kind, APIError::Kind::Decoding);
    QCOMPARE(outcome.apiError->message, u"Decoding failed"_s);
    QVERIFY(!outcome.apiError->httpStatus);
    QVERIFY(!cacheExists());
    QCOMPARE(Storage::savedUserName(), u"Old Name"_s);
}

void TestRemoteConfigService::missingProjectsFailsWithTheDecoderMessage()
{
    m_server.updateScenario([](TestSupport::FakeHrScenario &scenario) {
        scenario.configuration.remove(u"projects"_s);
    });

    const Outcome outcome = fetch();

    QCOMPARE(outcome.failure, u"Missing required field: projects"_s);
    QVERIFY(!cacheExists());
    QVERIFY(!Storage::savedUserName());
}

void TestRemoteConfigService::endSessionDuringFetchDiscardsTheAnswer()
{
    m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::delay(1000));
    Storage::saveUserProfile(u"Old Name"_s, u"Old Co"_s);
    writeCache(cachedSample());
    const LogTail log;
    Outcome outcome;

    WorkerThread worker([&] { outcome = fetch(); });
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));
    RemoteConfigService::instance().endSession();
    QVERIFY(worker.wait());

    QCOMPARE(outcome.failure, u"SessionEnded"_s);
    QVERIFY(!cacheExists());
    QCOMPARE(Storage::savedUserName(), u"Old Name"_s);
    QCOMPARE(Storage::savedCompanyName(), u"Old Co"_s);
    QCOMPARE(log.count(u"[INFO] [config]"_s,
                       u"Config reply arrived after its session ended; discarded"_s),
             1);
}

void TestRemoteConfigService::fetchOrCachedFallsBackWhenTheServerIsDown_data()
{
    QTest::addColumn<bool>("cached");

    QTest::newRow("cache present") << true;
    QTest::newRow("no cache") << false;
}

void TestRemoteConfigService::fetchOrCachedFallsBackWhenTheServerIsDown()
{
    QFETCH(bool, cached);
    if (cached)
        writeCache(cachedSample());
    m_server.stopListening();

    const Outcome outcome
            = outcomeOf([] { return RemoteConfigService::instance().fetchConfigOrCached(); });
    QVERIFY(m_server.resumeListening());

    if (cached) {
        QCOMPARE(outcome.config, cachedSample());
    } else {
        QVERIFY(outcome.apiError);
        QCOMPARE(outcome.apiError->kind, APIError::Kind::Network);
        // QNetworkReply::ConnectionRefusedError
        QCOMPARE(outcome.apiError->networkError, 1);
    }
}

void TestRemoteConfigService::fetchOrCachedNeverReplacesAnEndedSession()
{
    m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::delay(1000));
    Outcome outcome;

    WorkerThread worker([&] {
        outcome = outcomeOf([] { return RemoteConfigService::instance().fetchConfigOrCached(); });
    });
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));
    RemoteConfigService::instance().endSession();
    // A cache that reappears (a later session's) must not stand in for the discarded answer.
    writeCache(cachedSample());
    QVERIFY(worker.wait());

    QCOMPARE(outcome.failure, u"SessionEnded"_s);
    QCOMPARE(RemoteConfigService::instance().loadCachedConfig(), cachedSample());
}

void TestRemoteConfigService::cachedConfigReadsAsNoneWhenUnusable_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("{device_id:");
    QTest::newRow("a JSON array") << QByteArray("[]");
    QTest::newRow("no projects") << QByteArray(R"({"device_id":"x"})");
}

void TestRemoteConfigService::cachedConfigReadsAsNoneWhenUnusable()
{
    QFETCH(QByteArray, content);
    QFile file(RemoteConfigService::cachePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    QCOMPARE(RemoteConfigService::instance().loadCachedConfig(), std::nullopt);
}

void TestRemoteConfigService::guiFetchFailsBusyWhileAWorkerFetches()
{
    // The first request is held until a second one arrives, which never happens: the GUI fetch
    // must not send one.
    m_server.setBarrier(FakeHrRoute::Configuration, 2);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    Outcome workerOutcome;

    WorkerThread worker([&] { workerOutcome = fetch(); });
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));
    const Outcome busy = fetch();
    QTRY_VERIFY(ticks >= 5);

    QCOMPARE(busy.failure, u"FetchBusy"_s);
    QCOMPARE(QString::fromUtf8(RemoteConfigService::FetchBusy().what()),
             u"a configuration fetch is already running"_s);
    QVERIFY(!worker.isFinished());
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 1);
    QVERIFY(!cacheExists());

    m_server.clearBarriers();
    QVERIFY(worker.wait());
    QVERIFY2(workerOutcome.config, qPrintable(workerOutcome.failure));
    QVERIFY(fetch().config);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 2);
}

void TestRemoteConfigService::guiFetchFromNestedLoopFailsBusy()
{
    m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::delay(800));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    std::optional<Outcome> nested;
    QTimer::singleShot(200, this, [&] { nested = fetch(); });

    const Outcome outer = fetch();

    QVERIFY(nested);
    QCOMPARE(nested->failure, u"FetchBusy"_s);
    QVERIFY2(outer.config, qPrintable(outer.failure));
    QVERIFY(cacheExists());
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 1);
    // The 50 ms timer kept running through the 800 ms request.
    QVERIFY2(ticks >= 8, qPrintable(QString::number(ticks)));
}

void TestRemoteConfigService::workerFetchesRunOneAfterTheOther()
{
    m_server.setBarrier(FakeHrRoute::Configuration, 2);
    Outcome first;
    Outcome second;

    WorkerThread one([&] { first = fetch(); });
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));
    WorkerThread two([&] { second = fetch(); });
    // The second worker waits for the mutex instead of sending: the barrier stays closed.
    QVERIFY(!m_server.waitForRequests(2, FakeHrRoute::Configuration, 500));
    m_server.clearBarriers();

    QVERIFY(one.wait());
    QVERIFY(two.wait());
    QVERIFY(first.config);
    QVERIFY(second.config);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 2);
}

void TestRemoteConfigService::waitFormulaCoversBothEnds_data()
{
    QTest::addColumn<quint32>("draw");
    QTest::addColumn<quint32>("seconds");

    QTest::newRow("zero") << quint32(0) << quint32(1200);
    QTest::newRow("half") << quint32(1) << quint32(1200);
    QTest::newRow("middle") << quint32(0x80000000u) << quint32(1800);
    QTest::newRow("largest") << quint32(0xFFFFFFFFu) << quint32(2399);
}

void TestRemoteConfigService::waitFormulaCoversBothEnds()
{
    QFETCH(quint32, draw);
    QFETCH(quint32, seconds);

    QCOMPARE(RemoteConfigService::refreshWaitSeconds(draw), seconds);
}

void TestRemoteConfigService::startingTwiceRetiresTheFirstThread()
{
    std::atomic_int firstCalls = 0;
    std::atomic_int secondCalls = 0;
    const auto join = joinRefreshAtScopeEnd();

    RemoteConfigService::instance().startPeriodicRefresh(
            [&](const RemoteConfig &) { ++firstCalls; });
    QPointer<QThread> first = Services::RemoteConfigServiceTestHooks::currentRefreshThread();
    QVERIFY(first);
    QSignalSpy firstFinished(first.data(), &QThread::finished);
    RemoteConfigService::instance().startPeriodicRefresh(
            [&](const RemoteConfig &) { ++secondCalls; });
    QThread *second = Services::RemoteConfigServiceTestHooks::currentRefreshThread();

    QVERIFY(second);
    QVERIFY(second != first);
    QVERIFY(firstFinished.wait(5000));
    // Deleted through its deferred deletion on this (the GUI) thread.
    QTRY_VERIFY(first.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(secondCalls.load(), 1, 10000);
    QCOMPARE(firstCalls.load(), 0);
    QCOMPARE(Services::RemoteConfigServiceTestHooks::currentRefreshThread(), second);
}

void TestRemoteConfigService::refreshThreadStartedOnPoolBelongsToGuiThread()
{
    QThreadPool pool;
    QThread *created = nullptr;
    QThread *affinity = nullptr;
    pool.start([&] {
        RemoteConfigService::instance().startPeriodicRefresh({});
        created = Services::RemoteConfigServiceTestHooks::currentRefreshThread();
        affinity = created->thread();
    });
    QVERIFY(pool.waitForDone(5000));
    QPointer<QThread> guarded(created);

    QCOMPARE(affinity, QCoreApplication::instance()->thread());
    RemoteConfigService::instance().stopPeriodicRefresh();
    // The retired thread's deferred deletion runs on this thread's event loop.
    QTRY_VERIFY_WITH_TIMEOUT(guarded.isNull(), 5000);
}

void TestRemoteConfigService::callbackRunsOnTheRefreshThread()
{
    std::atomic<QThread *> calledOn = nullptr;
    std::atomic_int calls = 0;
    std::optional<RemoteConfig> received;
    const auto join = joinRefreshAtScopeEnd();

    RemoteConfigService::instance().startPeriodicRefresh([&](const RemoteConfig &config) {
        if (calls == 0) {
            received = config;
            calledOn = QThread::currentThread();
        }
        ++calls;
    });
    QThread *refreshThread = Services::RemoteConfigServiceTestHooks::currentRefreshThread();

    QTRY_VERIFY_WITH_TIMEOUT(calls >= 1, 10000);
    QCOMPARE(calledOn.load(), refreshThread);
    QVERIFY(calledOn.load() != QThread::currentThread());
    QVERIFY(received);
    QCOMPARE(received->deviceId, u"7D3F6A0E-5B1C-4E2A-9C47-1B2D3E4F5A60"_s);
    QVERIFY(cacheExists());
}

void TestRemoteConfigService::stopDuringHeldFetchDropsTheAnswer()
{
    m_server.setBarrier(FakeHrRoute::Configuration, 2);
    std::atomic_int calls = 0;
    const LogTail log;
    const auto join = joinRefreshAtScopeEnd();

    RemoteConfigService::instance().startPeriodicRefresh([&](const RemoteConfig &) { ++calls; });
    QPointer<QThread> thread = Services::RemoteConfigServiceTestHooks::currentRefreshThread();
    QSignalSpy finished(thread.data(), &QThread::finished);
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));
    RemoteConfigService::instance().stopPeriodicRefresh();
    m_server.clearBarriers();

    QVERIFY(finished.wait(10000));
    QCOMPARE(calls.load(), 0);
    QVERIFY(!cacheExists());
    QCOMPARE(log.count(u"[INFO] [config]"_s,
                       u"Config reply arrived after its session ended; discarded"_s),
             1);
}

void TestRemoteConfigService::shutdownWithoutThreadReturnsAtOnce()
{
    QElapsedTimer timer;
    timer.start();

    RemoteConfigService::instance().shutdownAndJoin();

    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(Services::RemoteConfigServiceTestHooks::currentRefreshThread(), nullptr);
}

void TestRemoteConfigService::shutdownJoinsAWaitingThread()
{
    Services::RemoteConfigServiceTestHooks::setRefreshBaseWaitSeconds(60);
    std::atomic_int calls = 0;
    const auto join = joinRefreshAtScopeEnd();
    RemoteConfigService::instance().startPeriodicRefresh([&](const RemoteConfig &) { ++calls; });
    QPointer<QThread> thread = Services::RemoteConfigServiceTestHooks::currentRefreshThread();
    QVERIFY(thread);

    RemoteConfigService::instance().shutdownAndJoin();

    QVERIFY(thread.isNull());
    QCOMPARE(calls.load(), 0);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 0);
}

void TestRemoteConfigService::stuckRefreshThreadEndsTheProcessWithStatus75()
{
    // A root of its own, so the helper's preferences and log stay out of this process's files.
    const QTemporaryDir root;
    QVERIFY(root.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME" })
        environment.insert(QString::fromLatin1(name), root.filePath(QString::fromLatin1(name)));
    QProcess helper;
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);

    helper.start(QStringLiteral(CLOCKWARDEN_REFRESH_JOIN_STUCK), {});
    QVERIFY(helper.waitForFinished(60000));

    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 75);
    QCOMPARE(helper.readAllStandardOutput(), QByteArray());
    QFile log(root.filePath(u"XDG_STATE_HOME/TembrixClockwarden/logs/app.log"_s));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n');
    QCOMPARE(lines.filter(u"[WARN] [config] RemoteConfigService::shutdownAndJoin: refresh thread "
                          u"stuck after 5s; exiting immediately without static destruction"_s)
                     .size(),
             1);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestRemoteConfigService)

#include "tst_remoteconfigservice.moc"
