#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "FakePlatformIntegration.h"
#include "LogTail.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "networking/ApiEndpoint.h"
#include "storage/LibSecretCredentialStore.h"
#include "storage/TokenStore.h"
#include "ui/main/Application.h"
#include "ui/main/ApplicationTestHooks.h"
#include "ui/main/IdleDecisionDialog.h"
#include "ui/main/PopoverWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;
using Core::AppStateManager;
using Core::SessionManager;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;

namespace {

Models::RemoteConfig configWithLatest(const QString &latest)
{
    Models::RemoteConfig config;
    config.latestClientVersionLinux = latest;
    config.idleAction = u"ask"_s;
    return config;
}

// Runs handle on the idle-decision dialog once the engine's queued call has shown it; gives up
// after about five seconds.
void onIdleDialog(const std::function<void(UI::IdleDecisionDialog *)> &handle, int attempts = 500)
{
    QTimer::singleShot(10, [handle, attempts] {
        if (auto *dialog
            = qobject_cast<UI::IdleDecisionDialog *>(QApplication::activeModalWidget()))
            handle(dialog);
        else if (attempts > 1)
            onIdleDialog(handle, attempts - 1);
    });
}

void startTracking()
{
    auto &engine = SessionManager::instance();
    engine.startTrackingWithoutProject();
    QVERIFY(engine.isTracking());
}

// An idle spell that ends with the company's action "ask": the engine pauses and asks.
void endIdleSpell()
{
    QVERIFY(QMetaObject::invokeMethod(&SessionManager::instance(), "onIdleDetected"));
    QVERIFY(QMetaObject::invokeMethod(&SessionManager::instance(), "onIdleEnded"));
}

} // namespace

// One start-up per process: signed in against the stand-in, with a tray.
class TestApplicationSignedIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startsSignedInFetchesTheMissingConfigAtOnce();
    void idleDecision_data();
    void idleDecision();
    void forcedUpdateRejectsTheIdleDialog();
    void forcedUpdateRaisesOnce();
    void refreshedConfigCrossesToTheGuiThread();
    void trayCheckRunsOffTheGuiThread();
    void trayCheckOutcome_data();
    void trayCheckOutcome();
    void settingsShowsTheLatestAnswer_data();
    void settingsShowsTheLatestAnswer();
    void trayQuitWhileTrackingClosesTheInterval();

private:
    void answerWithLatest(const QString &latest);
    QString checkForUpdates();

    FakeHrServer m_server;
    QStringList m_messages;
    std::unique_ptr<LogTail> m_log;
    std::unique_ptr<Core::Application> m_app;
};

void TestApplicationSignedIn::initTestCase()
{
    QVERIFY(m_server.start());
    Networking::ApiEndpoint::saveOverride(m_server.baseUrl());
    {
        Platform::LibSecretCredentialStore credentials;
        Storage::TokenStore tokens(&credentials);
        signIn(m_server, tokens);
    }
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return true; });
    Core::ApplicationTestHooks::setMessageBoxHandler(
            [this](Core::ApplicationTestHooks::MessageKind, const QString &text) {
                m_messages.append(text);
            });
    Core::ApplicationTestHooks::setPlatformIntegrationFactory(
            [] { return std::make_unique<TestSupport::FakePlatformIntegration>(); });
    // No cached configuration (as after a kill during the first fetch), and the service fails
    // the first fetch.
    m_server.addFault(FakeHrRoute::Configuration,
                      TestSupport::FakeHrFault::message(503, u"Down for maintenance"_s));
    m_log = std::make_unique<LogTail>();
    m_app = std::make_unique<Core::Application>();
    QVERIFY(m_app->start());
}

void TestApplicationSignedIn::startsSignedInFetchesTheMissingConfigAtOnce()
{
    QVERIFY(AppStateManager::instance().isAuthenticated());
    QVERIFY(m_messages.isEmpty());
    UI::PopoverWindow *window = m_app->popoverWindow();
    QCOMPARE(window->stack()->currentIndex(), 1);
    QVERIFY(AppStateManager::instance().hasRequiredPermissions());
    auto *start = window->findChild<QPushButton *>(u"Tracker_PrimaryButton"_s);
    auto *alert = window->findChild<QLabel *>(u"Tracker_AlertText"_s);
    auto *retry = window->findChild<QPushButton *>(u"Tracker_AlertRetryButton"_s);
    QVERIFY(start && alert && retry);

    // Fetched at start-up, not after the periodic refresh's first wait; the failure says why
    // Start is off.
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));
    QTRY_VERIFY(alert->text().contains(u"could not be loaded"_s));
    QVERIFY2(alert->text().startsWith(u"Start is off until your company's settings are loaded."_s),
             qPrintable(alert->text()));
    QVERIFY(alert->isVisibleTo(window));
    QVERIFY(retry->isVisibleTo(window));
    QVERIFY(!start->isEnabled());

    QTest::mouseClick(retry, Qt::LeftButton);
    QVERIFY(m_server.waitForRequests(2, FakeHrRoute::Configuration));
    QTRY_VERIFY(AppStateManager::instance().remoteConfig().has_value());
    QTRY_VERIFY(start->isEnabled());
    QVERIFY(!alert->isVisibleTo(window));
}

