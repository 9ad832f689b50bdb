#include "FakeInputMonitor.h"
#include "FakeScreenCapturer.h"
#include "TestEnvironment.h"

#include "services/tracking/PermissionService.h"

#include <QCoreApplication>
#include <QTest>

using Services::PermissionService;
using TestSupport::FakeInputMonitor;
using TestSupport::FakeScreenCapturer;

class TestPermissionService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { init(); }
    void withoutBackEndsEverythingIsGranted();
    void answersFollowTheBackEnds_data();
    void answersFollowTheBackEnds();
    void missingCaptureDoesNotAskTheMonitor();
    void requestAndRevokeReachTheCapturer();
};

void TestPermissionService::init()
{
    PermissionService::instance().setScreenCapturer(nullptr);
    PermissionService::instance().setInputMonitor(nullptr);
}

void TestPermissionService::withoutBackEndsEverythingIsGranted()
{
    auto &service = PermissionService::instance();
    QVERIFY(service.hasScreenCapturePermission());
    QVERIFY(service.hasInputMonitoringPermission());
    QVERIFY(service.hasAllPermissions());
    service.requestScreenCapturePermission();
    service.revokeScreenCapturePermission();
    service.requestInputMonitoringPermission();
}

void TestPermissionService::answersFollowTheBackEnds_data()
{
    QTest::addColumn<bool>("capture");
    QTest::addColumn<bool>("input");
    QTest::addColumn<bool>("all");
    QTest::newRow("both available") << true << true << true;
    QTest::newRow("capture unavailable") << false << true << false;
    QTest::newRow("input unavailable") << true << false << false;
    QTest::newRow("neither available") << false << false << false;
}

void TestPermissionService::answersFollowTheBackEnds()
{
    QFETCH(bool, capture);
    QFETCH(bool, input);
    QFETCH(bool, all);
    FakeScreenCapturer capturer;
    FakeInputMonitor monitor;
    capturer.available = capture;
    monitor.available = input;
    auto &service = PermissionService::instance();
    service.setScreenCapturer(&capturer);
    service.setInputMonitor(&monitor);

    QCOMPARE(service.hasScreenCapturePermission(), capture);
    QCOMPARE(service.hasInputMonitoringPermission(), input);
    QCOMPARE(service.hasAllPermissions(), all);
}

void TestPermissionService::missingCaptureDoesNotAskTheMonitor()
{
    FakeScreenCapturer capturer;
    FakeInputMonitor monitor;
    capturer.available = false;
    auto &service = PermissionService::instance();
    service.setScreenCapturer(&capturer);
    service.setInputMonitor(&monitor);

    QVERIFY(!service.hasAllPermissions());
    QCOMPARE(capturer.availabilityCalls, 1);
    QCOMPARE(monitor.availabilityCalls, 0);
}

void TestPermissionService::requestAndRevokeReachTheCapturer()
{
    FakeScreenCapturer capturer;
    FakeInputMonitor monitor;
    auto &service = PermissionService::instance();
    service.setScreenCapturer(&capturer);
    service.setInputMonitor(&monitor);

    service.requestScreenCapturePermission();
    service.revokeScreenCapturePermission();
    service.requestInputMonitoringPermission();
    QCOMPARE(capturer.accessRequests, 1);
    QCOMPARE(capturer.revocations, 1);
    QCOMPARE(monitor.starts, 0);
    QCOMPARE(monitor.stops, 0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPermissionService)

#include "tst_permissionservice.moc"
