#include "TestEnvironment.h"
#include "platform/IIdleProvider.h"
#include "platform/IInputMonitor.h"
#include "platform/IScreenCapturer.h"
#include "platform/ISleepWatcher.h"
#include "platform/PlatformIntegration.h"
#include "platform/PlatformKind.h"

#include <QTest>

#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;
using Platform::PlatformIntegration;
using Platform::PlatformKind;

namespace {

class StubIdleProvider final : public Platform::IIdleProvider
{
public:
    qint64 idleSeconds() override { return 0; }
};

class StubInputMonitor final : public Platform::IInputMonitor
{
public:
    void start() override { }
    void stop() override { }
};

class StubScreenCapturer final : public Platform::IScreenCapturer
{
public:
    QList<QImage> captureScreens() override { return {}; }
    bool isAvailable() override { return true; }
    void requestAccess() override { }
};

class StubSleepWatcher final : public Platform::ISleepWatcher
{
public:
    void start() override { }
    void stop() override { }
};

// Records creations and, through destroyed(), deletions by name.
struct Journal
{
    QStringList events;

    template<typename Object>
    std::unique_ptr<Object> make(const QString &name)
    {
        auto object = std::make_unique<Object>();
        events.append("made "_L1 + name);
        QObject::connect(object.get(), &QObject::destroyed, object.get(),
                         [this, name] { events.append("deleted "_L1 + name); });
        return object;
    }

    PlatformIntegration::Factories factories(bool capturerThrows = false)
    {
        return {
            [this] { return make<StubIdleProvider>(u"idle"_s); },
            [this] { return make<StubInputMonitor>(u"input"_s); },
            [this, capturerThrows]() -> std::unique_ptr<Platform::IScreenCapturer> {
                if (capturerThrows)
                    throw std::runtime_error("no capturer");
                return make<StubScreenCapturer>(u"capturer"_s);
            },
            [this] { return make<StubSleepWatcher>(u"sleep"_s); },
        };
    }
};

void setOrUnset(const char *name, const std::optional<QByteArray> &value)
{
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

} // namespace

class TestPlatformIntegration : public QObject
{
    Q_OBJECT

private slots:
    void detectsPlatformFromEnvironment_data();
    void detectsPlatformFromEnvironment();
    void gettersReturnSameObjects();
    void deletesInReverseOrderOfCreation();
    void throwingFactoryDeletesObjectsAlreadyMade();
};

void TestPlatformIntegration::detectsPlatformFromEnvironment_data()
{
    using Value = std::optional<QByteArray>;
    QTest::addColumn<Value>("forced");
    QTest::addColumn<Value>("sessionType");
    QTest::addColumn<Value>("display");
    QTest::addColumn<PlatformKind>("expected");

    const Value unset;
    QTest::newRow("forced wayland")
            << Value("wayland") << Value("x11") << Value(":0") << PlatformKind::Wayland;
    QTest::newRow("forced Wayland (capital W) is X11")
            << Value("Wayland") << Value("wayland") << unset << PlatformKind::X11;
    QTest::newRow("forced headless with DISPLAY")
            << Value("headless") << Value("x11") << Value(":0") << PlatformKind::Headless;
    QTest::newRow("forced anything else is X11")
            << Value("gnome") << unset << unset << PlatformKind::X11;
    QTest::newRow("forced but empty is ignored")
            << Value("") << Value("wayland") << unset << PlatformKind::Wayland;
    QTest::newRow("session wayland whatever DISPLAY holds")
            << unset << Value("wayland") << Value(":0") << PlatformKind::Wayland;
    QTest::newRow("session x11 without DISPLAY")
            << unset << Value("x11") << unset << PlatformKind::X11;
    QTest::newRow("session tty with DISPLAY")
            << unset << Value("tty") << Value(":0") << PlatformKind::X11;
    QTest::newRow("session tty without DISPLAY")
            << unset << Value("tty") << Value("") << PlatformKind::Headless;
    QTest::newRow("no session, no DISPLAY") << unset << unset << unset << PlatformKind::Headless;
    QTest::newRow("no session, empty DISPLAY")
            << unset << Value("") << Value("") << PlatformKind::Headless;
    QTest::newRow("no session with DISPLAY") << unset << unset << Value(":1") << PlatformKind::X11;
    QTest::newRow("session Wayland (capital W) is X11")
            << unset << Value("Wayland") << unset << PlatformKind::X11;
}

void TestPlatformIntegration::detectsPlatformFromEnvironment()
{
    QFETCH(std::optional<QByteArray>, forced);
    QFETCH(std::optional<QByteArray>, sessionType);
    QFETCH(std::optional<QByteArray>, display);
    QFETCH(PlatformKind, expected);
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    setOrUnset("TEMBRIX_FORCE_PLATFORM", forced);
    setOrUnset("XDG_SESSION_TYPE", sessionType);
    setOrUnset("DISPLAY", display);

    const PlatformKind detected = Platform::detectPlatform();

    qunsetenv("TEMBRIX_FORCE_PLATFORM");
    qunsetenv("XDG_SESSION_TYPE");
    qputenv("DISPLAY", savedDisplay);
    QCOMPARE(detected, expected);
}

void TestPlatformIntegration::gettersReturnSameObjects()
{
    Journal journal;
    PlatformIntegration integration(journal.factories());

    Platform::IIdleProvider *idle = integration.idleProvider();
    QVERIFY(idle && integration.inputMonitor() && integration.screenCapturer()
            && integration.sleepWatcher());
    QCOMPARE(integration.idleProvider(), idle);
    QCOMPARE(integration.screenCapturer(), integration.screenCapturer());
    QCOMPARE(journal.events,
             (QStringList{ u"made idle"_s, u"made input"_s, u"made capturer"_s, u"made sleep"_s }));
}

void TestPlatformIntegration::deletesInReverseOrderOfCreation()
{
    Journal journal;
    std::unique_ptr<Platform::IPlatformIntegration> integration
            = std::make_unique<PlatformIntegration>(journal.factories());
    journal.events.clear();

    integration.reset();

    QCOMPARE(journal.events, (QStringList{ u"deleted sleep"_s, u"deleted capturer"_s,
                                           u"deleted input"_s, u"deleted idle"_s }));
}

void TestPlatformIntegration::throwingFactoryDeletesObjectsAlreadyMade()
{
    Journal journal;

    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             PlatformIntegration integration(journal.factories(true)));

    QCOMPARE(journal.events, (QStringList{ u"made idle"_s, u"made input"_s, u"deleted input"_s,
                                           u"deleted idle"_s }));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPlatformIntegration)

#include "tst_platformintegration.moc"
