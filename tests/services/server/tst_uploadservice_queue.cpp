#include "TestEnvironment.h"

#include "UploadFixture.h"

#include "models/HeartbeatPayload.h"
#include "models/StartSessionPayload.h"
#include "networking/NetworkMonitor.h"
#include "services/server/AuthNotifications.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"
#include "storage/ApiTimezone.h"
#include "storage/SegmentKey.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using Models::UploadTaskType;
using Services::AuthNotifications;
using Services::UploadCircuitBreaker;
using Services::UploadService;
using Services::UploadServiceTestHooks;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
namespace UploadClock = Services::UploadClock;
using namespace UploadFixture;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Models::UploadTaskType)

namespace {

int pass()
{
    return UploadServiceTestHooks::processQueue(UploadService::instance());
}

// Runs passes, each after the clock moved past any back-off and breaker window.
void passesLater(int count)
{
    for (int n = 0; n < count; ++n) {
        UploadClock::advance(700);
        pass();
    }
}

QList<FakeHrRoute> routesInOrder(const TestSupport::FakeHrServer &server)
{
    QList<FakeHrRoute> routes;
    for (const TestSupport::RecordedRequest &request : server.requests())
        routes.append(request.route);
    return routes;
}

QByteArray startBody(const Models::Session &session)
{
    return Models::StartSessionPayload::build(session);
}

QByteArray heartbeatBody(const Models::Session &session)
{
    return Models::buildHeartbeatPayload(session, u"completed"_s);
}

int breakerFailures()
{
    return UploadCircuitBreaker::instance().counters().consecutiveFailures;
}

} // namespace

class TestUploadServiceQueue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sendsByPriority();
    void worksTwentyTasksAPass();
    void stopAfterDeliveryStillRemovesTheTask();
    void removesMetadataUnsentAsSuccess();
    void removesTaskOfMissingFile();
    void withoutStoreWaitsFiveSeconds();
    void skipsPassWhileBreakerOpen();

    void refusedConnectionKeepsRetryCount();
    void dropsOnPermanentAnswer_data();
    void dropsOnPermanentAnswer();
    void retriesScreenshotBadRequestUntilSixthFailure();
    void neverDropsServerErrorByCount();
    void dropsScreenshotPastRetentionUnsent();

    void unauthorizedWithoutRenewalKeepsTasks_data();
    void unauthorizedWithoutRenewalKeepsTasks();
    void unauthorizedAfterRenewalCounts();

    void queuedHeartbeatTakeoverDropsSessionTasks();
    void queuedHeartbeatBeforeStartIsRescheduled();

private:
    std::unique_ptr<Bench> m_bench;
    std::unique_ptr<LogReader> m_log;
};

void TestUploadServiceQueue::initTestCase()
{
    prepareProcess();
    m_log = std::make_unique<LogReader>();
}

void TestUploadServiceQueue::init()
{
    m_bench = std::make_unique<Bench>();
    QVERIFY(m_bench->start());
    m_log->mark();
}

void TestUploadServiceQueue::cleanup()
{
    m_bench.reset();
}

void TestUploadServiceQueue::sendsByPriority()
{
    const Models::Session session = UploadFixture::session();
    Storage::SQLiteStore &store = *m_bench->store;
    store.enqueueUpload(
            task(UploadTaskType::screenshot, session.id, std::nullopt, captureFile(session.id)));
    store.upsertActivitySegment(u"2025-03-04"_s, 5, 300, 400, 10, 20);
    store.enqueueUpload(task(UploadTaskType::heartbeat, session.id, heartbeatBody(session)));
    store.enqueueUpload(task(UploadTaskType::startSession, session.id, startBody(session)));

    QCOMPARE(pass(), 30);

    QCOMPARE(routesInOrder(m_bench->server),
             (QList<FakeHrRoute>{ FakeHrRoute::SessionStart, FakeHrRoute::Heartbeat,
                                  FakeHrRoute::SegmentsBatch, FakeHrRoute::Screenshots }));
    QCOMPARE(queuedCount(), 0);
    QVERIFY(store.pendingActivitySegments(u"2025-03-05"_s, 0).isEmpty());
}

void TestUploadServiceQueue::worksTwentyTasksAPass()
{
    for (int n = 0; n < 25; ++n) {
        const Models::Session session = UploadFixture::session();
        m_bench->store->enqueueUpload(
                task(UploadTaskType::startSession, session.id, startBody(session)));
    }
    QCOMPARE(pass(), 30);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 20);
    QCOMPARE(queuedCount(), 5);
    pass();
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 25);
    QCOMPARE(queuedCount(), 0);
}

