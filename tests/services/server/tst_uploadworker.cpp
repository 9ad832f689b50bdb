#include "TestEnvironment.h"

#include "UploadFixture.h"

#include "FakeHrServer.h"
#include "TestCertificate.h"

#include "models/HeartbeatPayload.h"
#include "models/StartSessionPayload.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthService.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cstdio>

using Models::UploadTaskType;
using Services::UploadService;
using Services::UploadServiceTestHooks;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
namespace UploadClock = Services::UploadClock;
using namespace UploadFixture;
using namespace Qt::StringLiterals;

namespace {

UploadService &service()
{
    return UploadService::instance();
}

Models::UploadTask startTask(const Models::Session &session)
{
    return task(UploadTaskType::startSession, session.id,
                Models::StartSessionPayload::build(session));
}

Models::UploadTask heartbeatTask(const Models::Session &session)
{
    return task(UploadTaskType::heartbeat, session.id,
                Models::buildHeartbeatPayload(session, u"completed"_s));
}

// Waits until the worker has finished one more round after this call.
bool nextRound()
{
    const int before = UploadServiceTestHooks::workerRounds();
    service().wakeWorker();
    return QTest::qWaitFor([before] { return UploadServiceTestHooks::workerRounds() > before; },
                           10000);
}

QStringList threadNames()
{
    QStringList names;
    const QDir tasks(u"/proc/self/task"_s);
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.absoluteFilePath(task + u"/comm"_s));
        if (comm.open(QIODevice::ReadOnly))
            names.append(QString::fromUtf8(comm.readAll()).trimmed());
    }
    return names;
}

QStringList statuses()
{
    return sql(u"SELECT DISTINCT status || '|' || retry_count FROM upload_queue;"_s);
}

} // namespace

class TestUploadWorker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startPurgesUnattributableRows();
    void startSparesTheSignedInUsersGlobalRows();
    void startRequeuesInterruptedTaskOnTheNamedThread();
    void secondStartChangesNothing();
    void wakeSendsWithoutWaitingForThePass();
    void wakeDuringHeldRequestIsNotLost();
    void periodicSweepQueuesLostFiles();

    void signedOutSendsNothingUntilSignedInAgain();
    void stopDuringHangingUploadLeavesTaskForNextStart();
    void stuckWorkerEndsTheProcess();
    void outageReschedulesAndRecoveryDeliversOnce();
    void refreshOutageKeepsTasksUntilRecovery();
    void serverErrorStormPausesTheQueue();
    void redirectElsewhereKeepsTheTaskAndTheToken();

private:
    std::unique_ptr<Bench> m_bench;
    std::unique_ptr<LogReader> m_log;
};

void TestUploadWorker::initTestCase()
{
    prepareProcess();
    m_log = std::make_unique<LogReader>();
}

void TestUploadWorker::init()
{
    m_bench = std::make_unique<Bench>();
    QVERIFY(m_bench->start());
    m_log->mark();
}

void TestUploadWorker::cleanup()
{
    service().stop();
    Networking::APIClient::setAbortRequested(false);
    UploadServiceTestHooks::setSweepIntervalMs(0);
    qunsetenv("TEMBRIX_API_BASE_URL");
    m_bench.reset();
}

void TestUploadWorker::startPurgesUnattributableRows()
{
    Storage::SQLiteStore &store = *m_bench->store;
    const Models::Session session = UploadFixture::session();
    store.enqueueUpload(startTask(session), u"global"_s);
    store.upsertActivitySegment(u"2020-01-01"_s, 4, 60, 60, 1, 1, u"other.example.com"_s);
    store.upsertActivitySegment(QDate::currentDate().addDays(-1).toString(Qt::ISODate), 4, 60, 60,
                                1, 1, u"other.example.com"_s);

    service().start(&store);

    QCOMPARE(m_log->linesContaining(
                          u"[INFO] [upload] Launch cleanup: removed 2 unattributable row(s)"_s)
                     .size(),
             1);
    QCOMPARE(sql(u"SELECT count(*) FROM upload_queue;"_s), QStringList{ u"0"_s });
    QCOMPARE(sql(u"SELECT segment_date FROM activity_segments;"_s),
             QStringList{ QDate::currentDate().addDays(-1).toString(Qt::ISODate) });
}

