#include "FakeInputMonitor.h"
#include "FileFixtures.h"
#include "TestEnvironment.h"

#include "core/Clock.h"
#include "core/ClockTestHooks.h"
#include "services/tracking/ActivityTracker.h"
#include "storage/Log.h"
#include "storage/Paths.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <thread>

using Services::ActivityTracker;
using TestSupport::FakeInputMonitor;
using Event = TestSupport::FakeInputMonitor::Event;

namespace {

const QString degradedLine = QStringLiteral(
        "[INFO] [config] ActivityTracker: input monitoring degraded — activity counts are "
        "approximated and keyboard count is 0 (Wayland)");

int degradedLinesInLog()
{
    return QString::fromUtf8(TestSupport::readFile(Platform::Paths::logFilePath()))
            .count(degradedLine);
}

} // namespace

class TestActivityTracker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Core::Log::install(); }
    void cleanup() { Core::ClockTestHooks::reset(); }
    void clickSetsFlagAndTimeButNoCount();
    void takesReturnCountsThenZeros();
    void resetZeroesCountsAndForgetsLastInput();
    void snapshotPercentage_data();
    void snapshotPercentage();
    void degradedIsLoggedOnce();
    void startsAndStopsTheMonitorOncePerTransition();
    void withoutMonitorCountsNothing();
    void movesFromAnotherThreadAreNeverLost();
};

void TestActivityTracker::clickSetsFlagAndTimeButNoCount()
{
    const QDateTime moment
            = QDateTime::fromString(QStringLiteral("2025-03-01T10:00:00.250Z"), Qt::ISODateWithMs);
    Core::ClockTestHooks::set(moment);
    FakeInputMonitor monitor;
    ActivityTracker tracker(&monitor);
    QVERIFY(!tracker.lastActivityAt());

    monitor.emitEvents(Event::MouseClick);
    QCOMPARE(tracker.lastActivityAt(), std::optional(moment));
    const auto counts = tracker.takeIntervalCounts();
    QCOMPARE(counts.mouse, 0);
    QCOMPARE(counts.keys, 0);
    QCOMPARE(tracker.snapshot(10).mouseMovements, 0);
    QCOMPARE(tracker.snapshot(10).keyPresses, 0);
    QVERIFY(tracker.takeActivityFlag());
    QVERIFY(!tracker.takeActivityFlag());
}

void TestActivityTracker::takesReturnCountsThenZeros()
{
    FakeInputMonitor monitor;
    ActivityTracker tracker(&monitor);
    monitor.emitEvents(Event::MouseMove, 3);
    monitor.emitEvents(Event::KeyPress, 2);

    const auto first = tracker.takeIntervalCounts();
    QCOMPARE(first.mouse, 3);
    QCOMPARE(first.keys, 2);
    const auto second = tracker.takeIntervalCounts();
    QCOMPARE(second.mouse, 0);
    QCOMPARE(second.keys, 0);
    // The session totals are not taken.
    QCOMPARE(tracker.snapshot(1).mouseMovements, 3);
    QCOMPARE(tracker.snapshot(1).keyPresses, 2);
}

void TestActivityTracker::resetZeroesCountsAndForgetsLastInput()
{
    FakeInputMonitor monitor;
    ActivityTracker tracker(&monitor);
    monitor.emitEvents(Event::KeyPress, 4);
    tracker.addActiveSecond();
    tracker.reset();

    QVERIFY(!tracker.lastActivityAt());
    QVERIFY(!tracker.takeActivityFlag());
    QCOMPARE(tracker.takeIntervalCounts().keys, 0);
    const auto snapshot = tracker.snapshot(1);
    QCOMPARE(snapshot.keyPresses, 0);
    QCOMPARE(snapshot.activityPercent, 0.0);
}

void TestActivityTracker::snapshotPercentage_data()
{
    QTest::addColumn<int>("activeSeconds");
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<double>("percent");
    QTest::newRow("no elapsed time") << 5 << 0.0 << 0.0;
    QTest::newRow("negative elapsed time") << 5 << -3.0 << 0.0;
    QTest::newRow("half") << 10 << 20.0 << 50.0;
    QTest::newRow("more active than elapsed") << 30 << 20.0 << 100.0;
    QTest::newRow("none active") << 0 << 20.0 << 0.0;
}

void TestActivityTracker::snapshotPercentage()
{
    QFETCH(int, activeSeconds);
    QFETCH(double, elapsed);
    QFETCH(double, percent);
    ActivityTracker tracker(nullptr);
    for (int i = 0; i < activeSeconds; ++i)
        tracker.addActiveSecond();
    QCOMPARE(tracker.snapshot(elapsed).activityPercent, percent);
}

void TestActivityTracker::degradedIsLoggedOnce()
{
    const int before = degradedLinesInLog();
    FakeInputMonitor monitor;
    ActivityTracker tracker(&monitor);
    monitor.emitEvents(Event::Degraded);
    monitor.emitEvents(Event::Degraded);
    tracker.reset();
    monitor.emitEvents(Event::Degraded);
    QCOMPARE(degradedLinesInLog(), before + 1);
}

void TestActivityTracker::startsAndStopsTheMonitorOncePerTransition()
{
    FakeInputMonitor monitor;
    ActivityTracker tracker(&monitor);
    tracker.stop();
    QCOMPARE(monitor.stops, 0);

    QVERIFY(tracker.start());
    QVERIFY(tracker.start());
    QCOMPARE(monitor.starts, 1);
    tracker.stop();
    tracker.stop();
    QCOMPARE(monitor.stops, 1);
    QVERIFY(tracker.start());
    QCOMPARE(monitor.starts, 2);
}

void TestActivityTracker::withoutMonitorCountsNothing()
{
    ActivityTracker tracker(nullptr);
    QVERIFY(tracker.start());
    tracker.stop();
    QVERIFY(!tracker.takeActivityFlag());
    QVERIFY(!tracker.lastActivityAt());
    QCOMPARE(tracker.snapshot(10).mouseMovements, 0);
}

void TestActivityTracker::movesFromAnotherThreadAreNeverLost()
{
    constexpr int moves = 10000;
    FakeInputMonitor monitor;
    ActivityTracker tracker(&monitor);
    std::atomic_bool emitted{ false };
    int taken = 0;

    std::thread emitter([&] {
        monitor.emitEvents(Event::MouseMove, moves);
        emitted = true;
    });
    // The queued deliveries run here, between the takes.
    while (!emitted) {
        QCoreApplication::processEvents();
        taken += tracker.takeIntervalCounts().mouse;
    }
    emitter.join();
    QTRY_COMPARE(tracker.snapshot(1).mouseMovements, moves);
    taken += tracker.takeIntervalCounts().mouse;
    QCOMPARE(taken, moves);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestActivityTracker)

#include "tst_activitytracker.moc"
