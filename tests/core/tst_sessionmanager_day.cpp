#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/Clock.h"
#include "core/IdleDetector.h"
#include "core/SessionRules.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthNotifications.h"
#include "services/tracking/SegmentClockService.h"
#include "storage/ApiTimezone.h"
#include "storage/Preferences.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <time.h>

using Core::SessionManager;
using Kind = TestSupport::RecordingUploads::Kind;
using Endpoint = SessionManagerFixture::Endpoint;

namespace {

QDateTime bangkok(const QString &localTime)
{
    return at(localTime, "Asia/Bangkok");
}

Models::RemoteConfig companyConfig(const QString &zone = QStringLiteral("Asia/Bangkok"))
{
    Models::RemoteConfig config;
    config.projects = { { QStringLiteral("p1"), QStringLiteral("Design") },
                        { QStringLiteral("p2"), QStringLiteral("Review") } };
    config.idleMinutesThreshold = 5;
    config.screenshotIntervalMinutes = 5;
    config.appTimezone = zone;
    return config;
}

Models::Project design()
{
    return { QStringLiteral("p1"), QStringLiteral("Design") };
}

// A session an earlier run left open: one interval from start, still open.
Models::Session leftOpen(const QDateTime &start)
{
    Models::Session session;
    session.id = QUuid::createUuid();
    session.deviceId = Storage::deviceId();
    session.projectId = QStringLiteral("p1");
    session.projectName = QStringLiteral("Design");
    session.intervals = { Models::Interval(QUuid::createUuid(), start, std::nullopt) };
    return session;
}

// Wires a fresh engine in the program's order over a seeded store.
void wireEngine(SessionManagerFixture &fixture, const Models::RemoteConfig &config)
{
    fixture.replaceEngineUninitialized();
    fixture.store->setDomainKey(Networking::ApiEndpoint::domainKey());
    Services::ApiTimezone::storeFromConfig(config);
    fixture.engine().initialize(fixture.store.get(), &fixture.platform);
    fixture.engine().applyRemoteConfig(config);
}

int linesContaining(const QStringList &lines, const QString &text)
{
    return int(std::count_if(lines.cbegin(), lines.cend(),
                             [&text](const QString &line) { return line.contains(text); }));
}

Services::SegmentClockService *segmentClock(SessionManagerFixture &fixture)
{
    return fixture.engine().findChild<Services::SegmentClockService *>();
}

} // namespace

class TestSessionManagerDay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void crashRecoveryResumesAtTheLastMarker();
    void recoveryOfASeededSession_data();
    void recoveryOfASeededSession();
    void withoutEndpointNothingIsRecovered();
    void resumeWhileTrackingDoesNothing();
    void staleCompletionClearsTheOffer();
    void rolloverAtCompanyMidnight();
    void machineMidnightDoesNothing();
    void pausedAcrossMidnightThenResumed();
    void pausedAcrossMidnightThenStopped();
    void sleptAcrossMidnightThenWoke();
    void rolloverEndsOnTheIntervalsOwnDay_data();
    void rolloverEndsOnTheIntervalsOwnDay();
    void serverTotals_data();
    void serverTotals();
    void serverTotalAddsLocalGrowth();
    void configurationTotalIsApplied();
    void configurationKeepsAKnownSelection();
    void idleRestartRule_data();
    void idleRestartRule();
    void newThresholdRestartsARunningDetector();
    void newDomainKeyReachesStoreAndSegmentClock();
};

