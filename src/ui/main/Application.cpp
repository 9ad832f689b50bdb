#include "ui/main/Application.h"

#include "core/AppStateManager.h"
#include "core/AppVersion.h"
#include "core/SessionManager.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "platform/DesktopEntryInstaller.h"
#include "platform/DesktopNotifier.h"
#include "platform/IInputMonitor.h"
#include "platform/IPlatformIntegration.h"
#include "platform/IScreenCapturer.h"
#include "platform/ISleepWatcher.h"
#include "platform/PlatformKind.h"
#include "platform/SingleInstanceGuard.h"
#include "services/server/AuthNotifications.h"
#include "services/server/AuthService.h"
#include "services/server/RemoteConfigService.h"
#include "services/server/UploadService.h"
#include "services/tracking/PermissionService.h"
#include "storage/ApiTimezone.h"
#include "storage/LibSecretCredentialStore.h"
#include "storage/Log.h"
#include "storage/SQLiteStore.h"
#include "storage/TokenStore.h"
#include "ui/main/ConfigFetch.h"
#include "ui/main/IdleDecisionDialog.h"
#include "ui/main/PopoverWindow.h"
#include "ui/main/RunOnPool.h"
#include "ui/main/ShellDesktop.h"
#include "ui/main/TerminationSignals.h"
#include "ui/main/UpdateCheckAnswer.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <unistd.h>

