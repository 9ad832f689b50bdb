#include "TestEnvironment.h"

#include "UploadFixture.h"

#include "models/HeartbeatPayload.h"
#include "models/StartSessionPayload.h"
#include "services/server/AuthNotifications.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using Models::UploadTaskType;
using Services::AuthNotifications;
using Services::UploadService;
using Services::UploadServiceTestHooks;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using namespace UploadFixture;
using namespace Qt::StringLiterals;

class TestUploadServiceEnqueue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sessionStartQueuesItsBody();
    void sessionWithoutIntervalQueuesNoStart();
    void sessionStopQueuesHeartbeatBeforeScreenshots();
    void screenshotsAreQueuedOnce();
    void sessionFormQueuesTheSameFiles();
    void withoutStoreNothingIsQueued();

    void liveHeartbeatAnnouncesTodayTotal();
    void liveHeartbeatWithoutTotalIsOk();
    void liveHeartbeatTakeoverIsAnnouncedOnce();
    void liveHeartbeatGoneIsNoTakeover();
    void liveHeartbeatBeforeQueuedStartIsDeferred();
    void liveHeartbeatDuringOtherRefreshIsDeferred();

private:
    std::unique_ptr<Bench> m_bench;
    std::unique_ptr<LogReader> m_log;
};

void TestUploadServiceEnqueue::initTestCase()
{
    prepareProcess();
    m_log = std::make_unique<LogReader>();
}

void TestUploadServiceEnqueue::init()
{
    m_bench = std::make_unique<Bench>();
    QVERIFY(m_bench->start());
    m_log->mark();
}

void TestUploadServiceEnqueue::cleanup()
{
    m_bench.reset();
}

void TestUploadServiceEnqueue::sessionStartQueuesItsBody()
{
    const Models::Session session = UploadFixture::session();
    UploadService::instance().enqueueSessionStart(session);

    const std::optional<Models::UploadTask> task
            = m_bench->store->nextDueUpload(QDateTime::currentDateTimeUtc());
    QVERIFY(task);
    QCOMPARE(task->type, UploadTaskType::startSession);
    QCOMPARE(task->sessionId, session.id);
    QCOMPARE(task->priority, 110);
    QCOMPARE(task->retryCount, 0);
    QVERIFY(!task->filePath);
    QCOMPARE(QJsonDocument::fromJson(task->jsonPayload.value_or(QByteArray())),
             QJsonDocument::fromJson(Models::StartSessionPayload::build(session)));
    QCOMPARE(queuedCount(), 1);
}

void TestUploadServiceEnqueue::sessionWithoutIntervalQueuesNoStart()
{
    Models::Session session = UploadFixture::session();
    session.intervals.clear();
    UploadService::instance().enqueueSessionStart(session);

    QCOMPARE(queuedCount(), 0);
    const QStringList warnings = m_log->linesContaining(
            u"[WARN] [upload] enqueueSessionStart: StartSessionPayload.build failed"_s);
    QCOMPARE(warnings.size(), 1);
}

void TestUploadServiceEnqueue::sessionStopQueuesHeartbeatBeforeScreenshots()
{
    const Models::Session session = UploadFixture::session();
    const QString jpg = captureFile(session.id);
    const QString png
            = QDir(capturesDir())
                      .absoluteFilePath(session.id.toString(QUuid::WithoutBraces).toUpper()
                                        + u"_2025-03-04T09-20-00+07-00_1.png"_s);
    QVERIFY(QFile(jpg).copy(png));
    captureFile(QUuid::createUuid());

    UploadService::instance().enqueueSessionStop(session);

    const QString id = session.id.toString(QUuid::WithoutBraces);
    const QStringList rows = queueRows();
    QCOMPARE(rows, (QStringList{ u"heartbeat|pending|0|"_s + id, u"screenshot|pending|0|"_s + id,
                                 u"screenshot|pending|0|"_s + id }));
    const std::optional<Models::UploadTask> heartbeat
            = m_bench->store->nextDueUpload(QDateTime::currentDateTimeUtc());
    QVERIFY(heartbeat);
    QCOMPARE(heartbeat->priority, 100);
    QCOMPARE(QJsonDocument::fromJson(*heartbeat->jsonPayload)["status"_L1].toString(),
             u"completed"_s);
    QCOMPARE(m_bench->store->pendingUploadFilePaths(), (QSet<QString>{ jpg, png }));
    QCOMPARE(m_log->linesContaining(u"Enqueueing 2 screenshot(s) for session "_s + id).size(), 1);
}