void TestUploadServiceQueue::stopAfterDeliveryStillRemovesTheTask()
{
    // A delivered task leaves the queue together with the next pick; a stop that comes first
    // must not leave it behind to be sent again.
    const Models::Session first = UploadFixture::session();
    const Models::Session second = UploadFixture::session();
    m_bench->store->enqueueUpload(task(UploadTaskType::heartbeat, first.id, heartbeatBody(first),
                                       std::nullopt, QDateTime::currentDateTimeUtc().addSecs(-1)));
    m_bench->store->enqueueUpload(
            task(UploadTaskType::heartbeat, second.id, heartbeatBody(second)));
    QObject context;
    connect(
            &AuthNotifications::instance(), &AuthNotifications::serverTodayTotalDidUpdate, &context,
            [] { UploadServiceTestHooks::setStopRequested(UploadService::instance(), true); },
            Qt::DirectConnection);

    const int wait = pass();
    UploadServiceTestHooks::setStopRequested(UploadService::instance(), false);

    QCOMPARE(wait, 30);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::Heartbeat), 1);
    QCOMPARE(queueRows(), QStringList{ u"heartbeat|pending|0|%1"_s.arg(
                                  second.id.toString(QUuid::WithoutBraces)) });
}

void TestUploadServiceQueue::removesMetadataUnsentAsSuccess()
{
    m_bench->store->enqueueUpload(task(UploadTaskType::metadata, QUuid::createUuid(), "{}"));
    for (int failure = 0; failure < 3; ++failure)
        UploadCircuitBreaker::instance().recordFailure(500);

    pass();

    QCOMPARE(queuedCount(), 0);
    QCOMPARE(m_bench->server.requestCount(), 0);
    QCOMPARE(breakerFailures(), 0);
}

void TestUploadServiceQueue::removesTaskOfMissingFile()
{
    const QUuid session = QUuid::createUuid();
    const QString path = captureFile(session);
    m_bench->store->enqueueUpload(task(UploadTaskType::screenshot, session, std::nullopt, path));
    QVERIFY(QFile::remove(path));
    UploadCircuitBreaker::instance().recordFailure(500);

    pass();

    QCOMPARE(queuedCount(), 0);
    QCOMPARE(m_bench->server.requestCount(), 0);
    QCOMPARE(breakerFailures(), 1);
}

void TestUploadServiceQueue::withoutStoreWaitsFiveSeconds()
{
    UploadServiceTestHooks::setStore(UploadService::instance(), nullptr);
    QCOMPARE(pass(), 5);
}

void TestUploadServiceQueue::skipsPassWhileBreakerOpen()
{
    for (int failure = 0; failure < 5; ++failure)
        UploadCircuitBreaker::instance().recordFailure(500);
    m_bench->store->upsertActivitySegment(u"2025-03-04"_s, 5, 300, 400, 10, 20);
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(
            task(UploadTaskType::startSession, session.id, startBody(session)));

    QCOMPARE(pass(), 30);

    QCOMPARE(m_bench->server.requestCount(), 0);
    QCOMPARE(queueRows(), QStringList{ u"startSession|pending|0|"_s
                                       + session.id.toString(QUuid::WithoutBraces) });
    QCOMPARE(m_log->linesContaining(u"[INFO] [upload] processQueue skipped: circuit breaker open"_s)
                     .size(),
             1);
}

void TestUploadServiceQueue::refusedConnectionKeepsRetryCount()
{
    const Models::Session session = UploadFixture::session();
    Models::UploadTask start = task(UploadTaskType::startSession, session.id, startBody(session));
    start.retryCount = 2;
    m_bench->store->enqueueUpload(start);
    m_bench->server.stopListening();

    for (int attempt = 0; attempt < 3; ++attempt) {
        UploadClock::advance(100);
        pass();
        const double delay = sql(u"SELECT next_attempt_at FROM upload_queue;"_s).value(0).toDouble()
                             - UploadClock::now().toMSecsSinceEpoch() / 1000.0;
        QVERIFY2(delay > 59 && delay <= 90, QByteArray::number(delay).constData());
    }

    QCOMPARE(queueRows(), QStringList{ u"startSession|failed|2|"_s
                                       + session.id.toString(QUuid::WithoutBraces) });
    QCOMPARE(breakerFailures(), 0);
    QCOMPARE(m_log->linesContaining(u"offline transport error (1); rescheduling without retry "
                                    "penalty"_s)
                     .size(),
             3);
}

