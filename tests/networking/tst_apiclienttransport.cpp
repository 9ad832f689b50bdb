#include "TestEnvironment.h"

#include "ApiClientFixture.h"
#include "FakeHrServer.h"

#include "networking/APIClient.h"
#include "networking/APIClientTestHooks.h"
#include "networking/ApiEndpoint.h"
#include "networking/HttpConnection.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QSet>
#include <QTest>
#include <QThread>

#include <memory>

using Networking::APIClient;
using Networking::APIError;
using Networking::APIResponse;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using namespace Qt::StringLiterals;

namespace {

const QString configPath = u"hr/clockwarden/employees/config"_s;
// Far beyond any abort or shortened timeout, far below the real request timeout.
constexpr int endOfRequestWaitMs = 60000;

} // namespace

class TestAPIClientTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void timeoutResetsThePoolButAbortDoesNot_data();
    void timeoutResetsThePoolButAbortDoesNot();
    void abortFlagStopsHangingRequestOnAnotherThread();
    void requestStartedWhileAbortRaisedFails_data();
    void requestStartedWhileAbortRaisedFails();
    void transportFailuresAreNetworkErrors_data();
    void transportFailuresAreNetworkErrors();
    void gatewayErrorsResetThePool_data();
    void gatewayErrorsResetThePool();
    void eachThreadHasItsOwnClientAndPool();
    void workerKeepsItsConnectionAndSendsAgainWhenItIsDropped();
    void sendsInPlaceOnlyWebAddressesWithoutAProxy_data();
    void sendsInPlaceOnlyWebAddressesWithoutAProxy();

private:
    int connectionOfNextRequest();
    QSet<int> openTwoPooledConnections();

    FakeHrServer m_server;
    MemoryCredentialStore m_credentials;
    Storage::TokenStore m_tokens{ &m_credentials };
};

void TestAPIClientTransport::initTestCase()
{
    QVERIFY(m_server.start());
    APIClient::setTokenStore(&m_tokens);
}

void TestAPIClientTransport::init()
{
    m_server.reset();
    signIn(m_server, m_tokens);
    Networking::ApiEndpoint::saveOverride(m_server.baseUrl());
    // Every test starts with an empty pool; a direct clear leaves the reset counter alone.
    APIClient::networkAccessManager().clearConnectionCache();
}

void TestAPIClientTransport::cleanup()
{
    APIClient::setAbortRequested(false);
    Networking::APIClientTestHooks::setRequestTimeoutMs(0);
    m_server.clearFaults();
    if (!m_server.isListening())
        QVERIFY(m_server.resumeListening());
}

// The stand-in's id of the connection that carries one ordinary request of this thread.
int TestAPIClientTransport::connectionOfNextRequest()
{
    const APIResponse response = APIClient::instance().get(configPath, true, false);
    if (response.error)
        return -1;
    return m_server.requests().last().connectionId;
}

// Two requests that meet at the stand-in at once make the pool open two keep-alive connections.
QSet<int> TestAPIClientTransport::openTwoPooledConnections()
{
    m_server.setBarrier(FakeHrRoute::Configuration, 2);
    QNetworkRequest request(m_server.baseUrl().resolved(QUrl(configPath)));
    request.setRawHeader("Authorization", "Bearer " + m_tokens.load()->accessToken.toUtf8());
    QNetworkAccessManager &manager = APIClient::networkAccessManager();
    std::unique_ptr<QNetworkReply> first(manager.get(request));
    std::unique_ptr<QNetworkReply> second(manager.get(request));
    if (!QTest::qWaitFor([&] { return first->isFinished() && second->isFinished(); }))
        return {};
    QSet<int> connections;
    for (const TestSupport::RecordedRequest &recorded : m_server.requests())
        connections.insert(recorded.connectionId);
    m_server.clearRequests();
    return connections;
}

void TestAPIClientTransport::timeoutResetsThePoolButAbortDoesNot_data()
{
    QTest::addColumn<bool>("byTimeout");
    QTest::addColumn<int>("resets");

    QTest::newRow("timeout resets the pool") << true << 1;
    QTest::newRow("abort keeps the pool") << false << 0;
}