void TestSessionManagerDay::crashRecoveryResumesAtTheLastMarker()
{
    const QDateTime start = bangkok(QStringLiteral("2025-03-01T10:00:00.000"));
    SessionManagerFixture fixture(start, Endpoint::Stored);
    fixture.engine().applyRemoteConfig(companyConfig());
    fixture.engine().startTracking(design());
    const QUuid id = fixture.engine().activeSession()->id;
    for (int i = 0; i < 130; ++i)
        fixture.tick();
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(start.addSecs(120)));

    fixture.advance(30);
    wireEngine(fixture, companyConfig());
    auto &engine = fixture.engine();
    QCOMPARE(engine.interruptedSession()->id, id);
    QCOMPARE(engine.statusMessage(), QStringLiteral("Recovered interrupted session %1.")
                                             .arg(id.toString(QUuid::WithoutBraces)));
    QVERIFY(!engine.isTracking());

    QSignalSpy offerSpy(&engine, &SessionManager::interruptedSessionChanged);
    engine.resumeInterruptedSession();
    QCOMPARE(offerSpy.count(), 1);
    const auto session = engine.activeSession();
    QCOMPARE(session->id, id);
    QCOMPARE(session->intervals.size(), 2);
    QCOMPARE(session->intervals.at(0).stoppedAt, std::optional(start.addSecs(120)));
    QCOMPARE(session->intervals.at(1).startedAt, start.addSecs(160));
    QCOMPARE(engine.interruptedSession(), std::nullopt);
    const auto starts = fixture.uploads.callsOf(Kind::SessionStart);
    QCOMPARE(starts.size(), 2);
    QCOMPARE(starts.constLast().session.id, id);
    QCOMPARE(Storage::lastHeartbeat(id), std::optional(start.addSecs(160)));
}

void TestSessionManagerDay::recoveryOfASeededSession_data()
{
    QTest::addColumn<std::optional<QDateTime>>("marker");
    QTest::addColumn<QDateTime>("resumeAt");
    QTest::addColumn<QDateTime>("firstStop");
    QTest::addColumn<bool>("crossesMidnight");
    QTest::addColumn<bool>("staleWarning");

    const QDateTime start = bangkok(QStringLiteral("2025-03-01T23:10:00.000"));
    const QDateTime marker = bangkok(QStringLiteral("2025-03-01T23:40:00.000"));
    const QDateTime morning = bangkok(QStringLiteral("2025-03-02T08:00:00.000"));
    const QDateTime evening = bangkok(QStringLiteral("2025-03-01T23:50:00.000"));
    QTest::newRow("resumed next morning")
            << std::optional(marker) << morning << marker << true << false;
    QTest::newRow("resumed that evening")
            << std::optional(marker) << evening << marker << false << false;
    QTest::newRow("no marker") << std::optional<QDateTime>() << evening << start << false << false;
    QTest::newRow("marker before the start")
            << std::optional(start.addSecs(-600)) << evening << start << false << true;
}

void TestSessionManagerDay::recoveryOfASeededSession()
{
    QFETCH(std::optional<QDateTime>, marker);
    QFETCH(QDateTime, resumeAt);
    QFETCH(QDateTime, firstStop);
    QFETCH(bool, crossesMidnight);
    QFETCH(bool, staleWarning);
    const QDateTime start = bangkok(QStringLiteral("2025-03-01T23:10:00.000"));
    SessionManagerFixture fixture(start.addSecs(60), Endpoint::Stored);
    const Models::Session seeded = leftOpen(start);
    fixture.store->saveActiveSession(seeded);
    if (marker)
        Storage::setLastHeartbeat(seeded.id, *marker);
    fixture.advance(start.addSecs(60).msecsTo(resumeAt) / 1000.0);
    wireEngine(fixture, companyConfig());
    auto &engine = fixture.engine();
    QCOMPARE(engine.interruptedSession()->id, seeded.id);

    QSignalSpy offerSpy(&engine, &SessionManager::interruptedSessionChanged);
    QSignalSpy dayChangeSpy(&engine, &SessionManager::crossDayDetected);
    engine.resumeInterruptedSession();
    QCOMPARE(engine.interruptedSession(), std::nullopt);
    QCOMPARE(linesContaining(fixture.logLines(), QStringLiteral("Stale heartbeat on recovery")),
             staleWarning ? 1 : 0);
    const auto session = engine.activeSession();
    QVERIFY(session);
    QCOMPARE(session->intervals.constLast().startedAt, resumeAt);
    QCOMPARE(session->intervals.constLast().stoppedAt, std::nullopt);

    if (crossesMidnight) {
        QCOMPARE(dayChangeSpy.count(), 1);
        QCOMPARE(offerSpy.count(), 0);
        QVERIFY(session->id != seeded.id);
        QCOMPARE(session->projectId, seeded.projectId);
        QCOMPARE(session->intervals.size(), 1);
        QCOMPARE(fixture.uploads.kinds(),
                 (QStringList{ QStringLiteral("stop"), QStringLiteral("start") }));
        const auto completed = fixture.uploads.callsOf(Kind::SessionStop).constFirst().session;
        QCOMPARE(completed.id, seeded.id);
        QCOMPARE(completed.intervals.constLast().stoppedAt, std::optional(firstStop));
        QCOMPARE(completed.reportedTotalSeconds, std::optional(int(start.secsTo(firstStop))));
        QCOMPARE(engine.midnightResumeOffer(), std::nullopt);
        // The completion's message is replaced by the fresh start, which clears it.
        QCOMPARE(linesContaining(fixture.logLines(), QStringLiteral("Tracking started")), 1);
        QCOMPARE(engine.statusMessage(), QString());
        return;
    }
    QCOMPARE(dayChangeSpy.count(), 0);
    QCOMPARE(offerSpy.count(), 1);
    QCOMPARE(session->id, seeded.id);
    QCOMPARE(session->intervals.size(), 2);
    QCOMPARE(session->intervals.at(0).stoppedAt, std::optional(firstStop));
    const auto starts = fixture.uploads.callsOf(Kind::SessionStart);
    QCOMPARE(starts.size(), 1);
    QCOMPARE(starts.constFirst().session.id, seeded.id);
    QCOMPARE(starts.constFirst().session.intervals.constFirst().startedAt, start);
    // The gap between the marker and the resumption is not counted.
    fixture.advance(60);
    engine.stopTracking();
    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStop).constFirst().session.reportedTotalSeconds,
             std::optional(int(start.secsTo(firstStop)) + 60));
}