void TestUploadServiceQueue::dropsOnPermanentAnswer_data()
{
    QTest::addColumn<UploadTaskType>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("fileDeleted");

    QTest::newRow("start 409") << UploadTaskType::startSession << 409 << false;
    QTest::newRow("start 404") << UploadTaskType::startSession << 404 << false;
    QTest::newRow("heartbeat 400") << UploadTaskType::heartbeat << 400 << false;
    QTest::newRow("segments 400") << UploadTaskType::activitySegment << 400 << false;
    QTest::newRow("segments 422") << UploadTaskType::activitySegment << 422 << false;
    QTest::newRow("screenshot 413") << UploadTaskType::screenshot << 413 << true;
    QTest::newRow("screenshot 422") << UploadTaskType::screenshot << 422 << true;
}

void TestUploadServiceQueue::dropsOnPermanentAnswer()
{
    QFETCH(UploadTaskType, type);
    QFETCH(int, status);
    QFETCH(bool, fileDeleted);

    const Models::Session session = UploadFixture::session();
    const QString file = captureFile(session.id);
    switch (type) {
    case UploadTaskType::startSession:
        m_bench->store->enqueueUpload(task(type, session.id, startBody(session)));
        break;
    case UploadTaskType::heartbeat:
        m_bench->store->enqueueUpload(task(type, session.id, heartbeatBody(session)));
        break;
    case UploadTaskType::activitySegment:
        m_bench->store->upsertActivitySegment(u"2025-03-04"_s, 5, 300, 400, 10, 20);
        break;
    default:
        m_bench->store->enqueueUpload(task(type, session.id, std::nullopt, file));
        break;
    }
    m_bench->server.addFault(FakeHrRoute::Any, FakeHrFault::answer(status));

    pass();

    QCOMPARE(m_bench->server.requestCount(), 1);
    QCOMPARE(queuedCount(), 0);
    QCOMPARE(QFile::exists(file), !fileDeleted);
    QCOMPARE(breakerFailures(), 0);
    const QString drop = u" type=%1 permanent %2; dropping."_s.arg(
            Models::uploadTaskTypeToString(type), QString::number(status));
    QCOMPARE(m_log->linesContaining(u"[WARN] [upload] Task "_s).filter(drop).size(), 1);
}

void TestUploadServiceQueue::retriesScreenshotBadRequestUntilSixthFailure()
{
    const QUuid session = QUuid::createUuid();
    const QString file = captureFile(session);
    m_bench->store->enqueueUpload(task(UploadTaskType::screenshot, session, std::nullopt, file));
    m_bench->server.addFault(FakeHrRoute::Screenshots, FakeHrFault::answer(400).repeated(6));

    pass();
    passesLater(4);
    QCOMPARE(queueRows(),
             QStringList{ u"screenshot|failed|5|"_s + session.toString(QUuid::WithoutBraces) });
    passesLater(1);

    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::Screenshots), 6);
    QCOMPARE(queuedCount(), 0);
    QVERIFY(QFile::exists(file));
    QCOMPARE(m_log->linesContaining(u"unrecoverable (transient=0 retry=6 age="_s).size(), 1);
    QCOMPARE(m_log->linesContaining(u"Upload failed (retry 5): "_s).size(), 1);
}

void TestUploadServiceQueue::neverDropsServerErrorByCount()
{
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(
            task(UploadTaskType::startSession, session.id, startBody(session)));
    m_bench->server.addFault(FakeHrRoute::SessionStart, FakeHrFault::answer(503).repeated(9));

    pass();
    passesLater(8);

    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 9);
    QCOMPARE(queueRows(), QStringList{ u"startSession|failed|9|"_s
                                       + session.id.toString(QUuid::WithoutBraces) });
    passesLater(1);
    QCOMPARE(queuedCount(), 0);
}

void TestUploadServiceQueue::dropsScreenshotPastRetentionUnsent()
{
    const QUuid session = QUuid::createUuid();
    const QString file = captureFile(session);
    const Models::UploadTask old = task(UploadTaskType::screenshot, session, std::nullopt, file,
                                        QDateTime::currentDateTimeUtc().addDays(-8));
    m_bench->store->enqueueUpload(old);

    pass();

    QCOMPARE(m_bench->server.requestCount(), 0);
    QCOMPARE(queuedCount(), 0);
    QVERIFY(QFile::exists(file));
    QCOMPARE(m_log->linesContaining(
                          u"[WARN] [upload] Dropping upload task %1 older than retention"_s.arg(
                                  old.id.toString(QUuid::WithoutBraces)))
                     .size(),
             1);
}

void TestUploadServiceQueue::unauthorizedWithoutRenewalKeepsTasks_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("refresh fails") << true;
    QTest::newRow("no record stored") << false;
}