void TestUploadServiceEnqueue::screenshotsAreQueuedOnce()
{
    const Models::Session session = UploadFixture::session();
    const QString first = captureFile(session.id, u"2025-03-04T09-15-00+07-00"_s);
    UploadService::instance().enqueueScreenshotsForSession(session.id);
    // Taken by a pass and still on its way: still queued.
    const std::optional<Models::UploadTask> inFlight
            = m_bench->store->nextDueUpload(QDateTime::currentDateTimeUtc());
    QVERIFY(inFlight);
    m_bench->store->markUploadInProgress(inFlight->id);
    const QString second = captureFile(session.id, u"2025-03-04T09-25-00+07-00"_s);

    m_log->mark();
    UploadService::instance().enqueueScreenshotsForSession(session.id);

    QCOMPARE(queuedCount(), 2);
    QCOMPARE(m_bench->store->pendingUploadFilePaths(), (QSet<QString>{ first, second }));
    const QString id = session.id.toString(QUuid::WithoutBraces);
    QCOMPARE(m_log->linesContaining(u"Enqueueing 2 screenshot(s) for session "_s + id).size(), 1);
}

void TestUploadServiceEnqueue::sessionFormQueuesTheSameFiles()
{
    const Models::Session session = UploadFixture::session();
    const QString path = captureFile(session.id);
    UploadService::instance().enqueueScreenshotsForSession(session);
    QCOMPARE(m_bench->store->pendingUploadFilePaths(), QSet<QString>{ path });
}

void TestUploadServiceEnqueue::withoutStoreNothingIsQueued()
{
    UploadServiceTestHooks::setStore(UploadService::instance(), nullptr);
    const Models::Session session = UploadFixture::session();
    captureFile(session.id);
    UploadService::instance().enqueueSessionStart(session);
    UploadService::instance().enqueueSessionStop(session);
    UploadService::instance().enqueueScreenshotsForSession(session.id);
    QCOMPARE(queuedCount(), 0);
    QVERIFY(m_log->lines().isEmpty());
}

void TestUploadServiceEnqueue::liveHeartbeatAnnouncesTodayTotal()
{
    m_bench->server.updateScenario([](TestSupport::FakeHrScenario &scenario) {
        scenario.todayTotalSeconds = 3600;
        scenario.todayDate = u"2025-03-04"_s;
    });
    QSignalSpy totals(&AuthNotifications::instance(),
                      &AuthNotifications::serverTodayTotalDidUpdate);
    const Models::Session session = UploadFixture::session();

    QCOMPARE(UploadService::instance().uploadHeartbeatNow(session),
             UploadService::HeartbeatResult::Ok);

    QCOMPARE(totals.size(), 1);
    const auto total = totals.first().first().value<Services::ServerTodayTotal>();
    QCOMPARE(total.date, u"2025-03-04"_s);
    QVERIFY(total.seconds >= 3600);
    const QList<TestSupport::RecordedRequest> sent
            = m_bench->server.requests(FakeHrRoute::Heartbeat);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().jsonObject().value("status"_L1).toString(), u"active"_s);
    QCOMPARE(sent.first().bearerToken, m_bench->issued.accessToken);
}

void TestUploadServiceEnqueue::liveHeartbeatWithoutTotalIsOk()
{
    m_bench->server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(200, "{\"ok\": true}"));
    QSignalSpy totals(&AuthNotifications::instance(),
                      &AuthNotifications::serverTodayTotalDidUpdate);
    QCOMPARE(UploadService::instance().uploadHeartbeatNow(UploadFixture::session()),
             UploadService::HeartbeatResult::Ok);
    QCOMPARE(totals.size(), 0);
}

