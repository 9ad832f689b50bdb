#include "TestEnvironment.h"

#include "WorkerThread.h"

#include "services/server/SingleFlight.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QStringList>
#include <QTest>
#include <QThread>

#include <atomic>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

using Flight = Core::SingleFlight<int, QString>;

// Blocks the running work until `count` other callers are inside run(), so the test knows they
// arrived while the run was in flight.
bool waitForWaiters(const Flight &flight, int count)
{
    const QDeadlineTimer deadline(10000);
    while (flight.waitingCallers() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::yieldCurrentThread();
    }
    return true;
}

// The order in which runs began and ended, across threads.
class Journal final
{
public:
    void add(const QString &entry)
    {
        const QMutexLocker locker(&m_mutex);
        m_entries.append(entry);
    }
    QStringList entries() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_entries;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_entries;
};

} // namespace

class TestSingleFlight : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameKeySharesOneRun();
    void sameKeySharesTheSameExceptionObject();
    void otherKeyRunsItsOwnWorkAfterTheFlight();
    void finishedRunIsNotReused();
};

void TestSingleFlight::sameKeySharesOneRun()
{
    Flight flight;
    std::atomic_int runs = 0;
    int first = 0;
    int second = 0;

    WorkerThread one([&] {
        first = flight.run(u"key"_s, [&] {
            ++runs;
            return waitForWaiters(flight, 1) ? 42 : -1;
        });
    });
    QTRY_COMPARE(runs.load(), 1);
    WorkerThread two([&] { second = flight.run(u"key"_s, [&] { return ++runs, 7; }); });
    QVERIFY(one.wait());
    QVERIFY(two.wait());

    QCOMPARE(first, 42);
    QCOMPARE(second, 42);
    QCOMPARE(runs.load(), 1);
}

void TestSingleFlight::sameKeySharesTheSameExceptionObject()
{
    Flight flight;
    std::atomic_int started = 0;
    const void *firstError = nullptr;
    const void *secondError = nullptr;

    WorkerThread one([&] {
        try {
            flight.run(u"key"_s, [&]() -> int {
                ++started;
                waitForWaiters(flight, 1);
                throw std::runtime_error("refused");
            });
        } catch (const std::runtime_error &error) {
            firstError = &error;
        }
    });
    QTRY_COMPARE(started.load(), 1);
    WorkerThread two([&] {
        try {
            flight.run(u"key"_s, [] { return 0; });
        } catch (const std::runtime_error &error) {
            secondError = &error;
        }
    });
    QVERIFY(one.wait());
    QVERIFY(two.wait());

    QVERIFY(firstError);
    QCOMPARE(secondError, firstError);
}

void TestSingleFlight::otherKeyRunsItsOwnWorkAfterTheFlight()
{
    Flight flight;
    Journal journal;
    int first = 0;
    int other = 0;

    WorkerThread one([&] {
        first = flight.run(u"ada:right"_s, [&] {
            journal.add(u"right begins"_s);
            waitForWaiters(flight, 1);
            journal.add(u"right ends"_s);
            return 1;
        });
    });
    QTRY_COMPARE(journal.entries().size(), 1);
    WorkerThread two([&] {
        other = flight.run(u"ada:wrong"_s, [&] {
            journal.add(u"wrong runs"_s);
            return 2;
        });
    });
    QVERIFY(one.wait());
    QVERIFY(two.wait());

    QCOMPARE(first, 1);
    QCOMPARE(other, 2);
    QCOMPARE(journal.entries(),
             QStringList({ u"right begins"_s, u"right ends"_s, u"wrong runs"_s }));
    QCOMPARE(flight.waitingCallers(), 0);
}

void TestSingleFlight::finishedRunIsNotReused()
{
    Flight flight;
    int runs = 0;

    QCOMPARE(flight.run(u"key"_s, [&] { return ++runs; }), 1);
    QCOMPARE(flight.run(u"key"_s, [&] { return ++runs; }), 2);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSingleFlight)

#include "tst_singleflight.moc"
