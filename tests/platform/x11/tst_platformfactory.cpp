#include "TestEnvironment.h"
#include "platform/IIdleProvider.h"
#include "platform/IInputMonitor.h"
#include "platform/IScreenCapturer.h"
#include "platform/ISleepWatcher.h"
#include "platform/LogindSleepWatcher.h"
#include "platform/PlatformIntegrationFactory.h"
#include "platform/PlatformKind.h"
#include "platform/x11/X11IdleProvider.h"
#include "platform/x11/X11InputMonitor.h"
#include "platform/x11/X11PlatformIntegration.h"
#include "platform/x11/X11ScreenCapturer.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Platform::createPlatformIntegration;
using Platform::PlatformKind;

class TestPlatformFactory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void forcedHeadlessGivesNoneWhateverDisplayHolds();
    void x11GivesX11IntegrationDeletedInReverseOrder();
    void followsEnvironmentChangedAfterDetection();
};

void TestPlatformFactory::init()
{
    qunsetenv("TEMBRIX_FORCE_PLATFORM");
    qunsetenv("XDG_SESSION_TYPE");
    QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
}

void TestPlatformFactory::forcedHeadlessGivesNoneWhateverDisplayHolds()
{
    qputenv("TEMBRIX_FORCE_PLATFORM", "headless");
    qputenv("XDG_SESSION_TYPE", "x11");

    QCOMPARE(createPlatformIntegration(), nullptr);
}

void TestPlatformFactory::x11GivesX11IntegrationDeletedInReverseOrder()
{
    qputenv("XDG_SESSION_TYPE", "x11");
    std::unique_ptr<Platform::IPlatformIntegration> integration = createPlatformIntegration();

    QVERIFY(dynamic_cast<Platform::X11::X11PlatformIntegration *>(integration.get()));
    QVERIFY(qobject_cast<Platform::X11::X11IdleProvider *>(integration->idleProvider()));
    QVERIFY(qobject_cast<Platform::X11::X11InputMonitor *>(integration->inputMonitor()));
    QVERIFY(qobject_cast<Platform::X11::X11ScreenCapturer *>(integration->screenCapturer()));
    QVERIFY(qobject_cast<Platform::LogindSleepWatcher *>(integration->sleepWatcher()));
    QCOMPARE(integration->idleProvider()->parent(), nullptr);
    QStringList deleted;
    const std::pair<QObject *, QString> objects[] = {
        { integration->idleProvider(), u"idle"_s },
        { integration->inputMonitor(), u"input"_s },
        { integration->screenCapturer(), u"capturer"_s },
        { integration->sleepWatcher(), u"sleep"_s },
    };
    for (const auto &[object, name] : objects)
        connect(object, &QObject::destroyed, this, [&deleted, name] { deleted.append(name); });
    // A running input thread must end with its monitor.
    integration->inputMonitor()->start();

    integration.reset();

    QCOMPARE(deleted, (QStringList{ u"sleep"_s, u"capturer"_s, u"input"_s, u"idle"_s }));
}

void TestPlatformFactory::followsEnvironmentChangedAfterDetection()
{
    qputenv("XDG_SESSION_TYPE", "x11");
    QCOMPARE(Platform::detectPlatform(), PlatformKind::X11);

    qputenv("TEMBRIX_FORCE_PLATFORM", "headless");
    QCOMPARE(createPlatformIntegration(), nullptr);

    qputenv("TEMBRIX_FORCE_PLATFORM", "x11");
    QVERIFY(createPlatformIntegration() != nullptr);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPlatformFactory)

#include "tst_platformfactory.moc"