void TestAPIClientTransport::timeoutResetsThePoolButAbortDoesNot()
{
    QFETCH(bool, byTimeout);
    QFETCH(int, resets);
    const QSet<int> pooled = openTwoPooledConnections();
    QCOMPARE(pooled.size(), 2);
    m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::hang());
    if (byTimeout)
        Networking::APIClientTestHooks::setRequestTimeoutMs(300);
    else
        connect(&m_server, &FakeHrServer::requestRecorded, this,
                [] { APIClient::setAbortRequested(true); });
    const int resetsBefore = APIClient::connectionResetCount();

    const APIResponse hung = APIClient::instance().get(configPath, true, false);
    APIClient::setAbortRequested(false);
    disconnect(&m_server, &FakeHrServer::requestRecorded, this, nullptr);

    QVERIFY(hung.error);
    QCOMPARE(hung.error->kind, APIError::Kind::Network);
    QCOMPARE(hung.error->networkError, std::optional<int>(QNetworkReply::OperationCanceledError));
    QCOMPARE(APIClient::connectionResetCount() - resetsBefore, resets);
    const int hungConnection = m_server.requests().last().connectionId;
    QVERIFY(pooled.contains(hungConnection));
    const int next = connectionOfNextRequest();
    QVERIFY(next > 0);
    // Without a reset the pool still holds the other idle connection and uses it again.
    QCOMPARE(pooled.contains(next), !byTimeout);
}

void TestAPIClientTransport::abortFlagStopsHangingRequestOnAnotherThread()
{
    m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::hang());
    const int resetsBefore = APIClient::connectionResetCount();
    APIResponse response;
    std::unique_ptr<QThread> worker(QThread::create(
            [&response] { response = APIClient::instance().get(configPath, true, false); }));
    worker->start();
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));

    APIClient::setAbortRequested(true);

    QVERIFY(worker->wait(endOfRequestWaitMs));
    QVERIFY(response.error);
    QCOMPARE(response.error->kind, APIError::Kind::Network);
    QCOMPARE(response.error->networkError,
             std::optional<int>(QNetworkReply::OperationCanceledError));
    QCOMPARE(response.statusCode, 0);
    QCOMPARE(APIClient::connectionResetCount(), resetsBefore);
}

void TestAPIClientTransport::requestStartedWhileAbortRaisedFails_data()
{
    QTest::addColumn<bool>("onWorker");
    QTest::newRow("on this thread") << false;
    QTest::newRow("on a worker thread with an open connection") << true;
}

void TestAPIClientTransport::requestStartedWhileAbortRaisedFails()
{
    QFETCH(bool, onWorker);

    int sentBefore = 0;
    const APIResponse response = callOn(onWorker, [&] {
        // A connection already open must not carry it either.
        APIClient::instance().get(configPath, true, false);
        sentBefore = m_server.requestCount(FakeHrRoute::Configuration);
        APIClient::setAbortRequested(true);
        return APIClient::instance().get(configPath, true, false);
    });

    QVERIFY(response.error);
    QCOMPARE(response.error->kind, APIError::Kind::Network);
    QCOMPARE(response.error->networkError,
             std::optional<int>(QNetworkReply::OperationCanceledError));
    QVERIFY(sentBefore > 0);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), sentBefore);
}

void TestAPIClientTransport::transportFailuresAreNetworkErrors_data()
{
    QTest::addColumn<bool>("onWorker");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("networkError");
    QTest::addColumn<int>("statusCode");
    QTest::addColumn<int>("resets");

    for (const bool onWorker : { false, true }) {
        const char *where = onWorker ? ", worker thread" : "";
        QTest::addRow("refused connection%s", where)
                << onWorker << u"refused"_s << int(QNetworkReply::ConnectionRefusedError) << 0 << 0;
        QTest::addRow("closed without an answer%s", where)
                << onWorker << u"close"_s << int(QNetworkReply::RemoteHostClosedError) << 0 << 0;
        QTest::addRow("answer that stalls halfway is no success%s", where)
                << onWorker << u"partial"_s << int(QNetworkReply::OperationCanceledError) << 200
                << 1;
    }
}

void TestAPIClientTransport::transportFailuresAreNetworkErrors()
{
    QFETCH(bool, onWorker);
    QFETCH(QString, failure);
    QFETCH(int, networkError);
    QFETCH(int, statusCode);
    QFETCH(int, resets);
    if (failure == u"refused")
        m_server.stopListening();
    else if (failure == u"close")
        m_server.addFault(FakeHrRoute::Configuration,
                          FakeHrFault::closeWithoutAnswer().repeated(3));
    else
        m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::partial());
    Networking::APIClientTestHooks::setRequestTimeoutMs(500);
    const int resetsBefore = APIClient::connectionResetCount();

    const APIResponse response
            = callOn(onWorker, [] { return APIClient::instance().get(configPath, true, false); });

    QVERIFY(response.error);
    QCOMPARE(response.error->kind, APIError::Kind::Network);
    QCOMPARE(response.error->networkError, std::optional<int>(networkError));
    QVERIFY(!response.error->message.isEmpty());
    QCOMPARE(response.error->httpStatus, std::nullopt);
    QCOMPARE(response.statusCode, statusCode);
    QCOMPARE(APIClient::connectionResetCount() - resetsBefore, resets);
}