void TestUploadWorker::startSparesTheSignedInUsersGlobalRows()
{
    // Signed in directly under the environment's base URL: no company endpoint, domain "global".
    FakeHrServer server(FakeHrServer::Transport::Https);
    QVERIFY(server.start());
    TestSupport::TestCertificate::trustInProcess(&Networking::APIClient::networkAccessManager());
    qputenv("TEMBRIX_API_BASE_URL", server.baseUrl().toEncoded());
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    const TestSupport::FakeHrTokens issued = signIn(server, m_bench->tokens);
    m_bench->store->setDomainKey(Networking::ApiEndpoint::domainKey());
    QCOMPARE(m_bench->store->domainKey(), u"global"_s);
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(startTask(session));

    service().start(m_bench->store.get());

    QVERIFY(server.waitForRequests(1, FakeHrRoute::SessionStart));
    QCOMPARE(server.requests(FakeHrRoute::SessionStart).first().bearerToken, issued.accessToken);
    QTRY_COMPARE(queuedCount(), 0);
    QVERIFY(m_log->linesContaining(u"Launch cleanup"_s).isEmpty());
}

void TestUploadWorker::startRequeuesInterruptedTaskOnTheNamedThread()
{
    const Models::Session session = UploadFixture::session();
    const Models::UploadTask interrupted = startTask(session);
    m_bench->store->enqueueUpload(interrupted);
    m_bench->store->markUploadInProgress(interrupted.id);
    QVERIFY(!threadNames().contains(u"upload.worker"_s));

    service().start(m_bench->store.get());

    // The new thread names itself once it runs.
    QTRY_VERIFY(threadNames().contains(u"upload.worker"_s));
    QVERIFY(m_bench->server.waitForRequests(1, FakeHrRoute::SessionStart));
    QTRY_COMPARE(queuedCount(), 0);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 1);
}

void TestUploadWorker::secondStartChangesNothing()
{
    // The request hangs, so the task stays queued however soon the worker picks it up.
    m_bench->server.addFault(FakeHrRoute::SessionStart, FakeHrFault::hang());
    service().start(m_bench->store.get());
    Storage::SQLiteStore other(true);
    service().start(&other);

    service().enqueueSessionStart(UploadFixture::session());
    service().wakeWorker();

    // The running worker sends it from the first store.
    QVERIFY(m_bench->server.waitForRequests(1, FakeHrRoute::SessionStart));
    QCOMPARE(queuedCount(), 1);
    QVERIFY(!other.nextDueUpload(QDateTime::currentDateTimeUtc()));
}

void TestUploadWorker::wakeSendsWithoutWaitingForThePass()
{
    m_bench->store->enqueueUpload(startTask(UploadFixture::session()));
    service().start(m_bench->store.get());
    QVERIFY(m_bench->server.waitForRequests(1, FakeHrRoute::SessionStart));

    // The worker now sleeps for 30 s unless woken.
    QElapsedTimer sinceEnqueue;
    sinceEnqueue.start();
    service().enqueueSessionStart(UploadFixture::session());
    service().wakeWorker();

    QVERIFY(m_bench->server.waitForRequests(2, FakeHrRoute::SessionStart, 10000));
    QVERIFY(sinceEnqueue.elapsed() < 10000);
}

void TestUploadWorker::wakeDuringHeldRequestIsNotLost()
{
    // Twenty-one tasks: the twenty-first waits for the next pass, which only a wake brings early.
    for (int n = 0; n < 21; ++n)
        m_bench->store->enqueueUpload(startTask(UploadFixture::session()));
    m_bench->server.addFault(FakeHrRoute::SessionStart, FakeHrFault::delay(1500));
    service().start(m_bench->store.get());
    QVERIFY(m_bench->server.waitForRequests(1, FakeHrRoute::SessionStart));

    // Arrives while the worker is inside a request, not waiting: it must still count.
    service().wakeWorker();

    QVERIFY(m_bench->server.waitForRequests(21, FakeHrRoute::SessionStart, 15000));
    QTRY_COMPARE(queuedCount(), 0);
}

