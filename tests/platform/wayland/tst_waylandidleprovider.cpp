#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include "DBusMock.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/wayland/WaylandIdleProvider.h"
#include "platform/wayland/WaylandInputMonitor.h"
#include "storage/Log.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandIdleProvider;
using Platform::Wayland::WaylandInputMonitor;
using Backend = WaylandIdleProvider::Backend;
using TestSupport::DBusMock;

namespace {

struct IdleFake
{
    QString service;
    QString path;
    QString interface;
    QString method;
    QString signature;
};

const IdleFake mutter{ u"org.gnome.Mutter.IdleMonitor"_s, u"/org/gnome/Mutter/IdleMonitor/Core"_s,
                       u"org.gnome.Mutter.IdleMonitor"_s, u"GetIdletime"_s, u"t"_s };
const IdleFake muffin{ u"org.cinnamon.Muffin.IdleMonitor"_s,
                       u"/org/cinnamon/Muffin/IdleMonitor/Core"_s,
                       u"org.cinnamon.Muffin.IdleMonitor"_s, u"GetIdletime"_s, u"t"_s };
const IdleFake screenSaverAtRoot{ u"org.freedesktop.ScreenSaver"_s, u"/ScreenSaver"_s,
                                  u"org.freedesktop.ScreenSaver"_s, u"GetSessionIdleTime"_s,
                                  u"u"_s };

} // namespace

class TestWaylandIdleProvider : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void choosesTheFirstIdleServiceThatAnswers_data();
    void choosesTheFirstIdleServiceThatAnswers();
    void withoutIdleServiceNothingIsAvailableAndNothingIsEmitted();
    void estimatesMovementBelowTwoIdleSeconds_data();
    void estimatesMovementBelowTwoIdleSeconds();
    void cachesTheIdleTimeForHalfASecond();
    void failedQueryReadsAsNoIdleTime();
    void reportsDegradedOnceAndPollsAgainAfterRestart();

private:
    DBusMock *startFake(const IdleFake &fake, qint64 idleMs);
    void setIdle(DBusMock &mock, const IdleFake &fake, qint64 idleMs);

    std::vector<std::unique_ptr<DBusMock>> m_fakes;
    std::optional<LogTail> m_log;
};

void TestWaylandIdleProvider::initTestCase()
{
    Core::Log::install();
}

void TestWaylandIdleProvider::init()
{
    m_log.emplace();
}

void TestWaylandIdleProvider::cleanup()
{
    m_fakes.clear();
}

void TestWaylandIdleProvider::setIdle(DBusMock &mock, const IdleFake &fake, qint64 idleMs)
{
    QVERIFY(mock.addMethod(fake.interface, fake.method, QString(), fake.signature,
                           u"ret = %1"_s.arg(idleMs)));
}

DBusMock *TestWaylandIdleProvider::startFake(const IdleFake &fake, qint64 idleMs)
{
    auto mock = std::make_unique<DBusMock>(QString(), DBusMock::Bus::Session);
    if (!mock->start(fake.service, fake.path, fake.interface))
        return nullptr;
    setIdle(*mock, fake, idleMs);
    m_fakes.push_back(std::move(mock));
    return m_fakes.back().get();
}

void TestWaylandIdleProvider::choosesTheFirstIdleServiceThatAnswers_data()
{
    QTest::addColumn<QList<int>>("fakes"); // 0 Mutter, 1 Muffin, 2 ScreenSaver at /ScreenSaver
    QTest::addColumn<int>("backend");
    QTest::addColumn<QString>("message");
    QTest::newRow("screen saver at /ScreenSaver only")
            << QList<int>{ 2 } << int(Backend::ScreenSaver)
            << u"WaylandIdleProvider: using KDE ScreenSaver idle at /ScreenSaver"_s;
    QTest::newRow("Mutter before the screen saver")
            << QList<int>{ 2, 0 } << int(Backend::Mutter)
            << u"WaylandIdleProvider: using Mutter IdleMonitor"_s;
    QTest::newRow("Muffin alone") << QList<int>{ 1 } << int(Backend::Muffin)
                                  << u"WaylandIdleProvider: using Muffin IdleMonitor"_s;
}

