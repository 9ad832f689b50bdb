#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "services/tracking/PermissionService.h"
#include "storage/Preferences.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Core::SessionManager;
using Kind = TestSupport::RecordingUploads::Kind;

namespace {

const QDateTime t0
        = QDateTime::fromString(QStringLiteral("2025-03-01T09:00:00.000Z"), Qt::ISODateWithMs);

Models::Project design()
{
    return { QStringLiteral("p1"), QStringLiteral("Design") };
}

void ticks(SessionManagerFixture &fixture, int count)
{
    for (int i = 0; i < count; ++i)
        fixture.tick();
}

} // namespace

class TestSessionManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusedStartLeavesNoSession_data();
    void refusedStartLeavesNoSession();
    void startWithoutStoreDoesNothing();
    void startWhileTrackingChangesNothing();
    void startWithoutTaskHasEmptyProject();
    void pauseResumeStopRecordsExactIntervals();
    void stopWithoutReasonKeepsTheMessage();
    void markerIsWrittenEverySixtyRunningTicks();
    void pauseDelaysTheMarkerAndResumeRestartsOnlyTheFiveTickCount();
    void pausedTickUpdatesElapsedWithoutSignal();
    void selectingTheSameProjectEmitsNothing();
    void shutdownWhileRunningKeepsTheSessionClosed();
    void shutdownWhilePausedChangesNothing();
};

void TestSessionManager::refusedStartLeavesNoSession_data()
{
    QTest::addColumn<bool>("forced");
    QTest::addColumn<bool>("capture");
    QTest::addColumn<bool>("input");
    QTest::addColumn<QString>("message");
    const QString update = QStringLiteral("Update required before tracking can start.");
    const QString permissions = QStringLiteral("Required permissions are not granted.");
    QTest::newRow("forced, all granted") << true << true << true << update;
    QTest::newRow("forced, nothing granted") << true << false << false << update;
    QTest::newRow("no capture") << false << false << true << permissions;
    QTest::newRow("no input") << false << true << false << permissions;
    QTest::newRow("neither") << false << false << false << permissions;
}

void TestSessionManager::refusedStartLeavesNoSession()
{
    QFETCH(bool, forced);
    QFETCH(bool, capture);
    QFETCH(bool, input);
    QFETCH(QString, message);
    SessionManagerFixture fixture(t0);
    if (forced) {
        Models::RemoteConfig config;
        config.latestClientVersionLinux = QStringLiteral("9.0");
        Core::AppStateManager::instance().setRemoteConfig(config);
    }
    fixture.platform.capturer->available = capture;
    fixture.platform.input->available = input;
    auto &permissionService = Services::PermissionService::instance();
    permissionService.setScreenCapturer(fixture.platform.capturer.get());
    permissionService.setInputMonitor(fixture.platform.input.get());
    QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);

    fixture.engine().startTracking(design());
    QCOMPARE(fixture.engine().statusMessage(), message);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!fixture.engine().isTracking());
    QVERIFY(fixture.store->loadActiveSessions().isEmpty());
    QVERIFY(fixture.uploads.calls.isEmpty());
    QCoreApplication::processEvents(); // the forced-update notice finds nothing to stop
    QCOMPARE(spy.count(), 1);
}

void TestSessionManager::startWithoutStoreDoesNothing()
{
    SessionManagerFixture fixture(t0);
    fixture.replaceEngineUninitialized();
    QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
    fixture.engine().startTracking(design());
    QVERIFY(!fixture.engine().isTracking());
    QCOMPARE(spy.count(), 0);
    QVERIFY(fixture.uploads.calls.isEmpty());
}

void TestSessionManager::startWhileTrackingChangesNothing()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTracking(design());
    const auto session = fixture.engine().activeSession();
    QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
    fixture.engine().startTrackingWithoutProject();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(fixture.engine().activeSession(), session);
    QCOMPARE(fixture.uploads.kinds(), QStringList{ QStringLiteral("start") });
}

void TestSessionManager::startWithoutTaskHasEmptyProject()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTrackingWithoutProject();
    const auto session = fixture.engine().activeSession();
    QVERIFY(session);
    QVERIFY(session->projectId.isEmpty());
    QVERIFY(session->projectName.isEmpty());
    QCOMPARE(session->deviceId, Storage::deviceId());
    const QString line = QStringLiteral("Tracking started, session %1, project ")
                                 .arg(session->id.toString(QUuid::WithoutBraces));
    QVERIFY(fixture.logLines().constLast().endsWith(line));
}