void TestSessionManagerDay::withoutEndpointNothingIsRecovered()
{
    const QDateTime start = bangkok(QStringLiteral("2025-03-01T10:00:00.000"));
    SessionManagerFixture fixture(start, Endpoint::None);
    const Models::Session seeded = leftOpen(start.addSecs(-3600));
    fixture.store->saveActiveSession(seeded);
    wireEngine(fixture, companyConfig());
    QCOMPARE(fixture.engine().interruptedSession(), std::nullopt);

    fixture.engine().startTracking(design());
    QVERIFY(fixture.engine().isTracking());
    QCOMPARE(fixture.store->loadActiveSessions().size(), 2);
    QCOMPARE(fixture.uploads.kinds(), QStringList{ QStringLiteral("start") });
}

void TestSessionManagerDay::resumeWhileTrackingDoesNothing()
{
    const QDateTime start = bangkok(QStringLiteral("2025-03-01T10:00:00.000"));
    SessionManagerFixture fixture(start, Endpoint::Stored);
    const Models::Session seeded = leftOpen(start.addSecs(-3600));
    fixture.store->saveActiveSession(seeded);
    wireEngine(fixture, companyConfig());
    auto &engine = fixture.engine();
    QVERIFY(engine.interruptedSession());
    // Without a stored endpoint a start leaves the offered row alone, so the offer stays up.
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    engine.startTracking(design());
    const auto running = engine.activeSession();
    QSignalSpy offerSpy(&engine, &SessionManager::interruptedSessionChanged);
    engine.resumeInterruptedSession();
    QCOMPARE(engine.activeSession(), running);
    QCOMPARE(engine.interruptedSession()->id, seeded.id);
    QCOMPARE(offerSpy.count(), 0);
    QCOMPARE(fixture.uploads.kinds(), QStringList{ QStringLiteral("start") });
}