void TestAPIClientTransport::gatewayErrorsResetThePool_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("reset");

    QTest::newRow("bad gateway resets") << 502 << true;
    QTest::newRow("gateway timeout resets") << 504 << true;
    QTest::newRow("not found keeps the pool") << 404 << false;
    QTest::newRow("unavailable keeps the pool") << 503 << false;
}

void TestAPIClientTransport::gatewayErrorsResetThePool()
{
    QFETCH(int, status);
    QFETCH(bool, reset);
    const int first = connectionOfNextRequest();
    QVERIFY(first > 0);
    m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::answer(status));
    const int resetsBefore = APIClient::connectionResetCount();

    const APIResponse failed = APIClient::instance().get(configPath, true, false);

    QVERIFY(failed.error);
    QCOMPARE(failed.error->kind, APIError::Kind::Server);
    QCOMPARE(failed.error->httpStatus, std::optional<int>(status));
    QCOMPARE(m_server.requests().last().connectionId, first);
    QCOMPARE(APIClient::connectionResetCount() - resetsBefore, reset ? 1 : 0);
    QCOMPARE(connectionOfNextRequest() == first, !reset);
}

void TestAPIClientTransport::eachThreadHasItsOwnClientAndPool()
{
    const int mainConnection = connectionOfNextRequest();
    QVERIFY(mainConnection > 0);
    APIClient *workerClient = nullptr;
    QNetworkAccessManager *workerManager = nullptr;
    QPointer<APIClient> workerClientAlive;
    QPointer<QNetworkAccessManager> workerManagerAlive;
    int workerBefore = 0;
    int workerAfter = 0;

    QVERIFY(runOnWorkerThread([&] {
        workerClient = &APIClient::instance();
        workerManager = &APIClient::networkAccessManager();
        workerClientAlive = workerClient;
        workerManagerAlive = workerManager;
        workerBefore = connectionOfNextRequest();
        APIClient::resetConnections();
        workerAfter = connectionOfNextRequest();
    }));

    QVERIFY(workerClient != &APIClient::instance());
    QVERIFY(workerManager != &APIClient::networkAccessManager());
    QCOMPARE(&APIClient::instance(), &APIClient::instance());
    QVERIFY(workerBefore > 0 && workerBefore != mainConnection);
    QVERIFY(workerAfter > 0 && workerAfter != workerBefore);
    // Both went with the worker thread.
    QVERIFY(workerClientAlive.isNull());
    QVERIFY(workerManagerAlive.isNull());
    // The worker's reset left this thread's pooled connection alone.
    QCOMPARE(connectionOfNextRequest(), mainConnection);
}

void TestAPIClientTransport::workerKeepsItsConnectionAndSendsAgainWhenItIsDropped()
{
    QList<int> connections;
    bool dropped = false;
    QVERIFY(runOnWorkerThread([&] {
        connections << connectionOfNextRequest() << connectionOfNextRequest();
        // The server drops the kept-alive connection instead of answering, as one closing an
        // idle connection at that moment would: the request goes out once more on a new one.
        m_server.addFault(FakeHrRoute::Configuration, FakeHrFault::closeWithoutAnswer());
        connections << connectionOfNextRequest();
        dropped = m_server.requestCount(FakeHrRoute::Configuration) == 4;
        connections << connectionOfNextRequest();
    }));

    QCOMPARE(connections.size(), 4);
    QVERIFY(connections.at(0) > 0);
    QCOMPARE(connections.at(1), connections.at(0));
    QVERIFY(connections.at(2) > 0 && connections.at(2) != connections.at(0));
    QVERIFY(dropped);
    QCOMPARE(connections.at(3), connections.at(2));
}

void TestAPIClientTransport::sendsInPlaceOnlyWebAddressesWithoutAProxy_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("proxied");
    QTest::addColumn<bool>("inPlace");

    const QUrl https(u"https://hr.example.com/api/v1/config"_s);
    QTest::newRow("https") << https << false << true;
    QTest::newRow("http") << QUrl(u"http://127.0.0.1:8080/api/v1/config"_s) << false << true;
    QTest::newRow("behind a proxy") << https << true << false;
    QTest::newRow("no web address") << QUrl(u"ftp://hr.example.com/config"_s) << false << false;
    QTest::newRow("no host") << QUrl(u"api/v1/config"_s) << false << false;
}

// Anything a proxy must carry, the network access manager sends as it always has.
void TestAPIClientTransport::sendsInPlaceOnlyWebAddressesWithoutAProxy()
{
    QFETCH(QUrl, url);
    QFETCH(bool, proxied);
    QFETCH(bool, inPlace);
    if (proxied)
        QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, u"proxy.example.com"_s, 3128));

    const bool canSend = Networking::HttpConnection::canSend(url);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);

    QCOMPARE(canSend, inPlace);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAPIClientTransport)
#include "tst_apiclienttransport.moc"
