#include <QCoreApplication>
#include <QTest>

#include "DBusMock.h"
#include "FakePortal.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/IIdleProvider.h"
#include "platform/IInputMonitor.h"
#include "platform/ISleepWatcher.h"
#include "platform/LogindSleepWatcher.h"
#include "platform/PlatformIntegrationFactory.h"
#include "platform/wayland/WaylandIdleProvider.h"
#include "platform/wayland/WaylandInputMonitor.h"
#include "platform/wayland/WaylandPlatformIntegration.h"
#include "platform/wayland/WaylandScreenCapturer.h"
#include "platform/wayland/WaylandScreenshotCapturer.h"
#include "storage/Log.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandPlatformIntegration;
using TestSupport::DBusMock;

namespace {

const QString shellName = u"org.gnome.Shell.Screenshot"_s;

} // namespace

class TestWaylandPlatformIntegration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void choosesTheCapturerFromWhatTheBusOffers_data();
    void choosesTheCapturerFromWhatTheBusOffers();
    void factoryGivesTheWaylandIntegrationDeletedInReverse();

private:
    std::optional<LogTail> m_log;
    TestSupport::FakePortal m_portal;
    std::unique_ptr<DBusMock> m_shell;
};

void TestWaylandPlatformIntegration::initTestCase()
{
    Core::Log::install();
}

void TestWaylandPlatformIntegration::init()
{
    m_log.emplace();
}

void TestWaylandPlatformIntegration::cleanup()
{
    m_portal.stop();
    m_shell.reset();
}

void TestWaylandPlatformIntegration::choosesTheCapturerFromWhatTheBusOffers_data()
{
    QTest::addColumn<QString>("introspection"); // empty: no portal; "default": its own
    QTest::addColumn<bool>("shell");
    QTest::addColumn<bool>("screenCast");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("message");
    QTest::newRow("portal with ScreenCast, and the Shell")
            << u"default"_s << true << true << u"[INFO] [config]"_s
            << u"Wayland: using ScreenCast portal capturer"_s;
    QTest::newRow("interface name without quotes")
            << u"<node><!-- org.freedesktop.portal.ScreenCast --></node>"_s << true << false
            << u"[INFO] [config]"_s
            << u"Wayland: ScreenCast absent — using org.gnome.Shell.Screenshot capturer"_s;
    QTest::newRow("the Shell only")
            << QString() << true << false << u"[INFO] [config]"_s
            << u"Wayland: ScreenCast absent — using org.gnome.Shell.Screenshot capturer"_s;
    QTest::newRow("nothing") << QString() << false << true << u"[ERROR] [config]"_s
                             << u"Wayland: no ScreenCast / Shell.Screenshot — screenshots "
                                "disabled"_s;
}

void TestWaylandPlatformIntegration::choosesTheCapturerFromWhatTheBusOffers()
{
    QFETCH(QString, introspection);
    QFETCH(bool, shell);
    QFETCH(bool, screenCast);
    QFETCH(QString, level);
    QFETCH(QString, message);
    if (!introspection.isEmpty()) {
        QVERIFY(m_portal.start());
        if (introspection != u"default"_s)
            m_portal.setIntrospection(introspection);
    }
    if (shell) {
        m_shell = std::make_unique<DBusMock>(QString(), DBusMock::Bus::Session);
        QVERIFY(m_shell->start(shellName, u"/org/gnome/Shell/Screenshot"_s, shellName));
    }

    WaylandPlatformIntegration integration;
    Platform::IScreenCapturer *capturer = integration.screenCapturer();
    QCOMPARE(dynamic_cast<Platform::Wayland::WaylandScreenCapturer *>(capturer) != nullptr,
             screenCast);
    QCOMPARE(dynamic_cast<Platform::Wayland::WaylandScreenshotCapturer *>(capturer) != nullptr,
             !screenCast);
    QCOMPARE(m_log->count(level, message), 1);
    QCOMPARE(m_log->lines().filter(u"Wayland: "_s).size(), 1);
}

void TestWaylandPlatformIntegration::factoryGivesTheWaylandIntegrationDeletedInReverse()
{
    qputenv("TEMBRIX_FORCE_PLATFORM", "wayland");
    const auto restore = qScopeGuard([] { qunsetenv("TEMBRIX_FORCE_PLATFORM"); });
    QStringList deleted;
    {
        const std::unique_ptr<Platform::IPlatformIntegration> made
                = Platform::createPlatformIntegration();
        QVERIFY(dynamic_cast<WaylandPlatformIntegration *>(made.get()));
        Platform::IPlatformIntegration &integration = *made;
        QVERIFY(dynamic_cast<Platform::Wayland::WaylandIdleProvider *>(integration.idleProvider()));
        QVERIFY(dynamic_cast<Platform::Wayland::WaylandInputMonitor *>(integration.inputMonitor()));
        QVERIFY(dynamic_cast<Platform::Wayland::WaylandScreenCapturer *>(
                integration.screenCapturer()));
        QVERIFY(dynamic_cast<Platform::LogindSleepWatcher *>(integration.sleepWatcher()));
        QCOMPARE(integration.idleProvider(), integration.idleProvider());
        // No idle service here: the input estimate follows its provider.
        QVERIFY(!integration.inputMonitor()->isAvailable());

        const auto track = [&deleted](QObject *object, const QString &name) {
            QObject::connect(object, &QObject::destroyed, object,
                             [&deleted, name] { deleted << name; });
        };
        track(integration.idleProvider(), u"idle"_s);
        track(integration.inputMonitor(), u"input"_s);
        track(integration.screenCapturer(), u"capturer"_s);
        track(integration.sleepWatcher(), u"sleep"_s);
    }
    QCOMPARE(deleted, (QStringList{ u"sleep"_s, u"capturer"_s, u"input"_s, u"idle"_s }));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestWaylandPlatformIntegration)

#include "tst_waylandplatformintegration.moc"