void TestSessionManagerDay::staleCompletionClearsTheOffer()
{
    const QDateTime start = bangkok(QStringLiteral("2025-03-01T10:00:00.000"));
    SessionManagerFixture fixture(start, Endpoint::Stored);
    const Models::Session seeded = leftOpen(start.addSecs(-3600));
    fixture.store->saveActiveSession(seeded);
    Storage::setLastHeartbeat(seeded.id, start.addSecs(-1800));
    wireEngine(fixture, companyConfig());
    auto &engine = fixture.engine();
    QVERIFY(engine.interruptedSession());
    QSignalSpy offerSpy(&engine, &SessionManager::interruptedSessionChanged);

    engine.startTracking(design());
    QCOMPARE(offerSpy.count(), 1);
    QCOMPARE(engine.interruptedSession(), std::nullopt);
    QCOMPARE(linesContaining(fixture.logLines(),
                             QStringLiteral("Completed stale active session %1")
                                     .arg(seeded.id.toString(QUuid::WithoutBraces))),
             1);
    QCOMPARE(fixture.uploads.kinds(),
             (QStringList{ QStringLiteral("stop"), QStringLiteral("start") }));
    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStop).constFirst().session.reportedTotalSeconds,
             std::optional(1800));
    QCOMPARE(engine.todayTotalSeconds(), 1800.0);

    // Resuming the consumed offer does nothing, so the session cannot be completed twice.
    engine.stopTracking();
    engine.resumeInterruptedSession();
    QVERIFY(!engine.isTracking());
}

void TestSessionManagerDay::rolloverAtCompanyMidnight()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T23:59:50.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    const QUuid first = engine.activeSession()->id;
    QSignalSpy dayChangeSpy(&engine, &SessionManager::crossDayDetected);

    fixture.tick(9.5); // 23:59:59.5
    segmentClock(fixture)->tick(Core::Clock::nowUtc());
    fixture.tick(1.0); // 00:00:00.5
    segmentClock(fixture)->tick(Core::Clock::nowUtc());

    QCOMPARE(dayChangeSpy.count(), 1);
    const auto completed = fixture.uploads.callsOf(Kind::SessionStop);
    QCOMPARE(completed.size(), 1);
    QCOMPARE(completed.constFirst().session.id, first);
    QCOMPARE(completed.constFirst().session.intervals.constLast().stoppedAt,
             std::optional(bangkok(QStringLiteral("2025-03-01T23:59:59.999"))));
    const auto session = engine.activeSession();
    QVERIFY(session->id != first);
    QCOMPARE(session->intervals.constFirst().startedAt,
             bangkok(QStringLiteral("2025-03-02T00:00:00.500")));
    QCOMPARE(fixture.uploads.kinds(), (QStringList{ QStringLiteral("start"), QStringLiteral("stop"),
                                                    QStringLiteral("start") }));
    const QStringList lines = fixture.logLines();
    QCOMPARE(
            linesContaining(
                    lines, QStringLiteral("Midnight rollover: session %1 completed, new session %2")
                                   .arg(first.toString(QUuid::WithoutBraces),
                                        session->id.toString(QUuid::WithoutBraces))),
            1);
    QCOMPARE(linesContaining(lines,
                             QStringLiteral("Segment rollover: 2025-03-01#143 → 2025-03-02#0")),
             1);
    // Today's total starts again from the new session.
    QCOMPARE(engine.todayTotalSeconds(), 0.0);
}

void TestSessionManagerDay::machineMidnightDoesNothing()
{
    // The machine runs on Los Angeles time; its midnight is mid-afternoon in Bangkok.
    SessionManagerFixture fixture(
            at(QStringLiteral("2025-03-01T23:59:50.000"), "America/Los_Angeles"));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    const QUuid id = engine.activeSession()->id;
    for (int i = 0; i < 20; ++i)
        fixture.tick();
    QCOMPARE(engine.activeSession()->id, id);
    QCOMPARE(fixture.uploads.kinds(), QStringList{ QStringLiteral("start") });
}

