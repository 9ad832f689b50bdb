#include "TestEnvironment.h"

#include "MessageCapture.h"

#include "networking/NetworkMonitor.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using Networking::NetworkMonitor;
using Reachability = QNetworkInformation::Reachability;
using namespace Qt::StringLiterals;

namespace {
const QString noBackendWarning
        = u"NetworkMonitor: no QNetworkInformation backend; assuming online."_s;
}

class TestNetworkMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutDefaultBackendWarnsOnceAndStaysOnline();
    void mapsReachabilityToOnline_data();
    void mapsReachabilityToOnline();
    void announcesOnlyChangesOfTheFlag();
    void followsALoadedBackend();
};

void TestNetworkMonitor::withoutDefaultBackendWarnsOnceAndStaysOnline()
{
    // Runs first, before any backend is loaded into the process.
    if (QNetworkInformation::loadDefaultBackend())
        QSKIP("this machine has a default network-information backend");
    MessageCapture capture;

    NetworkMonitor &monitor = NetworkMonitor::instance();
    const bool online = monitor.isOnline();
    NetworkMonitor::instance().isOnline();

    QVERIFY(online);
    QCOMPARE(capture.messages(QtWarningMsg), QStringList{ noBackendWarning });
    QCOMPARE(monitor.thread(), QCoreApplication::instance()->thread());
}

void TestNetworkMonitor::mapsReachabilityToOnline_data()
{
    QTest::addColumn<Reachability>("reachability");
    QTest::addColumn<bool>("online");

    QTest::newRow("unknown is offline") << Reachability::Unknown << false;
    QTest::newRow("disconnected is offline") << Reachability::Disconnected << false;
    QTest::newRow("local network only is offline") << Reachability::Local << false;
    QTest::newRow("site is online") << Reachability::Site << true;
    QTest::newRow("internet is online") << Reachability::Online << true;
}

void TestNetworkMonitor::mapsReachabilityToOnline()
{
    QFETCH(Reachability, reachability);
    QFETCH(bool, online);

    QCOMPARE(NetworkMonitor::isReachable(reachability), online);
}

void TestNetworkMonitor::announcesOnlyChangesOfTheFlag()
{
    MessageCapture capture; // swallows the no-backend warning
    NetworkMonitor monitor([] { return false; });
    QSignalSpy changes(&monitor, &NetworkMonitor::onlineChanged);

    monitor.onReachabilityChanged(Reachability::Online);
    monitor.onReachabilityChanged(Reachability::Local);
    monitor.onReachabilityChanged(Reachability::Disconnected);
    monitor.onReachabilityChanged(Reachability::Site);

    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0).at(0).toBool(), false);
    QCOMPARE(changes.at(1).at(0).toBool(), true);
    QVERIFY(monitor.isOnline());
}

void TestNetworkMonitor::followsALoadedBackend()
{
    MessageCapture capture;
    NetworkMonitor monitor([] { return QNetworkInformation::loadBackendByName(u"glib"); });
    QNetworkInformation *information = QNetworkInformation::instance();
    if (!information)
        QSKIP("the glib network-information backend is not installed");

    QCOMPARE(monitor.isOnline(), NetworkMonitor::isReachable(information->reachability()));
    QCOMPARE(capture.messages(QtWarningMsg), QStringList());

    // The backend's own notice of a change, as the desktop would raise it.
    QSignalSpy changes(&monitor, &NetworkMonitor::onlineChanged);
    const bool wasOnline = monitor.isOnline();
    Q_EMIT information->reachabilityChanged(wasOnline ? Reachability::Disconnected
                                                      : Reachability::Online);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(monitor.isOnline(), !wasOnline);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestNetworkMonitor)
#include "tst_networkmonitor.moc"