void TestApplicationSignedIn::idleDecision_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("tracking");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("needsDecision");
    QTest::addColumn<QString>("status");
    QTest::newRow("continue") << u"IdleDecision_KeepButton"_s << true << false << false
                              << QString();
    QTest::newRow("stop") << u"IdleDecision_DiscardButton"_s << false << false << false
                          << u"Tracking stopped: idle"_s;
    QTest::newRow("closed") << QString() << true << true << true << QString();
}

void TestApplicationSignedIn::idleDecision()
{
    QFETCH(QString, button);
    QFETCH(bool, tracking);
    QFETCH(bool, paused);
    QFETCH(bool, needsDecision);
    QFETCH(QString, status);
    auto &engine = SessionManager::instance();
    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    startTracking();

    bool shown = false;
    onIdleDialog([&](UI::IdleDecisionDialog *dialog) {
        shown = true;
        QCOMPARE(m_app->activeIdleDialog(), dialog);
        QCOMPARE(dialog->parentWidget(), m_app->popoverWindow());
        if (button.isEmpty())
            dialog->close();
        else
            dialog->findChild<QPushButton *>(button)->click();
    });
    endIdleSpell();
    QVERIFY(engine.needsIdleDecision());
    QTRY_VERIFY(shown);
    QTRY_VERIFY(!m_app->activeIdleDialog());
    QCOMPARE(engine.isTracking(), tracking);
    QCOMPARE(engine.isPaused(), paused);
    QCOMPARE(engine.needsIdleDecision(), needsDecision);
    if (!status.isEmpty())
        QCOMPARE(engine.statusMessage(), status);
    if (engine.isTracking())
        engine.stopTracking();
}

void TestApplicationSignedIn::forcedUpdateRejectsTheIdleDialog()
{
    auto &engine = SessionManager::instance();
    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    const int raisedBefore = m_app->forceUpdateRaiseCount();
    startTracking();

    bool shown = false;
    onIdleDialog([&](UI::IdleDecisionDialog *) {
        shown = true;
        // A refreshed configuration arrives while the dialog's own loop runs.
        m_app->applyRefreshedConfig(configWithLatest(u"9.9.9"_s));
    });
    endIdleSpell();
    QTRY_VERIFY(shown);
    QTRY_VERIFY(!m_app->activeIdleDialog());
    QVERIFY(!engine.isTracking());
    QCOMPARE(engine.statusMessage(), u"Tracking stopped: Update required"_s);
    QCOMPARE(m_app->forceUpdateRaiseCount(), raisedBefore + 1);
    QTRY_COMPARE(m_app->popoverWindow()->stack()->currentIndex(), 2);
    QVERIFY(m_app->popoverWindow()->isVisible());
}

void TestApplicationSignedIn::forcedUpdateRaisesOnce()
{
    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    QCoreApplication::processEvents();
    const int base = m_app->forceUpdateRaiseCount();
    const QList<QPair<QString, int>> steps{
        { u"9.9.9"_s, 1 }, { u"9.9.9"_s, 1 }, { u"0.1.0"_s, 1 }, { u"9.9.9"_s, 2 }
    };
    for (const auto &[latest, raises] : steps) {
        m_app->applyRefreshedConfig(configWithLatest(latest));
        QCoreApplication::processEvents();
        QCOMPARE(m_app->forceUpdateRaiseCount() - base, raises);
    }
    // The engine's queued call arriving while an update is forced shows nothing.
    auto shown = std::make_shared<bool>(false);
    onIdleDialog(
            [shown](UI::IdleDecisionDialog *dialog) {
                *shown = true;
                dialog->reject();
            },
            1);
    m_app->presentIdleDecision();
    QVERIFY(!*shown);
    QVERIFY(!m_app->activeIdleDialog());
    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    QCoreApplication::processEvents();
}

void TestApplicationSignedIn::refreshedConfigCrossesToTheGuiThread()
{
    Models::RemoteConfig config = configWithLatest(u"0.1.0"_s);
    config.idleMinutesThreshold = 17;
    std::thread refresher([&] { m_app->onRemoteConfigRefreshed(config); });
    refresher.join();
    auto &state = AppStateManager::instance();
    QTRY_VERIFY(state.remoteConfig() && state.remoteConfig()->idleMinutesThreshold == 17);
}