void TestWaylandIdleProvider::choosesTheFirstIdleServiceThatAnswers()
{
    QFETCH(QList<int>, fakes);
    QFETCH(int, backend);
    QFETCH(QString, message);
    const IdleFake *all[] = { &mutter, &muffin, &screenSaverAtRoot };
    for (const int fake : fakes)
        QVERIFY(startFake(*all[fake], 3000));

    WaylandIdleProvider provider;
    QCOMPARE(int(provider.backend()), backend);
    QVERIFY(provider.isAvailable());
    QCOMPARE(m_log->count(u"[INFO] [config]"_s, message), 1);
    QCOMPARE(provider.screenSaverPath(),
             backend == int(Backend::ScreenSaver) ? u"/ScreenSaver"_s : QString());
    QCOMPARE(provider.idleSeconds(), 3);
}

void TestWaylandIdleProvider::withoutIdleServiceNothingIsAvailableAndNothingIsEmitted()
{
    WaylandIdleProvider provider;
    WaylandInputMonitor monitor(&provider);
    QSignalSpy moved(&monitor, &WaylandInputMonitor::mouseMoved);

    QCOMPARE(provider.backend(), Backend::None);
    QVERIFY(!provider.isAvailable());
    QVERIFY(!monitor.isAvailable());
    QCOMPARE(provider.idleSeconds(), 0);
    QCOMPARE(m_log->count(u"[INFO] [config]"_s,
                          u"WaylandIdleProvider: no idle backend (Mutter/KDE) — idle detection "
                          "disabled"_s),
             1);
    monitor.start();
    QVERIFY(!moved.wait(1500));
    QVERIFY(!WaylandInputMonitor(nullptr).isAvailable());
}

void TestWaylandIdleProvider::estimatesMovementBelowTwoIdleSeconds_data()
{
    QTest::addColumn<qint64>("idleMs");
    QTest::addColumn<bool>("moved");
    QTest::newRow("1999 ms") << qint64(1999) << true;
    QTest::newRow("2000 ms") << qint64(2000) << false;
}

void TestWaylandIdleProvider::estimatesMovementBelowTwoIdleSeconds()
{
    QFETCH(qint64, idleMs);
    QFETCH(bool, moved);
    QVERIFY(startFake(mutter, idleMs));
    WaylandIdleProvider provider;
    WaylandInputMonitor monitor(&provider);
    QSignalSpy movements(&monitor, &WaylandInputMonitor::mouseMoved);
    QSignalSpy keys(&monitor, &WaylandInputMonitor::keyPressed);
    QSignalSpy clicks(&monitor, &WaylandInputMonitor::mouseClicked);

    monitor.start();
    QCOMPARE(movements.wait(1500), moved);
    QCOMPARE(keys.count(), 0);
    QCOMPARE(clicks.count(), 0);
}

void TestWaylandIdleProvider::cachesTheIdleTimeForHalfASecond()
{
    DBusMock *fake = startFake(mutter, 7000);
    QVERIFY(fake);
    WaylandIdleProvider provider;
    fake->clearCalls();

    QCOMPARE(provider.idleSeconds(), 7);
    setIdle(*fake, mutter, 9000);
    QTest::qWait(100);
    QCOMPARE(provider.idleSeconds(), 7);
    QCOMPARE(fake->callCount(u"GetIdletime"_s), 1);

    QTest::qWait(600);
    QCOMPARE(provider.idleSeconds(), 9);
    QCOMPARE(fake->callCount(u"GetIdletime"_s), 2);
}

void TestWaylandIdleProvider::failedQueryReadsAsNoIdleTime()
{
    DBusMock *fake = startFake(mutter, 7000);
    QVERIFY(fake);
    WaylandIdleProvider provider;
    QVERIFY(fake->addMethod(mutter.interface, mutter.method, QString(), u"t"_s,
                            u"raise dbus.exceptions.DBusException('gone', "
                            "name='org.gnome.Mutter.Error')"_s));

    QCOMPARE(provider.idleSeconds(), 0);
    QCOMPARE(provider.backend(), Backend::Mutter);
    QVERIFY(provider.isAvailable());
}

void TestWaylandIdleProvider::reportsDegradedOnceAndPollsAgainAfterRestart()
{
    QVERIFY(startFake(mutter, 0));
    WaylandIdleProvider provider;
    WaylandInputMonitor monitor(&provider);
    QSignalSpy degraded(&monitor, &WaylandInputMonitor::degraded);
    QSignalSpy moved(&monitor, &WaylandInputMonitor::mouseMoved);
    QVERIFY(monitor.isAvailable());

    monitor.start();
    monitor.start();
    monitor.stop();
    QVERIFY(!monitor.isPolling());
    monitor.start();
    QCOMPARE(degraded.count(), 1);
    QVERIFY(monitor.isPolling());
    QVERIFY(moved.wait(1500));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestWaylandIdleProvider)

#include "tst_waylandidleprovider.moc"
