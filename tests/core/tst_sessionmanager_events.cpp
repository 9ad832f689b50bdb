#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "core/IdleDetector.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthNotifications.h"
#include "services/tracking/ScreenCaptureService.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Core::SessionManager;
using HeartbeatResult = Services::ITrackingUploads::HeartbeatResult;
using Kind = TestSupport::RecordingUploads::Kind;

namespace {

const QDateTime t0
        = QDateTime::fromString(QStringLiteral("2025-03-01T09:00:00.000Z"), Qt::ISODateWithMs);

Models::Project design()
{
    return { QStringLiteral("p1"), QStringLiteral("Design") };
}

// Sets the desktop's idle time, lets the detector poll and runs the engine's queued reaction.
void idleFor(SessionManagerFixture &fixture, qint64 seconds)
{
    fixture.platform.idle->seconds = seconds;
    auto *detector = fixture.engine().findChild<Core::IdleDetector *>();
    QVERIFY(detector);
    detector->poll();
    QCoreApplication::processEvents();
}

QStringList captureFiles()
{
    return QDir(Platform::Paths::capturesDirFor(Networking::ApiEndpoint::domainKey()))
            .entryList(QDir::Files, QDir::Name);
}

void captureNow(SessionManagerFixture &fixture)
{
    auto *capture = fixture.engine().findChild<Services::ScreenCaptureService *>();
    QVERIFY(capture);
    capture->captureNow();
}

int linesEndingWith(const QStringList &lines, const QString &text)
{
    return int(std::count_if(lines.cbegin(), lines.cend(),
                             [&text](const QString &line) { return line.endsWith(text); }));
}

} // namespace

class TestSessionManagerEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void idlePolicy_data();
    void idlePolicy();
    void askPolicyRaisesOneQuestion();
    void askPolicyWithoutPresenterStillWaits();
    void continueAfterIdleCountsUpToDetectionOnly();
    void continueAfterStopDoesNothing();
    void sleepAndWakeSplitTheSession();
    void sleepWhilePausedStaysPaused();
    void captureSendsOneHeartbeatPerFile();
    void heartbeatResultDecidesScreenshotQueueing_data();
    void heartbeatResultDecidesScreenshotQueueing();
    void stopDuringHeartbeatIsSafe_data();
    void stopDuringHeartbeatIsSafe();
    void activityPercentFollowsTrackedSeconds();
    void takeoverClosesOnlyTheNamedSession();
    void forcedUpdateStopsTracking();
    void invalidatedSignInStopsTracking();

private:
    int m_presented = 0;
};

void TestSessionManagerEvents::init()
{
    m_presented = 0;
    QDir(Platform::Paths::capturesRoot()).removeRecursively();
}

void TestSessionManagerEvents::idlePolicy_data()
{
    QTest::addColumn<bool>("hasConfig");
    QTest::addColumn<std::optional<QString>>("action");
    QTest::addColumn<bool>("discard");
    QTest::addColumn<QString>("outcome"); // "stopped", "paused" or "asked"

    const std::optional<QString> none;
    const struct
    {
        const char *name;
        std::optional<QString> action;
        const char *outcome;
    } actions[] = {
        { "stop", QStringLiteral("stop"), "stopped" },
        { "pause", QStringLiteral("pause"), "paused" },
        { "ask", QStringLiteral("ask"), "asked" },
        { "no action", none, "asked" },
        { "Stop in capitals", QStringLiteral("Stop"), "asked" },
    };
    for (const auto &row : actions) {
        QTest::addRow("%s, discarding", row.name)
                << true << row.action << true << QString::fromLatin1(row.outcome);
        QTest::addRow("%s, keeping", row.name)
                << true << row.action << false << QString::fromLatin1(row.outcome);
    }
    QTest::newRow("no configuration") << false << none << true << QStringLiteral("asked");
}