void TestUploadWorker::periodicSweepQueuesLostFiles()
{
    UploadServiceTestHooks::setSweepIntervalMs(1);
    service().start(m_bench->store.get());
    QVERIFY(nextRound());
    const QString lost = captureFile(QUuid::createUuid());

    QVERIFY(nextRound());

    QVERIFY2(m_bench->server.waitForRequests(1, FakeHrRoute::Screenshots),
             qPrintable(m_log->lines().join(u'\n')));
    QTRY_VERIFY(!QFile::exists(lost));
    QCOMPARE(m_log->linesContaining(u"Orphan sweeper: enqueued 1 stranded screenshot(s)"_s).size(),
             1);
}

void TestUploadWorker::signedOutSendsNothingUntilSignedInAgain()
{
    m_bench->signOut();
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(startTask(session));
    m_bench->store->enqueueUpload(heartbeatTask(session));
    service().start(m_bench->store.get());

    QVERIFY(nextRound());
    QVERIFY(nextRound());
    QCOMPARE(m_bench->server.requestCount(), 0);
    QCOMPARE(statuses(), QStringList{ u"pending|0"_s });

    m_bench->signIn();
    service().wakeWorker();

    QVERIFY(m_bench->server.waitForRequests(2));
    QTRY_COMPARE(queuedCount(), 0);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 1);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::Heartbeat), 1);
    for (const TestSupport::RecordedRequest &request : m_bench->server.requests())
        QCOMPARE(request.bearerToken, m_bench->issued.accessToken);
}

void TestUploadWorker::stopDuringHangingUploadLeavesTaskForNextStart()
{
    const Models::Session session = UploadFixture::session();
    const Models::UploadTask start = startTask(session);
    m_bench->store->enqueueUpload(start);
    m_bench->server.addFault(FakeHrRoute::SessionStart, FakeHrFault::hang());
    service().start(m_bench->store.get());
    QVERIFY(m_bench->server.waitForRequests(1, FakeHrRoute::SessionStart));

    QElapsedTimer stopping;
    stopping.start();
    service().stop();
    const qint64 stopMs = stopping.elapsed();
    std::fprintf(stderr, "stop during a hanging upload took %lld ms\n",
                 static_cast<long long>(stopMs));

    // Still here: a stuck worker would have ended the process with status 75.
    QVERIFY(!UploadServiceTestHooks::isWorkerRunning(service()));
    QCOMPARE(statuses(), QStringList{ u"inProgress|0"_s });
    QCOMPARE(m_log->linesContaining(u"[INFO] [upload] Task %1 aborted by shutdown; left for next "
                                    "launch"_s.arg(start.id.toString(QUuid::WithoutBraces)))
                     .size(),
             1);

    m_bench->server.clearFaults();
    service().start(m_bench->store.get());
    QVERIFY(m_bench->server.waitForRequests(2, FakeHrRoute::SessionStart));
    QTRY_COMPARE(queuedCount(), 0);
    QVERIFY(nextRound());
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SessionStart), 2);
}

void TestUploadWorker::stuckWorkerEndsTheProcess()
{
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer running;
    running.start();

    helper.start(QStringLiteral(CLOCKWARDEN_UPLOAD_WORKER_STUCK), {});
    QVERIFY(helper.waitForFinished(60000));

    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 75);
    QCOMPARE(helper.readAllStandardOutput(), QByteArray());
    QVERIFY(running.elapsed() >= 5000);
    QCOMPARE(m_log->linesContaining(u"[WARN] [upload] UploadService::stop: worker stuck after 5s; "
                                    "exiting immediately without static destruction"_s)
                     .size(),
             1);
}

void TestUploadWorker::outageReschedulesAndRecoveryDeliversOnce()
{
    const Models::Session session = UploadFixture::session();
    Storage::SQLiteStore &store = *m_bench->store;
    store.enqueueUpload(startTask(session));
    store.enqueueUpload(heartbeatTask(session));
    store.upsertActivitySegment(u"2025-03-04"_s, 5, 300, 400, 10, 20);
    store.enqueueUpload(
            task(UploadTaskType::screenshot, session.id, std::nullopt, captureFile(session.id)));
    m_bench->server.stopListening();

    service().start(&store);

    QTRY_COMPARE(queuedCount(), 4);
    QTRY_COMPARE(statuses(), QStringList{ u"failed|0"_s });
    QCOMPARE(Services::UploadCircuitBreaker::instance().counters().consecutiveFailures, 0);

    QVERIFY(m_bench->server.resumeListening());
    UploadClock::advance(100);
    service().wakeWorker();

    QTRY_COMPARE(queuedCount(), 0);
    QVERIFY(nextRound());
    for (const FakeHrRoute route : { FakeHrRoute::SessionStart, FakeHrRoute::Heartbeat,
                                     FakeHrRoute::SegmentsBatch, FakeHrRoute::Screenshots })
        QCOMPARE(m_bench->server.requestCount(route), 1);
    QVERIFY(m_log->linesContaining(u"discarding"_s).isEmpty());
}