void TestSessionManager::pauseResumeStopRecordsExactIntervals()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    const QUuid id = engine.activeSession()->id;
    QCOMPARE(fixture.store->loadActiveSessions().size(), 1);

    ticks(fixture, 10);
    engine.pause();
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(10)));
    ticks(fixture, 20);
    engine.resumeTracking();
    ticks(fixture, 20);
    engine.stopTracking(QStringLiteral("Session ended"));

    const auto stops = fixture.uploads.callsOf(Kind::SessionStop);
    QCOMPARE(stops.size(), 1);
    const Models::Session completed = stops.constFirst().session;
    QCOMPARE(completed.id, id);
    QCOMPARE(completed.intervals.size(), 2);
    QCOMPARE(completed.intervals.at(0).startedAt, t0);
    QCOMPARE(completed.intervals.at(0).stoppedAt, std::optional(t0.addSecs(10)));
    QCOMPARE(completed.intervals.at(1).startedAt, t0.addSecs(30));
    QCOMPARE(completed.intervals.at(1).stoppedAt, std::optional(t0.addSecs(50)));
    QCOMPARE(completed.reportedTotalSeconds, std::optional(30));
    QCOMPARE(completed.status, Models::SessionStatus::completed);

    const auto history = fixture.store->sessionSummaries(t0.addDays(-1), t0.addDays(1));
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.constFirst().durationSeconds, 30.0);
    QVERIFY(fixture.store->loadActiveSessions().isEmpty());
    QCOMPARE(Storage::lastHeartbeat(id), std::nullopt);
    QCOMPARE(fixture.uploads.kinds(),
             (QStringList{ QStringLiteral("start"), QStringLiteral("stop") }));

    QVERIFY(!engine.isTracking());
    QVERIFY(!engine.isPaused());
    QVERIFY(!engine.isIdle());
    QVERIFY(!engine.needsIdleDecision());
    QCOMPARE(engine.elapsedSeconds(), 0.0);
    QCOMPARE(engine.todayTotalSeconds(), 30.0);
    QCOMPARE(engine.statusMessage(), QStringLiteral("Tracking stopped: Session ended"));
    QVERIFY(!fixture.engine().findChild<QTimer *>(QStringLiteral("sessionTickTimer"))->isActive());
}

void TestSessionManager::stopWithoutReasonKeepsTheMessage()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTracking(design());
    const QUuid id = fixture.engine().activeSession()->id;
    fixture.engine().setSelectedProjectId(QStringLiteral("p2"));
    fixture.engine().stopTracking();
    QCOMPARE(fixture.engine().statusMessage(), QString());
    QVERIFY(fixture.logLines().constLast().endsWith(
            QStringLiteral("Tracking stopped, session %1").arg(id.toString(QUuid::WithoutBraces))));

    fixture.engine().startTracking(design());
    fixture.engine().stopTracking(QString());
    QCOMPARE(fixture.engine().statusMessage(), QStringLiteral("Tracking stopped: "));
    QVERIFY(fixture.logLines().constLast().endsWith(QStringLiteral(", reason: ")));
}

void TestSessionManager::markerIsWrittenEverySixtyRunningTicks()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTracking(design());
    const QUuid id = fixture.engine().activeSession()->id;
    ticks(fixture, 59);
    QCOMPARE(Storage::lastHeartbeat(id), std::nullopt);
    fixture.tick();
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(60)));
    ticks(fixture, 59);
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(60)));
    fixture.tick();
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(120)));
}

void TestSessionManager::pauseDelaysTheMarkerAndResumeRestartsOnlyTheFiveTickCount()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    const QUuid id = engine.activeSession()->id;
    ticks(fixture, 32); // six checkpoints and two ticks towards the seventh
    engine.pause();
    ticks(fixture, 10);
    engine.resumeTracking();
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(42)));
    // Six more checkpoints of five ticks each: the two ticks before the pause do not count again.
    ticks(fixture, 29);
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(42)));
    fixture.tick();
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(t0.addSecs(72)));
}

void TestSessionManager::pausedTickUpdatesElapsedWithoutSignal()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    ticks(fixture, 5);
    QSignalSpy spy(&engine, &SessionManager::stateChanged);
    fixture.tick();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(engine.elapsedSeconds(), 6.0);
    engine.pause();
    spy.clear();
    ticks(fixture, 3);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(engine.elapsedSeconds(), 6.0);
    QCOMPARE(engine.todayTotalSeconds(), 6.0);
    QVERIFY(engine.findChild<QTimer *>(QStringLiteral("sessionTickTimer"))->isActive());
}

void TestSessionManager::selectingTheSameProjectEmitsNothing()
{
    SessionManagerFixture fixture(t0);
    QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
    fixture.engine().setSelectedProjectId(QStringLiteral("p1"));
    fixture.engine().setSelectedProjectId(QStringLiteral("p1"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(fixture.engine().selectedProjectId(), QStringLiteral("p1"));
}

void TestSessionManager::shutdownWhileRunningKeepsTheSessionClosed()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTracking(design());
    ticks(fixture, 7);
    QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
    fixture.engine().shutdown();
    QCOMPARE(spy.count(), 0);
    const auto rows = fixture.store->loadActiveSessions();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.constFirst().status, Models::SessionStatus::active);
    QCOMPARE(rows.constFirst().intervals.constLast().stoppedAt, std::optional(t0.addSecs(7)));
    QVERIFY(fixture.logLines().constLast().endsWith(
            QStringLiteral("Tracking interval closed on app termination")));
    QCOMPARE(fixture.uploads.kinds(), QStringList{ QStringLiteral("start") });
}

void TestSessionManager::shutdownWhilePausedChangesNothing()
{
    SessionManagerFixture fixture(t0);
    fixture.engine().startTracking(design());
    ticks(fixture, 4);
    fixture.engine().pause();
    const auto before = fixture.store->loadActiveSessions();
    ticks(fixture, 4);
    fixture.engine().shutdown();
    QCOMPARE(fixture.store->loadActiveSessions(), before);
    QVERIFY(fixture.engine().isPaused());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSessionManager)

#include "tst_sessionmanager.moc"