void TestSessionManagerEvents::idlePolicy()
{
    QFETCH(bool, hasConfig);
    QFETCH(std::optional<QString>, action);
    QFETCH(bool, discard);
    QFETCH(QString, outcome);
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    if (hasConfig) {
        Models::RemoteConfig config;
        config.idleMinutesThreshold = 1;
        config.idleAction = action;
        config.discardIdleTime = discard;
        engine.applyRemoteConfig(config);
    }
    engine.setIdleDecisionPresenter([this] { ++m_presented; });
    engine.startTracking(design());
    fixture.advance(5);
    fixture.platform.input->emitEvents(TestSupport::FakeInputMonitor::Event::MouseMove);
    fixture.advance(65);
    // Detected at t0 + 70 s, the last input at t0 + 5 s; without a configuration the threshold is
    // five minutes.
    idleFor(fixture, hasConfig ? 65 : 400);
    QVERIFY(engine.isPaused());
    QVERIFY(engine.isIdle());
    fixture.advance(30);
    idleFor(fixture, 0);
    QCoreApplication::processEvents(); // the presenter's queued call

    if (outcome == QLatin1String("stopped")) {
        QVERIFY(!engine.isTracking());
        QCOMPARE(engine.statusMessage(), QStringLiteral("Tracking stopped: idle"));
        const auto stops = fixture.uploads.callsOf(Kind::SessionStop);
        QCOMPARE(stops.size(), 1);
        const auto &last = stops.constFirst().session.intervals.constLast();
        QCOMPARE(last.stoppedAt, std::optional(discard ? t0.addSecs(5) : t0.addSecs(70)));
        QCOMPARE(m_presented, 0);
        return;
    }
    QVERIFY(engine.isTracking());
    QVERIFY(engine.isPaused());
    QVERIFY(engine.isIdle());
    const auto session = engine.activeSession();
    QCOMPARE(session->intervals.constLast().stoppedAt, std::optional(t0.addSecs(70)));
    QCOMPARE(session->idleDiscardCutoffAt, std::optional(t0.addSecs(5)));
    const bool asked = outcome == QLatin1String("asked");
    QCOMPARE(engine.needsIdleDecision(), asked);
    QCOMPARE(m_presented, asked ? 1 : 0);
    if (asked) {
        QCOMPARE(engine.statusMessage(),
                 QStringLiteral("You were idle. Continue tracking or stop the session."));
    }

    // Stopping now applies the idle cutoff exactly as the policy says.
    engine.stopAfterIdle();
    const auto stops = fixture.uploads.callsOf(Kind::SessionStop);
    QCOMPARE(stops.size(), 1);
    const bool discards = !hasConfig || discard;
    QCOMPARE(stops.constFirst().session.intervals.constLast().stoppedAt,
             std::optional(discards ? t0.addSecs(5) : t0.addSecs(70)));
}

void TestSessionManagerEvents::askPolicyRaisesOneQuestion()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.setIdleDecisionPresenter([this] { ++m_presented; });
    engine.startTracking(design());
    idleFor(fixture, 400);
    idleFor(fixture, 0);
    QCoreApplication::processEvents();
    QCOMPARE(m_presented, 1);

    QSignalSpy spy(&engine, &SessionManager::stateChanged);
    idleFor(fixture, 400); // already paused: nothing
    idleFor(fixture, 0);
    QCoreApplication::processEvents();
    QCOMPARE(m_presented, 1);
    QCOMPARE(spy.count(), 0);
    QVERIFY(engine.needsIdleDecision());
}

void TestSessionManagerEvents::askPolicyWithoutPresenterStillWaits()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    idleFor(fixture, 400);
    idleFor(fixture, 0);
    QCoreApplication::processEvents();
    QVERIFY(engine.needsIdleDecision());
    QVERIFY(engine.isPaused());

    // A manual resume answers the question too.
    engine.resumeTracking();
    QVERIFY(!engine.needsIdleDecision());
    QVERIFY(!engine.isIdle());
}

void TestSessionManagerEvents::continueAfterIdleCountsUpToDetectionOnly()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    fixture.advance(10);
    fixture.platform.input->emitEvents(TestSupport::FakeInputMonitor::Event::KeyPress);
    fixture.advance(300);
    idleFor(fixture, 300); // detected at t0 + 310 s
    fixture.advance(60);
    idleFor(fixture, 0);
    fixture.advance(20);
    engine.continueAfterIdle(); // answered at t0 + 390 s
    fixture.advance(10);
    engine.stopTracking(QStringLiteral("Session ended"));

    const auto completed = fixture.uploads.callsOf(Kind::SessionStop).constFirst().session;
    QCOMPARE(completed.intervals.size(), 2);
    // Idle time up to the detection stays; the wait for the answer does not count.
    QCOMPARE(completed.intervals.at(0).stoppedAt, std::optional(t0.addSecs(310)));
    QCOMPARE(completed.intervals.at(1).startedAt, t0.addSecs(390));
    QCOMPARE(completed.reportedTotalSeconds, std::optional(320));
    QCOMPARE(completed.idleDiscardCutoffAt, std::nullopt);
}

void TestSessionManagerEvents::continueAfterStopDoesNothing()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    idleFor(fixture, 400);
    engine.stopAfterIdle();
    QSignalSpy spy(&engine, &SessionManager::stateChanged);
    engine.continueAfterIdle();
    QVERIFY(!engine.isTracking());
    QCOMPARE(spy.count(), 0);
}