void TestUploadServiceEnqueue::liveHeartbeatTakeoverIsAnnouncedOnce()
{
    const Models::Session session = UploadFixture::session();
    const QString screenshot = captureFile(session.id);
    UploadService::instance().enqueueSessionStop(session);
    m_bench->server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(409).repeated(2));
    QSignalSpy takeovers(&AuthNotifications::instance(),
                         &AuthNotifications::sessionTakenOverByOtherDevice);

    QCOMPARE(UploadService::instance().uploadHeartbeatNow(session),
             UploadService::HeartbeatResult::Failed);
    QCOMPARE(queueRows(),
             QStringList{ u"screenshot|pending|0|"_s + session.id.toString(QUuid::WithoutBraces) });
    // A heartbeat queued again after the first report is dropped again.
    m_bench->store->enqueueUpload(task(UploadTaskType::heartbeat, session.id, "{}"));
    QCOMPARE(UploadService::instance().uploadHeartbeatNow(session),
             UploadService::HeartbeatResult::Failed);

    QCOMPARE(takeovers.size(), 1);
    QCOMPARE(takeovers.first().at(0).value<QUuid>(), session.id);
    QCOMPARE(takeovers.first().at(1).toInt(), 409);
    QCOMPARE(m_log->linesContaining(u"taken over by another device (status 409)"_s).size(), 1);
    QCOMPARE(queuedCount(), 1);
    QVERIFY(QFile::exists(screenshot));
}

void TestUploadServiceEnqueue::liveHeartbeatGoneIsNoTakeover()
{
    m_bench->server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(410));
    QSignalSpy takeovers(&AuthNotifications::instance(),
                         &AuthNotifications::sessionTakenOverByOtherDevice);
    QCOMPARE(UploadService::instance().uploadHeartbeatNow(UploadFixture::session()),
             UploadService::HeartbeatResult::Failed);
    QCOMPARE(takeovers.size(), 0);
    QCOMPARE(m_log->linesContaining(u"[ERROR] [upload] uploadHeartbeatNow failed: "_s).size(), 1);
}

void TestUploadServiceEnqueue::liveHeartbeatBeforeQueuedStartIsDeferred()
{
    const Models::Session session = UploadFixture::session();
    UploadService::instance().enqueueSessionStart(session);
    // The start was tried and backs off: the server has not heard of the session.
    const std::optional<Models::UploadTask> start
            = m_bench->store->nextDueUpload(QDateTime::currentDateTimeUtc());
    QVERIFY(start);
    m_bench->store->markUploadFailed(start->id, 1, QDateTime::currentDateTimeUtc().addSecs(60));
    m_bench->store->enqueueUpload(task(UploadTaskType::heartbeat, session.id, "{}"));
    m_bench->server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(404));
    QSignalSpy takeovers(&AuthNotifications::instance(),
                         &AuthNotifications::sessionTakenOverByOtherDevice);

    QCOMPARE(UploadService::instance().uploadHeartbeatNow(session),
             UploadService::HeartbeatResult::Deferred);

    QCOMPARE(takeovers.size(), 0);
    QCOMPARE(queuedCount(), 2);
    QCOMPARE(m_log->linesContaining(u"[INFO] [upload] uploadHeartbeatNow: session"_s).size(), 1);
    QVERIFY(m_log->linesContaining(u"taken over"_s).isEmpty());
}

void TestUploadServiceEnqueue::liveHeartbeatDuringOtherRefreshIsDeferred()
{
    RefresherStub refresher;
    refresher.result = Networking::ITokenRefresher::Result::Deferred;
    Networking::APIClient::setTokenRefresher(&refresher);
    m_bench->server.expireAccessToken();

    QCOMPARE(UploadService::instance().uploadHeartbeatNow(UploadFixture::session()),
             UploadService::HeartbeatResult::Deferred);
    QCOMPARE(refresher.calls, 1);
    QCOMPARE(
            m_log->linesContaining(
                         u"[INFO] [upload] uploadHeartbeatNow deferred (token refresh in flight)"_s)
                    .size(),
            1);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestUploadServiceEnqueue)
#include "tst_uploadservice_enqueue.moc"