void TestApplicationSignedIn::answerWithLatest(const QString &latest)
{
    m_server.updateScenario([&](TestSupport::FakeHrScenario &scenario) {
        scenario.configuration.insert(u"latest_client_version_linux"_s, latest);
    });
}

QString TestApplicationSignedIn::checkForUpdates()
{
    m_messages.clear();
    m_app->trayMenu()->actions().at(1)->trigger();
    if (!QTest::qWaitFor([&] { return !m_messages.isEmpty(); }, 10000))
        return u"<no answer>"_s;
    return m_messages.first();
}

void TestApplicationSignedIn::trayCheckRunsOffTheGuiThread()
{
    answerWithLatest(u"0.1.0"_s);
    m_server.clearRequests();
    // The first answer is held until a second request comes, which must never happen.
    m_server.setBarrier(FakeHrRoute::Configuration, 2);
    m_messages.clear();
    QAction *check = m_app->trayMenu()->actions().at(1);
    check->trigger();
    QVERIFY(m_server.waitForRequests(1, FakeHrRoute::Configuration));

    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    QTRY_VERIFY(ticks >= 5);
    QVERIFY(m_app->isCheckingForUpdates());
    QVERIFY(!check->isEnabled());
    check->trigger();
    m_app->onTrayCheckForUpdatesTriggered();
    QTest::qWait(100);
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 1);
    QVERIFY(m_messages.isEmpty());

    m_server.clearBarriers();
    QTRY_COMPARE(m_messages, QStringList{ u"You\u2019re up to date."_s });
    QVERIFY(check->isEnabled());
    QCOMPARE(m_server.requestCount(FakeHrRoute::Configuration), 1);
}

void TestApplicationSignedIn::trayCheckOutcome_data()
{
    QTest::addColumn<QString>("latest");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("text");
    QTest::newRow("up to date") << u"0.1.0"_s << true << u"You\u2019re up to date."_s;
    QTest::newRow("newer") << u"9.9.9"_s << true << u"A newer version is available."_s;
    QTest::newRow("server down") << u"0.1.0"_s << false << u"Failed to check for updates."_s;
}

void TestApplicationSignedIn::trayCheckOutcome()
{
    QFETCH(QString, latest);
    QFETCH(bool, serverUp);
    QFETCH(QString, text);
    answerWithLatest(latest);
    if (!serverUp)
        m_server.stopListening();
    QCOMPARE(checkForUpdates(), text);
    if (!serverUp)
        QVERIFY(m_server.resumeListening());
    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    QCoreApplication::processEvents();
}

void TestApplicationSignedIn::settingsShowsTheLatestAnswer_data()
{
    // Settings asks first, the tray later; Settings then shows the tray's answer.
    QTest::addColumn<QString>("settingsLatest");
    QTest::addColumn<QString>("settingsText");
    QTest::addColumn<QString>("trayLatest");
    QTest::addColumn<QString>("trayText");
    QTest::newRow("up to date after update required")
            << u"9.9.9"_s << u"Update required."_s << u"0.1.0"_s << u"You're up to date."_s;
    QTest::newRow("update required after up to date")
            << u"0.1.0"_s << u"You're up to date."_s << u"9.9.9"_s << u"Update required."_s;
}

void TestApplicationSignedIn::settingsShowsTheLatestAnswer()
{
    QFETCH(QString, settingsLatest);
    QFETCH(QString, settingsText);
    QFETCH(QString, trayLatest);
    QFETCH(QString, trayText);
    QWidget *settings = m_app->popoverWindow()->mainTab(3);
    auto *button = settings->findChild<QPushButton *>(u"Settings_CheckUpdateButton"_s);
    auto *label = settings->findChild<QLabel *>(u"Settings_UpdateStatusLabel"_s);
    QVERIFY(button && label);

    answerWithLatest(settingsLatest);
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), settingsText, 10000);
    answerWithLatest(trayLatest);
    QVERIFY(checkForUpdates() != u"<no answer>"_s);
    QCOMPARE(label->text(), trayText);

    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    QCoreApplication::processEvents();
}

void TestApplicationSignedIn::trayQuitWhileTrackingClosesTheInterval()
{
    m_app->applyRefreshedConfig(configWithLatest(u"0.1.0"_s));
    QCoreApplication::processEvents();
    startTracking();
    QAction *quit = m_app->trayMenu()->actions().at(4);
    QTimer::singleShot(0, quit, &QAction::trigger);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(m_log->contains(u"[INFO] [session]"_s,
                            u"Tracking interval closed on app termination"_s));
    m_app.reset();
    Networking::ApiEndpoint::saveOverride(std::nullopt);
}

CLOCKWARDEN_TEST_MAIN(TestApplicationSignedIn)
#include "tst_application_signedin.moc"
