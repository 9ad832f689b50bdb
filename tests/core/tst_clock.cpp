#include "TestEnvironment.h"

#include "core/Clock.h"
#include "core/ClockTestHooks.h"

#include <QCoreApplication>
#include <QTest>

using Core::Clock;
namespace ClockTestHooks = Core::ClockTestHooks;

class TestClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ClockTestHooks::reset(); }
    void realClockIsUtcNow();
    void fixedClockStandsStillAndAdvances();
    void advanceOnTheRealClockFixesIt();
};

void TestClock::realClockIsUtcNow()
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const QDateTime now = Clock::nowUtc();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(now.timeSpec(), Qt::UTC);
    QVERIFY(now.toMSecsSinceEpoch() >= before);
    QVERIFY(now.toMSecsSinceEpoch() <= after);
}

void TestClock::fixedClockStandsStillAndAdvances()
{
    const QDateTime moment = QDateTime::fromString(QStringLiteral("2025-01-31T23:59:59.500+07:00"),
                                                   Qt::ISODateWithMs);
    ClockTestHooks::set(moment);
    QCOMPARE(Clock::nowUtc(), moment);
    QCOMPARE(Clock::nowUtc().timeSpec(), Qt::UTC);
    QCOMPARE(Clock::nowUtc(), Clock::nowUtc());

    ClockTestHooks::advance(1000);
    QCOMPARE(Clock::nowUtc(), moment.addMSecs(1000));

    ClockTestHooks::reset();
    QVERIFY(qAbs(Clock::nowUtc().msecsTo(QDateTime::currentDateTimeUtc())) < 5000);
}

void TestClock::advanceOnTheRealClockFixesIt()
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    ClockTestHooks::advance(3600 * 1000);
    const qint64 fixed = Clock::nowUtc().toMSecsSinceEpoch();
    QVERIFY(fixed >= before + 3600 * 1000);
    QCOMPARE(Clock::nowUtc().toMSecsSinceEpoch(), fixed);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestClock)

#include "tst_clock.moc"