void TestUploadServiceQueue::unauthorizedWithoutRenewalKeepsTasks()
{
    QFETCH(bool, signedIn);
    RefresherStub refresher;
    refresher.result = Networking::ITokenRefresher::Result::Failed;
    Networking::APIClient::setTokenRefresher(&refresher);
    m_bench->server.expireAccessToken();
    if (!signedIn)
        m_bench->signOut();
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(
            task(UploadTaskType::startSession, session.id, startBody(session)));
    m_bench->store->enqueueUpload(
            task(UploadTaskType::heartbeat, session.id, heartbeatBody(session)));

    pass();
    passesLater(6);

    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 7);
    const QString id = session.id.toString(QUuid::WithoutBraces);
    QCOMPARE(queueRows(),
             (QStringList{ u"startSession|failed|0|"_s + id, u"heartbeat|failed|0|"_s + id }));
    QCOMPARE(breakerFailures(), 0);
    if (signedIn)
        QCOMPARE(m_bench->tokens.load().value_or(Models::AuthTokens()).accessToken,
                 m_bench->issued.accessToken);
    QVERIFY(m_log->linesContaining(u"unrecoverable"_s).isEmpty());
}

void TestUploadServiceQueue::unauthorizedAfterRenewalCounts()
{
    RefresherStub refresher;
    refresher.action = [this] { m_bench->signIn(); };
    Networking::APIClient::setTokenRefresher(&refresher);
    m_bench->server.addFault(FakeHrRoute::SessionStart, FakeHrFault::answer(401).repeated(12));
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(
            task(UploadTaskType::startSession, session.id, startBody(session)));

    pass();
    passesLater(4);
    QCOMPARE(queueRows(), QStringList{ u"startSession|failed|5|"_s
                                       + session.id.toString(QUuid::WithoutBraces) });
    passesLater(1);

    QCOMPARE(refresher.calls, 6);
    QCOMPARE(queuedCount(), 0);
    QCOMPARE(m_log->linesContaining(u"unrecoverable (transient=0 retry=6 age="_s).size(), 1);
}

void TestUploadServiceQueue::queuedHeartbeatTakeoverDropsSessionTasks()
{
    const Models::Session session = UploadFixture::session();
    const QString file = captureFile(session.id);
    Storage::SQLiteStore &store = *m_bench->store;
    store.enqueueUpload(task(UploadTaskType::heartbeat, session.id, heartbeatBody(session)));
    store.enqueueUpload(task(UploadTaskType::heartbeat, session.id, heartbeatBody(session)));
    store.enqueueUpload(task(UploadTaskType::screenshot, session.id, std::nullopt, file));
    m_bench->server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(409));
    QSignalSpy takeovers(&AuthNotifications::instance(),
                         &AuthNotifications::sessionTakenOverByOtherDevice);

    // Stop after the heartbeat: the screenshot would go out otherwise.
    m_bench->server.addFault(FakeHrRoute::Screenshots, FakeHrFault::answer(503));
    pass();

    QCOMPARE(takeovers.size(), 1);
    QCOMPARE(takeovers.first().at(1).toInt(), 409);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::Heartbeat), 1);
    QCOMPARE(queueRows(),
             QStringList{ u"screenshot|failed|1|"_s + session.id.toString(QUuid::WithoutBraces) });
    QVERIFY(QFile::exists(file));
    QCOMPARE(breakerFailures(), 1);
}

void TestUploadServiceQueue::queuedHeartbeatBeforeStartIsRescheduled()
{
    const Models::Session session = UploadFixture::session();
    Storage::SQLiteStore &store = *m_bench->store;
    const Models::UploadTask start
            = task(UploadTaskType::startSession, session.id, startBody(session));
    store.enqueueUpload(start);
    store.markUploadFailed(start.id, 1, UploadClock::now().addSecs(3600));
    store.enqueueUpload(task(UploadTaskType::heartbeat, session.id, heartbeatBody(session)));
    // The stand-in's answer for a session it has not heard of.
    m_bench->server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(404));
    QSignalSpy takeovers(&AuthNotifications::instance(),
                         &AuthNotifications::sessionTakenOverByOtherDevice);

    pass();

    QCOMPARE(m_bench->server.requestCount(), 1);
    QCOMPARE(takeovers.size(), 0);
    const QString id = session.id.toString(QUuid::WithoutBraces);
    QCOMPARE(queueRows(),
             (QStringList{ u"startSession|failed|1|"_s + id, u"heartbeat|failed|0|"_s + id }));
    QCOMPARE(breakerFailures(), 0);
    QVERIFY(m_log->linesContaining(u"taken over"_s).isEmpty());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestUploadServiceQueue)
#include "tst_uploadservice_queue.moc"