void TestSessionManagerDay::pausedAcrossMidnightThenResumed()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T23:50:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    fixture.advance(300);
    engine.pause();      // 23:55
    fixture.tick(300.5); // 00:00:00.5
    QVERIFY(engine.isPaused());
    QVERIFY(engine.activeSession()->intervals.isEmpty());
    const auto completed = fixture.uploads.callsOf(Kind::SessionStop).constFirst().session;
    QCOMPARE(completed.intervals.constLast().stoppedAt,
             std::optional(bangkok(QStringLiteral("2025-03-01T23:55:00.000"))));
    QCOMPARE(completed.reportedTotalSeconds, std::optional(300));
    QCOMPARE(fixture.uploads.kinds(),
             (QStringList{ QStringLiteral("start"), QStringLiteral("stop") }));

    fixture.advance(59.5); // 00:01
    engine.resumeTracking();
    const auto starts = fixture.uploads.callsOf(Kind::SessionStart);
    QCOMPARE(starts.size(), 2);
    QCOMPARE(starts.constLast().session.id, engine.activeSession()->id);
    QCOMPARE(starts.constLast().session.intervals.constFirst().startedAt,
             bangkok(QStringLiteral("2025-03-02T00:01:00.000")));
}

void TestSessionManagerDay::pausedAcrossMidnightThenStopped()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T23:50:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    fixture.advance(300);
    engine.pause();
    fixture.tick(300.5);
    const QUuid empty = engine.activeSession()->id;
    engine.stopTracking(QStringLiteral("Session ended"));

    QCOMPARE(fixture.uploads.kinds(),
             (QStringList{ QStringLiteral("start"), QStringLiteral("stop") }));
    QVERIFY(fixture.store->loadActiveSessions().isEmpty());
    const auto history
            = fixture.store->sessionSummaries(bangkok(QStringLiteral("2025-03-01T00:00:00.000")),
                                              bangkok(QStringLiteral("2025-03-03T00:00:00.000")));
    QCOMPARE(history.size(), 1);
    QCOMPARE(Storage::lastHeartbeat(empty), std::nullopt);
}

void TestSessionManagerDay::sleptAcrossMidnightThenWoke()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T23:50:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    const QUuid first = engine.activeSession()->id;
    fixture.advance(300);
    Q_EMIT fixture.platform.sleep->aboutToSleep(); // 23:55
    fixture.advance(600);
    Q_EMIT fixture.platform.sleep->awoke(); // 00:05

    QVERIFY(!engine.isPaused());
    const auto session = engine.activeSession();
    QVERIFY(session->id != first);
    QCOMPARE(session->intervals.size(), 1);
    QCOMPARE(session->intervals.constFirst().startedAt,
             bangkok(QStringLiteral("2025-03-02T00:05:00.000")));
    QCOMPARE(fixture.uploads.kinds(), (QStringList{ QStringLiteral("start"), QStringLiteral("stop"),
                                                    QStringLiteral("start") }));
    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStart).constLast().session.id, session->id);
}

void TestSessionManagerDay::rolloverEndsOnTheIntervalsOwnDay_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<double>("step");
    QTest::addColumn<QDateTime>("firstStop");
    QTest::addColumn<QDateTime>("secondStart");

    const QDateTime late = bangkok(QStringLiteral("2025-03-01T23:00:00.000"));
    QTest::newRow("a missed day") << QStringLiteral("Asia/Bangkok") << late
                                  << double(late.secsTo(
                                             bangkok(QStringLiteral("2025-03-03T10:00:00.000"))))
                                  << bangkok(QStringLiteral("2025-03-01T23:59:59.999"))
                                  << bangkok(QStringLiteral("2025-03-03T10:00:00.000"));
    const QDateTime afterMidnight = bangkok(QStringLiteral("2025-03-02T00:30:00.000"));
    QTest::newRow("clock moved back")
            << QStringLiteral("Asia/Bangkok") << afterMidnight << -2400.0 << afterMidnight
            << bangkok(QStringLiteral("2025-03-01T23:50:00.000"));
    // Chile's clocks jump from 24:00 to 01:00 on 8 September 2024: that day begins at 01:00.
    const QDateTime santiago = at(QStringLiteral("2024-09-07T23:59:59.500"), "America/Santiago");
    QTest::newRow("midnight in a gap")
            << QStringLiteral("America/Santiago") << santiago << 1.0
            << at(QStringLiteral("2024-09-07T23:59:59.999"), "America/Santiago")
            << at(QStringLiteral("2024-09-08T01:00:00.500"), "America/Santiago");
}

