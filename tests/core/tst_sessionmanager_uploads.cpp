#include "FakePlatformIntegration.h"
#include "TestEnvironment.h"
#include "UploadFixture.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"
#include "services/tracking/PermissionService.h"
#include "services/tracking/ScreenCaptureService.h"

#include <QCoreApplication>
#include <QImage>
#include <QTest>

using Core::SessionManager;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::RecordedRequest;

namespace {

// Runs passes of the upload queue until it has nothing due.
void drainQueue()
{
    for (int pass = 0; pass < 10; ++pass)
        Services::UploadServiceTestHooks::processQueue(Services::UploadService::instance());
}

QString heartbeatStatus(const RecordedRequest &request)
{
    return request.jsonObject().value(QStringLiteral("status")).toString();
}

} // namespace

// The engine with the real upload service and its queue against the HR-service stand-in.
class TestSessionManagerUploads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void startCaptureAndStopReachTheService();
    void takeoverOnALiveHeartbeatEndsTheSessionLocally();

private:
    void captureNow();

    std::unique_ptr<UploadFixture::Bench> m_bench;
    std::unique_ptr<TestSupport::FakePlatformIntegration> m_platform;
    std::unique_ptr<SessionManager> m_engine;
};

void TestSessionManagerUploads::initTestCase()
{
    UploadFixture::prepareProcess();
}

void TestSessionManagerUploads::init()
{
    Core::AppStateManager::instance().resetForSignOut();
    m_bench = std::make_unique<UploadFixture::Bench>();
    QVERIFY(m_bench->start());
    m_platform = std::make_unique<TestSupport::FakePlatformIntegration>();
    m_platform->capturer->images = { QImage(32, 24, QImage::Format_RGB32) };
    m_engine = std::make_unique<SessionManager>(SessionManager::TestInstance());
    m_engine->initialize(m_bench->store.get(), m_platform.get());
}

void TestSessionManagerUploads::cleanup()
{
    m_engine.reset();
    m_platform.reset();
    m_bench.reset();
}

void TestSessionManagerUploads::captureNow()
{
    auto *capture = m_engine->findChild<Services::ScreenCaptureService *>();
    QVERIFY(capture);
    capture->captureNow();
}

void TestSessionManagerUploads::startCaptureAndStopReachTheService()
{
    auto &server = m_bench->server;
    m_engine->startTracking({ QStringLiteral("101"), QStringLiteral("Website redesign") });
    const QUuid id = m_engine->activeSession()->id;
    drainQueue();
    captureNow();
    drainQueue();
    m_engine->stopTracking(QStringLiteral("Session ended"));
    drainQueue();

    QList<FakeHrRoute> routes;
    QList<RecordedRequest> heartbeats;
    for (const RecordedRequest &request : server.requests()) {
        if (request.route == FakeHrRoute::Refresh)
            continue;
        routes.append(request.route);
        if (request.route == FakeHrRoute::Heartbeat)
            heartbeats.append(request);
    }
    QCOMPARE(routes, (QList<FakeHrRoute>{ FakeHrRoute::SessionStart, FakeHrRoute::Heartbeat,
                                          FakeHrRoute::Screenshots, FakeHrRoute::Heartbeat }));
    QCOMPARE(heartbeatStatus(heartbeats.at(0)), QStringLiteral("active"));
    QCOMPARE(heartbeatStatus(heartbeats.at(1)), QStringLiteral("completed"));
    QCOMPARE(server.uploadedFiles().size(), 1);
    QVERIFY(server.uploadedFiles().keys().constFirst().startsWith(
            id.toString(QUuid::WithoutBraces).toUpper()));
}

void TestSessionManagerUploads::takeoverOnALiveHeartbeatEndsTheSessionLocally()
{
    auto &server = m_bench->server;
    m_engine->startTracking({ QStringLiteral("101"), QStringLiteral("Website redesign") });
    drainQueue();
    QCOMPARE(server.requestCount(FakeHrRoute::SessionStart), 1);
    server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::message(409, QStringLiteral("taken")));

    captureNow();
    QTRY_VERIFY(!m_engine->isTracking()); // the notice arrives queued
    QCOMPARE(m_engine->statusMessage(), QStringLiteral("Session was resumed on another device."));
    drainQueue();
    // Nothing more of that session: no screenshot and no completing heartbeat.
    QCOMPARE(server.requestCount(FakeHrRoute::Heartbeat), 1);
    QCOMPARE(server.requestCount(FakeHrRoute::Screenshots), 0);
    QVERIFY(m_bench->store->loadActiveSessions().isEmpty());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSessionManagerUploads)

#include "tst_sessionmanager_uploads.moc"
