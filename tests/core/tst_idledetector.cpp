#include "FakeIdleProvider.h"
#include "TestEnvironment.h"

#include "core/IdleDetector.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

using Core::IdleDetector;
using TestSupport::FakeIdleProvider;

namespace {

// Records the edges as "idle" and "active" in order.
struct EdgeLog
{
    QStringList edges;

    void attach(IdleDetector &detector)
    {
        detector.onIdle = [this] { edges.append(QStringLiteral("idle")); };
        detector.onActive = [this] { edges.append(QStringLiteral("active")); };
    }
};

} // namespace

class TestIdleDetector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pollTimerIsIdleUntilStarted();
    void thresholdIsWholeMinutesAtLeastOne_data();
    void thresholdIsWholeMinutesAtLeastOne();
    void reportsEachEdgeOnce();
    void restartForgetsIdlenessWithoutReportingActivity();
    void nullProviderReportsNothing();
    void callbackMayStopOrRestartTheDetector();
};

void TestIdleDetector::pollTimerIsIdleUntilStarted()
{
    FakeIdleProvider provider;
    IdleDetector detector(&provider);
    auto *timer = detector.findChild<QTimer *>(QStringLiteral("idlePollTimer"));
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 5000);
    QVERIFY(!timer->isSingleShot());

    detector.start(5);
    QVERIFY(timer->isActive());
    detector.stop();
    QVERIFY(!timer->isActive());
}

void TestIdleDetector::thresholdIsWholeMinutesAtLeastOne_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<qint64>("thresholdSeconds");
    QTest::newRow("zero minutes") << 0 << qint64(60);
    QTest::newRow("negative minutes") << -3 << qint64(60);
    QTest::newRow("one minute") << 1 << qint64(60);
    QTest::newRow("five minutes") << 5 << qint64(300);
}

void TestIdleDetector::thresholdIsWholeMinutesAtLeastOne()
{
    QFETCH(int, minutes);
    QFETCH(qint64, thresholdSeconds);
    FakeIdleProvider provider;
    IdleDetector detector(&provider);
    EdgeLog log;
    log.attach(detector);
    detector.start(minutes);

    provider.seconds = thresholdSeconds - 1;
    detector.poll();
    QCOMPARE(log.edges, QStringList());
    provider.seconds = thresholdSeconds; // reaching the threshold counts as idle
    detector.poll();
    QCOMPARE(log.edges, QStringList{ QStringLiteral("idle") });
}

void TestIdleDetector::reportsEachEdgeOnce()
{
    FakeIdleProvider provider;
    IdleDetector detector(&provider);
    EdgeLog log;
    log.attach(detector);
    detector.start(1);

    for (const qint64 seconds : { 0, 59, 60, 61, 10, 10 }) {
        provider.seconds = seconds;
        detector.poll();
    }
    QCOMPARE(log.edges, (QStringList{ QStringLiteral("idle"), QStringLiteral("active") }));
    QCOMPARE(provider.calls, 6);
}

void TestIdleDetector::restartForgetsIdlenessWithoutReportingActivity()
{
    FakeIdleProvider provider;
    IdleDetector detector(&provider);
    EdgeLog log;
    log.attach(detector);
    detector.start(1);
    provider.seconds = 90;
    detector.poll();

    detector.stop();
    detector.start(1);
    detector.poll();
    QCOMPARE(log.edges, (QStringList{ QStringLiteral("idle"), QStringLiteral("idle") }));
}

void TestIdleDetector::nullProviderReportsNothing()
{
    IdleDetector detector(nullptr);
    EdgeLog log;
    log.attach(detector);
    detector.start(1);
    detector.poll();
    detector.poll();
    QVERIFY(log.edges.isEmpty());
}

void TestIdleDetector::callbackMayStopOrRestartTheDetector()
{
    FakeIdleProvider provider;
    IdleDetector detector(&provider);
    auto *timer = detector.findChild<QTimer *>(QStringLiteral("idlePollTimer"));
    int idleCalls = 0;
    int activeCalls = 0;
    detector.onIdle = [&] {
        ++idleCalls;
        detector.stop();
    };
    detector.onActive = [&] { ++activeCalls; };
    detector.start(1);
    provider.seconds = 120;
    detector.poll();
    QCOMPARE(idleCalls, 1);
    QVERIFY(!timer->isActive());

    // Stopped inside the callback: idleness is forgotten, so the next poll reports it again.
    detector.onIdle = [&] {
        ++idleCalls;
        detector.start(5);
    };
    detector.poll();
    QCOMPARE(idleCalls, 2);
    QVERIFY(timer->isActive());
    // Restarted with 300 s inside the callback: 120 s is below it, and the restart forgot the
    // idleness, so nothing is reported.
    detector.poll();
    QCOMPARE(idleCalls, 2);
    QCOMPARE(activeCalls, 0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestIdleDetector)

#include "tst_idledetector.moc"