void TestUploadWorker::refreshOutageKeepsTasksUntilRecovery()
{
    Services::AuthService &auth = Services::AuthService::instance();
    auth.setTokenStore(&m_bench->tokens);
    Networking::APIClient::setTokenRefresher(&auth);
    const Models::Session session = UploadFixture::session();
    m_bench->store->enqueueUpload(startTask(session));
    m_bench->store->enqueueUpload(heartbeatTask(session));
    m_bench->server.expireAccessToken();
    m_bench->server.addFault(FakeHrRoute::Refresh, FakeHrFault::answer(500).repeated(1000));

    service().start(m_bench->store.get());
    QTRY_COMPARE(statuses(), QStringList{ u"failed|0"_s });
    for (int pass = 0; pass < 6; ++pass) {
        UploadClock::advance(100);
        QVERIFY(nextRound());
    }
    QCOMPARE(statuses(), QStringList{ u"failed|0"_s });
    QCOMPARE(m_bench->tokens.load().value_or(Models::AuthTokens()).refreshToken,
             m_bench->issued.refreshToken);

    m_bench->server.clearFaults();
    const int refreshesBefore = m_bench->server.requestCount(FakeHrRoute::Refresh);
    UploadClock::advance(100);
    service().wakeWorker();

    QTRY_COMPARE(queuedCount(), 0);
    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::Refresh), refreshesBefore + 1);
    const QString renewed = m_bench->server.currentTokens().value().accessToken;
    QCOMPARE(m_bench->server.requests(FakeHrRoute::SessionStart).last().bearerToken, renewed);
    QCOMPARE(m_bench->server.requests(FakeHrRoute::Heartbeat).last().bearerToken, renewed);
    auth.setTokenStore(nullptr);
}

void TestUploadWorker::serverErrorStormPausesTheQueue()
{
    for (int n = 0; n < 8; ++n)
        m_bench->store->enqueueUpload(startTask(UploadFixture::session()));
    m_bench->server.addFault(FakeHrRoute::Any, FakeHrFault::answer(503).repeated(1000));

    service().start(m_bench->store.get());
    QVERIFY(m_bench->server.waitForRequests(5));
    QVERIFY(nextRound());
    QVERIFY(nextRound());
    QCOMPARE(m_bench->server.requestCount(), 5);
    QVERIFY(!m_log->linesContaining(u"processQueue skipped: circuit breaker open"_s).isEmpty());

    // After the 60 s window one request goes out, fails, and reopens the breaker at once.
    UploadClock::advance(61);
    QVERIFY(nextRound());
    QVERIFY(nextRound());
    QCOMPARE(m_bench->server.requestCount(), 6);

    m_bench->server.clearFaults();
    UploadClock::advance(121);
    service().wakeWorker();
    QTRY_COMPARE(queuedCount(), 0);
    QCOMPARE(m_bench->server.requestCount(), 14);
}

void TestUploadWorker::redirectElsewhereKeepsTheTaskAndTheToken()
{
    // Another host that would take the session start and say so.
    FakeHrServer other;
    QVERIFY(other.start());
    other.addFault(FakeHrRoute::Any, FakeHrFault::answer(200, "{}").repeated(-1));
    const QUrl elsewhere
            = other.baseUrl().resolved(QUrl(u"hr/clockwarden/employees/sessions/start"_s));
    m_bench->server.addFault(FakeHrRoute::SessionStart,
                             FakeHrFault::redirect(307, elsewhere.toEncoded()));
    m_bench->store->enqueueUpload(startTask(UploadFixture::session()));

    service().start(m_bench->store.get());

    QVERIFY(m_bench->server.waitForRequests(1, FakeHrRoute::SessionStart));
    QTRY_COMPARE(statuses(), QStringList{ u"failed|1"_s });
    QCOMPARE(queuedCount(), 1);
    QCOMPARE(other.requestCount(), 0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestUploadWorker)
#include "tst_uploadworker.moc"