namespace Core {

namespace {

constexpr int kStuckExitStatus = 75;
constexpr int kDrainTimeoutMs = 5000;
// Report fetches, sign-out and summaries each hold a pool thread for up to a request's timeout;
// one per core would let a slow report hold up a sign-out on a small machine.
constexpr int kMinimumPoolThreads = 8;
constexpr int kNotificationTimeoutMs = 5000;

using Kind = ApplicationTestHooks::MessageKind;

void logLine(Log::Category category, Log::Level level, const QString &text)
{
    Log::write(category, level, text);
}

// The started application object whose shutdown has not run yet.
Application *s_running = nullptr;

} // namespace

Application::Application(QObject *parent)
    : QObject(parent)
{
}

Application::~Application()
{
    if (s_running == this)
        s_running = nullptr;
    m_trayIcon.reset();
    m_trayMenu.reset();
    m_popoverWindow.reset();
    m_tokenStore.reset();
    m_credentialStore.reset();
    m_platformIntegration.reset();
    m_singleInstanceGuard.reset();
}

UI::IdleDecisionDialog *Application::activeIdleDialog() const
{
    return m_activeIdleDialog;
}

bool Application::start()
{
    // First, so that a logout during start-up also ends in order.
    m_terminationSignals = std::make_unique<TerminationSignals>();
    connect(m_terminationSignals.get(), &TerminationSignals::received, this,
            &Application::onTerminationSignal);
    Log::install();
    logLine(Log::Category::Config, Log::Level::Info,
            QStringLiteral("Tembrix Clockwarden Linux %1 starting").arg(appVersion()));

    if (Platform::detectPlatform() == Platform::PlatformKind::Headless) {
        UI::ShellDesktop::showMessage(
                Kind::Critical,
                QStringLiteral("No display server detected (DISPLAY/XDG_SESSION_TYPE unset). "
                               "Tembrix Clockwarden requires an X11 graphical session to run."));
        return false;
    }

    m_singleInstanceGuard = std::make_unique<Platform::SingleInstanceGuard>();
    if (!m_singleInstanceGuard->tryAcquire()) {
        const QString lockError = m_singleInstanceGuard->lockError();
        if (lockError.isEmpty()) {
            logLine(Log::Category::Config, Log::Level::Info,
                    QStringLiteral("Another instance is running; exiting"));
        } else {
            logLine(Log::Category::Config, Log::Level::Error, lockError);
            std::fprintf(stderr, "%s\n", lockError.toLocal8Bit().constData());
        }
        return false;
    }

    startCredentialLookup();
    Platform::installDesktopEntry();

    m_platformIntegration = UI::ShellDesktop::createPlatformIntegration();
    if (!m_platformIntegration) {
        logLine(Log::Category::Config, Log::Level::Error,
                QStringLiteral("PlatformIntegration null"));
        return false;
    }

    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(std::max(pool->maxThreadCount(), kMinimumPoolThreads));

    wireServices();
    buildTrayIcon();

    connect(qApp, &QCoreApplication::aboutToQuit, this, &Application::shutdown);
    connect(m_singleInstanceGuard.get(), &Platform::SingleInstanceGuard::showRequested, this,
            &Application::onShowRequested);
    static const bool exitHandlerRegistered = std::atexit(&Application::shutdownAtProcessExit) == 0;
    Q_UNUSED(exitHandlerRegistered);
    s_running = this;
    return true;
}

int Application::exec()
{
    // A signal that came while start-up ran a message box's loop: quit as soon as the loop runs.
    if (m_quitRequested)
        QTimer::singleShot(0, this, [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}

void Application::onTerminationSignal(int signalNumber)
{
    logLine(Log::Category::Config, Log::Level::Info,
            QStringLiteral("Received %1; quitting")
                    .arg(TerminationSignals::signalName(signalNumber)));
    m_quitRequested = true;
    QCoreApplication::exit(0);
}

void Application::shutdownAtProcessExit()
{
    Application *application = std::exchange(s_running, nullptr);
    // Only while the Qt application object still stands: its threads and pool are needed.
    if (!application || !QCoreApplication::instance())
        return;
    logLine(Log::Category::Config, Log::Level::Warn,
            QStringLiteral("Process ending without quit (display connection lost?); closing the "
                           "session"));
    application->shutdown();
}

void Application::startCredentialLookup()
{
    m_credentialLookup = std::async(std::launch::async, [] {
        CredentialLookup lookup;
        lookup.store = std::make_unique<Platform::LibSecretCredentialStore>();
        lookup.signedIn = Storage::TokenStore(lookup.store.get()).load().has_value();
        return lookup;
    });
}

Application::CredentialLookup Application::takeCredentialLookup()
{
    if (!m_credentialLookup.valid())
        startCredentialLookup();
    return m_credentialLookup.get();
}

void Application::wireServices()
{
    // Nothing before the token store's hand-over below reads or writes credentials, so the
    // lookup started with start-up runs beside the store's opening and the engine's set-up.
    Storage::SQLiteStore *store = Storage::SQLiteStore::instance();
    store->setDomainKey(Networking::ApiEndpoint::domainKey());
    store->requeueInProgressUploads();

    Services::ApiTimezone::restoreFromCachedConfig();

    auto &engine = SessionManager::instance();
    engine.initialize(store, m_platformIntegration.get());
    engine.setIdleDecisionPresenter([this] { presentIdleDecision(); });

    auto &state = AppStateManager::instance();
    if (const auto cached = Services::RemoteConfigService::instance().loadCachedConfig()) {
        state.setRemoteConfig(*cached);
        engine.applyRemoteConfig(*cached);
    }
    if (state.forceClientUpdate())
        onForceClientUpdateChanged();

    CredentialLookup lookup = takeCredentialLookup();
    m_credentialStore = std::move(lookup.store);
    m_tokenStore = std::make_unique<Storage::TokenStore>(m_credentialStore.get());
    auto &auth = Services::AuthService::instance();
    auth.setTokenStore(m_tokenStore.get());
    Networking::APIClient::setTokenStore(m_tokenStore.get());
    Networking::APIClient::setTokenRefresher(&auth);
    state.setIsAuthenticated(lookup.signedIn);

    auto &permissions = Services::PermissionService::instance();
    Platform::IScreenCapturer *capturer = m_platformIntegration->screenCapturer();
    permissions.setScreenCapturer(capturer);
    if (capturer) {
        connect(capturer, &Platform::IScreenCapturer::availabilityChanged, &state,
                &AppStateManager::refreshPermissions);
        if (Platform::ISleepWatcher *sleep = m_platformIntegration->sleepWatcher())
            connect(sleep, &Platform::ISleepWatcher::awoke, capturer, [this] { onSystemAwoke(); });
    }

    Platform::IInputMonitor *input = m_platformIntegration->inputMonitor();
    permissions.setInputMonitor(input);
    if (input && !input->isAvailable()) {
        logLine(Log::Category::Config, Log::Level::Error,
                QStringLiteral("Activity tracking unavailable: no idle backend on this Wayland "
                               "session — tracking disabled"));
        Platform::DesktopNotifier::notify(
                QStringLiteral("Tembrix Clockwarden"),
                QStringLiteral("Activity tracking is unavailable on this Wayland session — it "
                               "exposes no idle monitor, so activity can't be measured. Tracking "
                               "is disabled. GNOME, KDE, or an Xorg (X11) session work."),
                kNotificationTimeoutMs);
    }

    state.refreshPermissions();

    connect(&Services::AuthNotifications::instance(),
            &Services::AuthNotifications::authSessionDidInvalidate, &state,
            &AppStateManager::onAuthSessionInvalidated);
    connect(&state, &AppStateManager::forceClientUpdateChanged, this,
            &Application::onForceClientUpdateChanged, Qt::QueuedConnection);

    Services::UploadService::instance().start(store);

    if (state.isAuthenticated()) {
        Services::RemoteConfigService::instance().startPeriodicRefresh(
                [this](const Models::RemoteConfig &config) { onRemoteConfigRefreshed(config); });
        // Without a usable cache Start stays off until a configuration arrives: fetch it now
        // rather than after the refresh's first wait.
        if (!state.remoteConfig())
            UI::ConfigFetch::instance().start();
    }
}

void Application::buildTrayIcon()
{
    m_trayIcon = std::make_unique<QSystemTrayIcon>(UI::Theme::appIcon());
    m_trayIcon->setToolTip(QStringLiteral("Tembrix Clockwarden"));

    m_trayMenu = std::make_unique<QMenu>();
    connect(m_trayMenu->addAction(QStringLiteral("Open App")), &QAction::triggered, this,
            &Application::onTrayOpenAppTriggered);
    m_checkForUpdatesAction = m_trayMenu->addAction(QStringLiteral("Check for Updates…"));
    connect(m_checkForUpdatesAction, &QAction::triggered, this,
            &Application::onTrayCheckForUpdatesTriggered);
    connect(m_trayMenu->addAction(QStringLiteral("Settings…")), &QAction::triggered, this,
            &Application::onTraySettingsTriggered);
    m_trayMenu->addSeparator();
    // exit() rather than quit(): quit() is refused while the popover is minimised.
    connect(m_trayMenu->addAction(QStringLiteral("Quit")), &QAction::triggered, this,
            [] { QCoreApplication::exit(0); });
    m_trayIcon->setContextMenu(m_trayMenu.get());

    m_popoverWindow = std::make_unique<UI::PopoverWindow>();
    if (m_forceUpdateRaisePending) {
        m_forceUpdateRaised = true;
        m_forceUpdateRaisePending = false;
        ++m_forceUpdateRaiseCount;
        raisePopover();
    }

    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    m_popoverWindow->showAndActivate();
            });

    const bool tray = UI::ShellDesktop::systemTrayAvailable();
    if (!tray) {
        UI::ShellDesktop::showMessage(
                Kind::Information,
                QStringLiteral("Install the AppIndicator extension to access the tray icon."));
    }

    m_popoverWindow->show();
    m_popoverWindow->raise();
    m_popoverWindow->activateWindow();
    // Registering the icon with the tray host waits on D-Bus answers: the window is mapped first.
    if (tray)
        m_trayIcon->show();
}

void Application::raisePopover()
{
    m_popoverWindow->showAndActivate();
}

void Application::onShowRequested()
{
    if (m_popoverWindow)
        raisePopover();
}

void Application::onTrayOpenAppTriggered()
{
    if (m_popoverWindow)
        raisePopover();
}

void Application::onSystemAwoke()
{
    if (m_platformIntegration && m_platformIntegration->screenCapturer())
        m_platformIntegration->screenCapturer()->onSystemResumed();
}

void Application::onRemoteConfigRefreshed(const Models::RemoteConfig &config)
{
    auto &state = AppStateManager::instance();
    // Nothing runs once the state holder or this object is gone.
    QMetaObject::invokeMethod(
            &state,
            [self = QPointer<Application>(this), config] {
                if (self)
                    self->applyRefreshedConfig(config);
            },
            Qt::QueuedConnection);
}

void Application::applyRefreshedConfig(const Models::RemoteConfig &config)
{
    auto &state = AppStateManager::instance();
    if (!state.isAuthenticated())
        return;
    state.setRemoteConfig(config);
    SessionManager::instance().applyRemoteConfig(config);
}

void Application::onTrayCheckForUpdatesTriggered()
{
    if (m_checkingForUpdates)
        return;
    auto &state = AppStateManager::instance();
    if (!state.isAuthenticated()) {
        state.checkForUpdates([this](const QString &text) { showCheckForUpdatesResult(text); });
        return;
    }
    // The fetch waits up to a request's timeout; the GUI keeps running meanwhile.
    m_checkingForUpdates = true;
    if (m_checkForUpdatesAction)
        m_checkForUpdatesAction->setEnabled(false);
    UI::runOnPool(
            this, [] { return Services::RemoteConfigService::instance().fetchConfig({}); },
            [this](const UI::PoolResult<Models::RemoteConfig> &result) {
                m_checkingForUpdates = false;
                if (m_checkForUpdatesAction)
                    m_checkForUpdatesAction->setEnabled(true);
                std::optional<Models::RemoteConfig> fetched;
                if (const auto *config = std::get_if<Models::RemoteConfig>(&result))
                    fetched = *config;
                auto &state = AppStateManager::instance();
                const QString text = state.finishUpdateCheck(fetched);
                if (state.isAuthenticated()) {
                    UI::UpdateCheckAnswer::instance()->announceCheck(fetched.has_value(),
                                                                     state.forceClientUpdate());
                }
                showCheckForUpdatesResult(text);
            });
}

void Application::onTraySettingsTriggered()
{
    AppStateManager::instance().openSettings();
}

void Application::showCheckForUpdatesResult(const QString &text)
{
    UI::ShellDesktop::showMessage(Kind::Information, text);
}

void Application::onForceClientUpdateChanged()
{
    const bool forced = AppStateManager::instance().forceClientUpdate();
    if (!forced) {
        m_forceUpdateRaised = false;
        m_forceUpdateRaisePending = false;
        return;
    }
    if (m_activeIdleDialog)
        m_activeIdleDialog->reject();
    if (m_forceUpdateRaised)
        return;
    if (m_popoverWindow) {
        m_forceUpdateRaised = true;
        ++m_forceUpdateRaiseCount;
        raisePopover();
    } else {
        m_forceUpdateRaisePending = true;
    }
}

void Application::presentIdleDecision()
{
    if (AppStateManager::instance().forceClientUpdate())
        return;
    auto dialog = std::make_unique<UI::IdleDecisionDialog>(m_popoverWindow.get());
    m_activeIdleDialog = dialog.get();
    const int result = dialog->exec();
    m_activeIdleDialog = nullptr;
    if (result == QDialog::Accepted) {
        if (dialog->choice() == UI::IdleDecisionDialog::Choice::Discard)
            SessionManager::instance().stopAfterIdle();
        else
            SessionManager::instance().continueAfterIdle();
    }
}

void Application::shutdown()
{
    if (std::exchange(m_shutDown, true))
        return;
    if (s_running == this)
        s_running = nullptr;
    SessionManager::instance().shutdown();
    Services::UploadService::instance().stop();
    Services::RemoteConfigService::instance().shutdownAndJoin();
    if (!QThreadPool::globalInstance()->waitForDone(kDrainTimeoutMs)) {
        logLine(Log::Category::Upload, Log::Level::Warn,
                QStringLiteral("Application::shutdown: thread pool busy after 5s; exiting "
                               "immediately without static destruction"));
        // Destructors would wait for the stuck task or pull objects from under it.
        ::_exit(kStuckExitStatus);
    }
    auto &permissions = Services::PermissionService::instance();
    permissions.setScreenCapturer(nullptr);
    permissions.setInputMonitor(nullptr);
}

} // namespace Core