void TestSessionManagerDay::rolloverEndsOnTheIntervalsOwnDay()
{
    QFETCH(QString, zone);
    QFETCH(QDateTime, start);
    QFETCH(double, step);
    QFETCH(QDateTime, firstStop);
    QFETCH(QDateTime, secondStart);
    SessionManagerFixture fixture(start);
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig(zone));
    engine.startTracking(design());
    fixture.tick(step);

    const auto completed = fixture.uploads.callsOf(Kind::SessionStop);
    QCOMPARE(completed.size(), 1);
    const auto &interval = completed.constFirst().session.intervals.constLast();
    QCOMPARE(interval.stoppedAt, std::optional(firstStop));
    QVERIFY(*interval.stoppedAt >= interval.startedAt);
    QCOMPARE(engine.activeSession()->intervals.constFirst().startedAt, secondStart);
}

void TestSessionManagerDay::serverTotals_data()
{
    QTest::addColumn<QString>("firstDate");
    QTest::addColumn<QString>("secondDate");
    QTest::addColumn<double>("expectedTotal");
    QTest::addColumn<QString>("logLine");
    // Local: 600 s completed today. First figure 7200, second 9000.
    QTest::newRow("yesterday") << QString() << QStringLiteral("2025-02-28") << 600.0
                               << QStringLiteral("Ignoring outdated server today_total: dated "
                                                 "2025-02-28, today is 2025-03-01");
    QTest::newRow("tomorrow") << QString() << QStringLiteral("2025-03-02") << 9000.0 << QString();
    QTest::newRow("same date twice")
            << QStringLiteral("2025-03-01") << QStringLiteral("2025-03-01") << 9000.0 << QString();
    QTest::newRow("date changes") << QStringLiteral("2025-03-01") << QStringLiteral("2025-03-02")
                                  << 9000.0
                                  << QStringLiteral("Server today_date changed 2025-03-01(7200s) → "
                                                    "2025-03-02(9000s); local reset to 0");
    QTest::newRow("older than the current one")
            << QStringLiteral("2025-03-02") << QStringLiteral("2025-03-01") << 7200.0
            << QStringLiteral("Ignoring stale server today_total: incoming 2025-03-01 < current "
                              "2025-03-02");
}

void TestSessionManagerDay::serverTotals()
{
    QFETCH(QString, firstDate);
    QFETCH(QString, secondDate);
    QFETCH(double, expectedTotal);
    QFETCH(QString, logLine);
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T10:00:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    fixture.advance(600);
    engine.stopTracking();
    QCOMPARE(engine.todayTotalSeconds(), 600.0);

    if (!firstDate.isEmpty())
        engine.applyServerTodayTotal({ 7200, firstDate });
    QSignalSpy spy(&engine, &SessionManager::stateChanged);
    engine.applyServerTodayTotal({ 9000, secondDate });
    QCOMPARE(spy.count(), 1);
    QCOMPARE(engine.todayTotalSeconds(), expectedTotal);
    if (!logLine.isEmpty())
        QCOMPARE(linesContaining(fixture.logLines(), logLine), 1);
}

void TestSessionManagerDay::serverTotalAddsLocalGrowth()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T10:00:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    fixture.tick(1000);
    QCOMPARE(engine.todayTotalSeconds(), 1000.0);
    Q_EMIT Services::AuthNotifications::instance().serverTodayTotalDidUpdate(
            { 7200, QStringLiteral("2025-03-01") });
    QCoreApplication::processEvents();
    QCOMPARE(engine.todayTotalSeconds(), 7200.0);
    fixture.tick(300);
    QCOMPARE(engine.todayTotalSeconds(), 7500.0);
}

void TestSessionManagerDay::configurationTotalIsApplied()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T10:00:00.000")));
    Models::RemoteConfig config = companyConfig();
    config.todayTotalSeconds = 5000;
    config.todayDate = QStringLiteral("2025-03-01");
    QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
    fixture.engine().applyRemoteConfig(config);
    QCOMPARE(fixture.engine().todayTotalSeconds(), 5000.0);
    QCOMPARE(spy.count(), 0);
}

