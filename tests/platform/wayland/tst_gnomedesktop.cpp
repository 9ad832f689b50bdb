#include <QApplication>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include "GnomeDesktop.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/IPlatformIntegration.h"
#include "platform/PlatformIntegrationFactory.h"
#include "platform/PlatformKind.h"
#include "platform/wayland/WaylandIdleProvider.h"
#include "platform/wayland/WaylandInputMonitor.h"
#include "platform/wayland/WaylandScreenCapturer.h"
#include "platform/wayland/WaylandScreenshotCapturer.h"
#include "storage/Log.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandIdleProvider;
using Platform::Wayland::WaylandScreenshotCapturer;
using TestSupport::GnomeDesktop;

// The Wayland back end against a real GNOME Shell 43 desktop with Xwayland: what Qt and the
// detection choose, Mutter's idle monitor, and the Shell's screenshot service.
class TestGnomeDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void qtAndTheDetectionChooseWaylandBesideXwayland();
    void integrationUsesMutterAndThePortal();
    void idleTimeGrowsAndInputResetsIt();
    void shellRefusalEndsScreenshotsOnce();

private:
    std::optional<LogTail> m_log;
};

void TestGnomeDesktop::initTestCase()
{
    QVERIFY2(GnomeDesktop::isRunning(), "run on tests/support/gnome/with-gnome-session");
    Core::Log::install();
}

void TestGnomeDesktop::init()
{
    m_log.emplace();
}

void TestGnomeDesktop::qtAndTheDetectionChooseWaylandBesideXwayland()
{
    // GNOME sets neither QT_QPA_PLATFORM nor anything but the session type and the displays.
    QVERIFY(qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"));
    QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
    QCOMPARE(QGuiApplication::platformName(), u"wayland"_s);
    QCOMPARE(Platform::detectPlatform(), Platform::PlatformKind::Wayland);
}

void TestGnomeDesktop::integrationUsesMutterAndThePortal()
{
    const std::unique_ptr<Platform::IPlatformIntegration> integration
            = Platform::createPlatformIntegration();
    QVERIFY(integration);
    const auto *idle = qobject_cast<WaylandIdleProvider *>(integration->idleProvider());
    QVERIFY(idle);
    QCOMPARE(idle->backend(), WaylandIdleProvider::Backend::Mutter);
    QVERIFY(integration->inputMonitor()->isAvailable());
    QVERIFY(qobject_cast<Platform::Wayland::WaylandScreenCapturer *>(
            integration->screenCapturer()));
    QVERIFY(m_log->contains(u"[INFO] [config]"_s, u"Wayland: using ScreenCast portal capturer"_s));
    // No grant yet, and no dialog before the user asks for one.
    QVERIFY(!integration->screenCapturer()->isAvailable());
    QVERIFY(!GnomeDesktop::shareDialogShown());
}

void TestGnomeDesktop::idleTimeGrowsAndInputResetsIt()
{
    WaylandIdleProvider idle;
    QCOMPARE(idle.backend(), WaylandIdleProvider::Backend::Mutter);
    QVERIFY(idle.isAvailable());
    QTRY_VERIFY_WITH_TIMEOUT(idle.idleSeconds() >= 2, 10000);

    QVERIFY(GnomeDesktop::movePointer(3, 2));
    QTRY_VERIFY_WITH_TIMEOUT(idle.idleSeconds() <= 1, 5000);

    // The input monitor's estimate: a key press within its second counts as activity.
    Platform::Wayland::WaylandInputMonitor monitor(&idle);
    QSignalSpy moved(&monitor, &Platform::IInputMonitor::mouseMoved);
    QTRY_VERIFY_WITH_TIMEOUT(idle.idleSeconds() >= 2, 10000);
    monitor.start();
    QVERIFY(GnomeDesktop::pressKey(u"Shift_L"_s));
    QVERIFY(moved.wait(5000));
}

void TestGnomeDesktop::shellRefusalEndsScreenshotsOnce()
{
    WaylandScreenshotCapturer capturer;
    // The service is there; only a call tells that it refuses.
    QVERIFY(capturer.isAvailable());
    QSignalSpy changed(&capturer, &Platform::IScreenCapturer::availabilityChanged);

    QVERIFY(capturer.captureScreens().isEmpty());
    QVERIFY(!capturer.isAvailable());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_log->count(u"[ERROR] [config]"_s,
                          u"Shell.Screenshot failed: Screenshot is not allowed"_s),
             1);

    // Given up for good: no further call, no further signal, nothing more in the log.
    const qsizetype logged = m_log->lines().size();
    QVERIFY(capturer.captureScreens().isEmpty());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_log->lines().size(), logged);
}

CLOCKWARDEN_TEST_MAIN(TestGnomeDesktop)

#include "tst_gnomedesktop.moc"