void TestSessionManagerEvents::sleepAndWakeSplitTheSession()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    auto *tickTimer = engine.findChild<QTimer *>(QStringLiteral("sessionTickTimer"));
    engine.startTracking(design());
    const QUuid id = engine.activeSession()->id;
    fixture.tick(10);
    Q_EMIT fixture.platform.sleep->aboutToSleep();
    QVERIFY(engine.isPaused());
    QVERIFY(!tickTimer->isActive());
    QCOMPARE(Storage::lastHeartbeat(id), std::nullopt);
    QVERIFY(fixture.logLines().constLast().endsWith(
            QStringLiteral("Tracking paused due to system sleep")));

    fixture.advance(600);
    Q_EMIT fixture.platform.sleep->awoke();
    QVERIFY(!engine.isPaused());
    QVERIFY(tickTimer->isActive());
    const auto session = engine.activeSession();
    QCOMPARE(session->intervals.size(), 2);
    QCOMPARE(session->intervals.at(0).stoppedAt, std::optional(t0.addSecs(10)));
    QCOMPARE(session->intervals.at(1).startedAt, t0.addSecs(610));
    QCOMPARE(fixture.platform.sleep->starts, 1);
}

void TestSessionManagerEvents::sleepWhilePausedStaysPaused()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    fixture.advance(10);
    engine.pause();
    Q_EMIT fixture.platform.sleep->aboutToSleep();
    fixture.advance(60);
    Q_EMIT fixture.platform.sleep->awoke();
    QVERIFY(engine.isPaused());
    QCOMPARE(engine.activeSession()->intervals.size(), 1);
}

void TestSessionManagerEvents::captureSendsOneHeartbeatPerFile()
{
    SessionManagerFixture fixture(t0);
    fixture.platform.capturer->images
            = { QImage(64, 48, QImage::Format_RGB32), QImage(32, 32, QImage::Format_RGB32) };
    fixture.engine().startTracking(design());
    QStringList filesAtFirstHeartbeat;
    fixture.uploads.duringHeartbeat = [&](const Models::Session &) {
        if (filesAtFirstHeartbeat.isEmpty())
            filesAtFirstHeartbeat = captureFiles();
    };
    fixture.platform.input->emitEvents(TestSupport::FakeInputMonitor::Event::MouseMove, 3);
    fixture.advance(90);
    captureNow(fixture);

    QCOMPARE(linesEndingWith(fixture.logLines(), QStringLiteral("handleCaptureComplete received")),
             2);
    QCOMPARE(fixture.uploads.kinds(),
             (QStringList{ QStringLiteral("start"), QStringLiteral("heartbeat"),
                           QStringLiteral("screenshots"), QStringLiteral("heartbeat"),
                           QStringLiteral("screenshots") }));
    QCOMPARE(filesAtFirstHeartbeat.size(), 1);
    QVERIFY(filesAtFirstHeartbeat.constFirst().endsWith(QStringLiteral("_0.jpg")));
    const auto heartbeat = fixture.uploads.callsOf(Kind::Heartbeat).constFirst().session;
    QCOMPARE(heartbeat.mouseCount, 3);
    // The stored session carries the figures of the capture.
    QCOMPARE(fixture.store->loadActiveSession()->mouseCount, 3);
    QCOMPARE(linesEndingWith(fixture.logLines(),
                             QStringLiteral("Session updated: total=90s mouse=3 kb=0 score=0")),
             2);
}

void TestSessionManagerEvents::heartbeatResultDecidesScreenshotQueueing_data()
{
    QTest::addColumn<HeartbeatResult>("result");
    QTest::addColumn<bool>("queued");
    QTest::newRow("ok") << HeartbeatResult::Ok << true;
    QTest::newRow("deferred") << HeartbeatResult::Deferred << true;
    QTest::newRow("failed") << HeartbeatResult::Failed << false;
}

void TestSessionManagerEvents::heartbeatResultDecidesScreenshotQueueing()
{
    QFETCH(HeartbeatResult, result);
    QFETCH(bool, queued);
    SessionManagerFixture fixture(t0);
    fixture.platform.capturer->images = { QImage(16, 16, QImage::Format_RGB32) };
    fixture.uploads.heartbeatResult = result;
    fixture.engine().startTracking(design());
    captureNow(fixture);
    QCOMPARE(fixture.uploads.callsOf(Kind::Heartbeat).size(), 1);
    QCOMPARE(fixture.uploads.callsOf(Kind::Screenshots).size(), queued ? 1 : 0);
    QCOMPARE(linesEndingWith(fixture.logLines(),
                             QStringLiteral("Heartbeat failed, skipping screenshot upload")),
             queued ? 0 : 1);
    QCOMPARE(captureFiles().size(), 1);
}