void TestSessionManagerDay::configurationKeepsAKnownSelection()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T10:00:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    QCOMPARE(engine.selectedProjectId(), QString()); // an empty selection stays empty

    engine.setSelectedProjectId(QStringLiteral("p2"));
    engine.applyRemoteConfig(companyConfig());
    QCOMPARE(engine.selectedProjectId(), QStringLiteral("p2"));

    engine.setSelectedProjectId(QStringLiteral("gone"));
    QSignalSpy spy(&engine, &SessionManager::stateChanged);
    engine.applyRemoteConfig(companyConfig());
    QCOMPARE(engine.selectedProjectId(), QStringLiteral("p1"));
    QCOMPARE(spy.count(), 0);
}

void TestSessionManagerDay::idleRestartRule_data()
{
    QTest::addColumn<std::optional<int>>("oldThreshold");
    QTest::addColumn<std::optional<int>>("newThreshold");
    QTest::addColumn<bool>("tracking");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("idle");
    QTest::addColumn<bool>("restart");
    const std::optional<int> none;
    QTest::newRow("no new threshold")
            << std::optional(5) << none << true << false << false << false;
    QTest::newRow("same threshold")
            << std::optional(5) << std::optional(5) << true << false << false << false;
    QTest::newRow("changed, running")
            << std::optional(5) << std::optional(3) << true << false << false << true;
    QTest::newRow("first, running") << none << std::optional(5) << true << false << false << true;
    QTest::newRow("changed, paused")
            << std::optional(5) << std::optional(3) << true << true << false << false;
    QTest::newRow("changed, idle")
            << std::optional(5) << std::optional(3) << true << true << true << false;
    QTest::newRow("changed, not tracking")
            << std::optional(5) << std::optional(3) << false << false << false << false;
}

void TestSessionManagerDay::idleRestartRule()
{
    QFETCH(std::optional<int>, oldThreshold);
    QFETCH(std::optional<int>, newThreshold);
    QFETCH(bool, tracking);
    QFETCH(bool, paused);
    QFETCH(bool, idle);
    QFETCH(bool, restart);
    QCOMPARE(Core::shouldRestartIdleDetector(oldThreshold, newThreshold, tracking, paused, idle),
             restart);
}

void TestSessionManagerDay::newThresholdRestartsARunningDetector()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T10:00:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    auto *detector = engine.findChild<Core::IdleDetector *>();
    fixture.platform.idle->seconds = 90;
    detector->poll();
    QCoreApplication::processEvents();
    QVERIFY(!engine.isIdle()); // five minutes

    engine.applyRemoteConfig(companyConfig()); // the same threshold: no restart
    Models::RemoteConfig shorter = companyConfig();
    shorter.idleMinutesThreshold = 1;
    engine.applyRemoteConfig(shorter);
    detector->poll();
    QCoreApplication::processEvents();
    QVERIFY(engine.isIdle());
}

void TestSessionManagerDay::newDomainKeyReachesStoreAndSegmentClock()
{
    SessionManagerFixture fixture(bangkok(QStringLiteral("2025-03-01T10:00:00.000")));
    auto &engine = fixture.engine();
    engine.applyRemoteConfig(companyConfig());
    engine.startTracking(design());
    QCOMPARE(fixture.store->domainKey(), QStringLiteral("global"));

    Networking::ApiEndpoint::saveOverride(QUrl(QStringLiteral("https://acme.example/api/v1/")));
    engine.applyRemoteConfig(companyConfig());
    QCOMPARE(fixture.store->domainKey(), QStringLiteral("acme.example"));
    segmentClock(fixture)->tick(Core::Clock::nowUtc());
    segmentClock(fixture)->stop(); // writes the open segment
    const auto row = fixture.store->activitySegment(QStringLiteral("2025-03-01"), 60,
                                                    QStringLiteral("acme.example"));
    QVERIFY(row);
    QCOMPARE(row->nonIdleSeconds, 1);
}

int main(int argc, char **argv)
{
    // The machine's zone differs from the company's, so a mix-up of the two shows.
    qputenv("TZ", "America/Los_Angeles");
    tzset();
    return TestSupport::runTest<QCoreApplication, TestSessionManagerDay>(argc, argv);
}

#include "tst_sessionmanager_day.moc"
