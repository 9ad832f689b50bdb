#include "DBusMock.h"
#include "FakePlatformIntegration.h"
#include "LogTail.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "services/tracking/PermissionService.h"
#include "ui/main/Application.h"
#include "ui/main/ApplicationTestHooks.h"
#include "ui/main/PopoverWindow.h"
#include "ui/widgets/IconTabWidget.h"

#include <QApplication>
#include <QMenu>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

using namespace Qt::StringLiterals;
using Core::ApplicationTestHooks::MessageKind;
using TestSupport::DBusMock;

namespace {

const auto kUnavailableLine = u"Activity tracking unavailable: no idle backend on this Wayland "
                              u"session \u2014 tracking disabled"_s;

// Runs the event loop until something ends it; a watchdog fails it after five seconds.
int runLoop()
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    return QApplication::exec();
}

} // namespace

// One start-up per process: the services are process-wide. Signed out, no tray, and an input
// monitor that reports itself unavailable, as on a Wayland session without an idle monitor.
class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startsSignedOutWithoutTray();
    void reportsUnavailableInputOnce();
    void trayMenuEntries();
    void refreshedConfigDroppedWhileSignedOut();
    void trayCheckSignedOutSendsNothing();
    void traySettingsSelectsTheTab();
    void openAppBringsMinimisedWindowForward();
    void trayQuitEndsTheLoopWhileMinimised();

private:
    QList<QPair<MessageKind, QString>> m_messages;
    TestSupport::FakeInputMonitor *m_input = nullptr;
    std::unique_ptr<DBusMock> m_notifications;
    std::unique_ptr<LogTail> m_log;
    std::unique_ptr<Core::Application> m_app;
};

void TestApplication::initTestCase()
{
    m_notifications = std::make_unique<DBusMock>(u"notification_daemon"_s, DBusMock::Bus::Session);
    QVERIFY(m_notifications->start(u"org.freedesktop.Notifications"_s,
                                   u"/org/freedesktop/Notifications"_s));
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return false; });
    Core::ApplicationTestHooks::setMessageBoxHandler([this](MessageKind kind, const QString &text) {
        m_messages.append({ kind, text });
    });
    Core::ApplicationTestHooks::setPlatformIntegrationFactory([this] {
        auto integration = std::make_unique<TestSupport::FakePlatformIntegration>();
        integration->input->available = false;
        m_input = integration->input.get();
        return std::unique_ptr<Platform::IPlatformIntegration>(std::move(integration));
    });
    m_log = std::make_unique<LogTail>();
    m_app = std::make_unique<Core::Application>();
    QVERIFY(m_app->start());
}

void TestApplication::startsSignedOutWithoutTray()
{
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().first, MessageKind::Information);
    QCOMPARE(m_messages.first().second,
             u"Install the AppIndicator extension to access the tray icon."_s);
    QVERIFY(m_app->trayIcon());
    QVERIFY(!m_app->trayIcon()->isVisible());
    QVERIFY(m_app->popoverWindow());
    QVERIFY(m_app->popoverWindow()->isVisible());
    QCOMPARE(m_app->popoverWindow()->stack()->currentIndex(), 0);
    QVERIFY(!Core::AppStateManager::instance().isAuthenticated());
    QVERIFY(QThreadPool::globalInstance()->maxThreadCount() >= 8);
    QVERIFY(m_log->contains(u"[INFO] [config]"_s, u"Tembrix Clockwarden Linux 1.4.3 starting"_s));
}

void TestApplication::reportsUnavailableInputOnce()
{
    QCOMPARE(m_log->count(u"[ERROR] [config]"_s, kUnavailableLine), 1);
    QVERIFY(!Services::PermissionService::instance().hasAllPermissions());
    QCOMPARE(m_notifications->callCount(u"Notify"_s), 1);
    const QVariantList args = m_notifications->calls().first().arguments;
    QCOMPARE(args.at(3), QVariant(u"Tembrix Clockwarden"_s));
    QVERIFY(args.at(4).toString().startsWith(u"Activity tracking is unavailable"_s));
    QCOMPARE(args.at(7).toInt(), 5000);
}

void TestApplication::trayMenuEntries()
{
    QStringList texts;
    for (QAction *action : m_app->trayMenu()->actions())
        texts.append(action->isSeparator() ? u"-"_s : action->text());
    QCOMPARE(texts, (QStringList{ u"Open App"_s, u"Check for Updates\u2026"_s, u"Settings\u2026"_s,
                                  u"-"_s, u"Quit"_s }));
    QCOMPARE(m_app->trayIcon()->contextMenu(), m_app->trayMenu());
    QCOMPARE(m_app->trayIcon()->toolTip(), u"Tembrix Clockwarden"_s);
}

void TestApplication::refreshedConfigDroppedWhileSignedOut()
{
    Models::RemoteConfig config;
    config.latestClientVersionLinux = u"9.9.9"_s;
    m_app->applyRefreshedConfig(config);
    QVERIFY(!Core::AppStateManager::instance().remoteConfig());
    QVERIFY(!Core::AppStateManager::instance().forceClientUpdate());
}

void TestApplication::trayCheckSignedOutSendsNothing()
{
    m_messages.clear();
    m_app->trayMenu()->actions().at(1)->trigger();
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().second, u"Sign in to check for updates."_s);
    QVERIFY(!m_app->isCheckingForUpdates());
}

void TestApplication::traySettingsSelectsTheTab()
{
    UI::PopoverWindow *window = m_app->popoverWindow();
    window->hide();
    m_app->trayMenu()->actions().at(2)->trigger();
    QCOMPARE(window->mainTabs()->currentIndex(), 3);
    QVERIFY(window->isHidden());
    window->mainTabs()->setCurrentIndex(0);
}

void TestApplication::openAppBringsMinimisedWindowForward()
{
    UI::PopoverWindow *window = m_app->popoverWindow();
    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    m_app->trayMenu()->actions().at(0)->trigger();
    QTRY_VERIFY(!window->isMinimized());
    QVERIFY(window->isVisible());
}

void TestApplication::trayQuitEndsTheLoopWhileMinimised()
{
    UI::PopoverWindow *window = m_app->popoverWindow();
    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    QVERIFY(!Services::PermissionService::instance().hasInputMonitoringPermission());
    QAction *quit = m_app->trayMenu()->actions().at(4);
    QTimer::singleShot(0, quit, &QAction::trigger);
    QCOMPARE(runLoop(), 0);
    // The about-to-quit handling ran: the permission service let go of the back ends.
    QVERIFY(Services::PermissionService::instance().hasInputMonitoringPermission());
    m_app.reset();
}

CLOCKWARDEN_TEST_MAIN(TestApplication)
#include "tst_application.moc"