void TestSessionManagerEvents::stopDuringHeartbeatIsSafe_data()
{
    QTest::addColumn<bool>("startAnother");
    QTest::newRow("stop") << false;
    QTest::newRow("stop, then start another session") << true;
}

void TestSessionManagerEvents::stopDuringHeartbeatIsSafe()
{
    QFETCH(bool, startAnother);
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    fixture.platform.capturer->images
            = { QImage(16, 16, QImage::Format_RGB32), QImage(16, 16, QImage::Format_RGB32) };
    engine.startTracking(design());
    const QUuid first = engine.activeSession()->id;
    fixture.uploads.duringHeartbeat = [&](const Models::Session &) {
        fixture.uploads.duringHeartbeat = nullptr;
        engine.stopTracking(QStringLiteral("Session ended"));
        if (startAnother)
            engine.startTracking(design());
    };
    captureNow(fixture);

    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStop).size(), 1);
    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStop).constFirst().session.id, first);
    QCOMPARE(fixture.uploads.callsOf(Kind::Heartbeat).size(), startAnother ? 2 : 1);
    const QStringList files = captureFiles();
    QCOMPARE(files.size(), 2);
    for (const QString &file : files)
        QVERIFY(file.startsWith(first.toString(QUuid::WithoutBraces).toUpper()));
    if (startAnother) {
        QVERIFY(engine.isTracking());
        QVERIFY(engine.activeSession()->id != first);
    } else {
        QVERIFY(!engine.isTracking());
    }
}

void TestSessionManagerEvents::activityPercentFollowsTrackedSeconds()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.recordActivitySample(true); // not tracking: ignored
    engine.startTracking(design());
    QCOMPARE(engine.activityPercent(), std::nullopt);
    for (int i = 0; i < 300; ++i)
        engine.recordActivitySample(true);
    QCOMPARE(engine.activityPercent(), std::optional(100.0));
    engine.pause();
    for (int i = 0; i < 50; ++i)
        engine.recordActivitySample(false); // paused seconds are left out
    QCOMPARE(engine.activityPercent(), std::optional(100.0));
    engine.resumeTracking();
    for (int i = 0; i < 150; ++i)
        engine.recordActivitySample(false);
    QCOMPARE(engine.activityPercent(), std::optional(50.0));
    engine.stopTracking();
    QCOMPARE(engine.activityPercent(), std::nullopt);
}

void TestSessionManagerEvents::takeoverClosesOnlyTheNamedSession()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    const QUuid id = engine.activeSession()->id;
    fixture.advance(40);

    Q_EMIT Services::AuthNotifications::instance().sessionTakenOverByOtherDevice(
            QUuid::createUuid(), 409);
    QCoreApplication::processEvents();
    QVERIFY(engine.isTracking());

    Q_EMIT Services::AuthNotifications::instance().sessionTakenOverByOtherDevice(id, 409);
    QVERIFY(engine.isTracking()); // queued
    QCoreApplication::processEvents();
    QVERIFY(!engine.isTracking());
    QCOMPARE(engine.statusMessage(), QStringLiteral("Session was resumed on another device."));
    QCOMPARE(fixture.uploads.kinds(), QStringList{ QStringLiteral("start") });
    const auto history = fixture.store->sessionSummaries(t0.addDays(-1), t0.addDays(1));
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.constFirst().durationSeconds, 40.0);
    QVERIFY(fixture.store->loadActiveSessions().isEmpty());
    QVERIFY(fixture.logLines().constLast().endsWith(
            QStringLiteral("Session %1 closed locally after backend takeover.")
                    .arg(id.toString(QUuid::WithoutBraces))));
}

void TestSessionManagerEvents::forcedUpdateStopsTracking()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    Models::RemoteConfig config;
    config.latestClientVersionLinux = QStringLiteral("9.0");
    Core::AppStateManager::instance().setRemoteConfig(config);
    QVERIFY(engine.isTracking()); // the notice arrives queued
    QCoreApplication::processEvents();
    QVERIFY(!engine.isTracking());
    QCOMPARE(engine.statusMessage(), QStringLiteral("Tracking stopped: Update required"));
    QCOMPARE(fixture.uploads.kinds(),
             (QStringList{ QStringLiteral("start"), QStringLiteral("stop") }));
}

void TestSessionManagerEvents::invalidatedSignInStopsTracking()
{
    SessionManagerFixture fixture(t0);
    auto &engine = fixture.engine();
    engine.startTracking(design());
    Q_EMIT Services::AuthNotifications::instance().authSessionDidInvalidate();
    QVERIFY(!engine.isTracking());
    QCOMPARE(engine.statusMessage(), QStringLiteral("Tracking stopped: session-invalidated"));
    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStop).size(), 1);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSessionManagerEvents)

#include "tst_sessionmanager_events.moc"
