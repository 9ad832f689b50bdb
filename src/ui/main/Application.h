#pragma once

#include "models/RemoteConfig.h"

#include <QObject>
#include <QPointer>

#include <future>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace Platform {
class IPlatformIntegration;
class LibSecretCredentialStore;
class SingleInstanceGuard;
} // namespace Platform

namespace Storage {
class TokenStore;
} // namespace Storage

namespace UI {
class IdleDecisionDialog;
class PopoverWindow;
} // namespace UI

namespace Core {

class TerminationSignals;

// Owns the desktop-facing pieces of the process and wires every service together in one fixed
// order; ends them again on quit. GUI thread only, except onRemoteConfigRefreshed.
class Application final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Application)

public:
    explicit Application(QObject *parent = nullptr);
    ~Application() override;

    // False on one of the three refusals: no display, another instance, no platform integration.
    bool start();
    int exec();

    void wireServices();
    void buildTrayIcon();

    void onShowRequested();
    void onSystemAwoke();
    // Runs on the configuration refresh thread: posts a copy to the GUI thread.
    void onRemoteConfigRefreshed(const Models::RemoteConfig &config);
    void applyRefreshedConfig(const Models::RemoteConfig &config);

    void onTrayOpenAppTriggered();
    void onTrayCheckForUpdatesTriggered();
    void onTraySettingsTriggered();
    void showCheckForUpdatesResult(const QString &text);
    void onForceClientUpdateChanged();
    void presentIdleDecision();
    void shutdown();
    // SIGTERM, SIGINT, SIGHUP: the same quit as the tray's, logged with the signal's name.
    void onTerminationSignal(int signalNumber);

    UI::PopoverWindow *popoverWindow() const { return m_popoverWindow.get(); }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon.get(); }
    QMenu *trayMenu() const { return m_trayMenu.get(); }
    UI::IdleDecisionDialog *activeIdleDialog() const;
    bool isCheckingForUpdates() const { return m_checkingForUpdates; }
    // How often the popover was brought forward because an update became forced.
    int forceUpdateRaiseCount() const { return m_forceUpdateRaiseCount; }

private:
    // The secret service's connection and whether a sign-in is stored, read on a thread while
    // the rest of start-up runs: the service answers over D-Bus, in tens of milliseconds.
    struct CredentialLookup
    {
        std::unique_ptr<Platform::LibSecretCredentialStore> store;
        bool signedIn = false;
    };
    void startCredentialLookup();
    CredentialLookup takeCredentialLookup();
    void raisePopover();
    // Qt ends the process with exit() when the display connection breaks; the session is then
    // closed from the process's exit handlers as at quit.
    static void shutdownAtProcessExit();

    bool m_forceUpdateRaised = false;
    bool m_forceUpdateRaisePending = false;
    QPointer<UI::IdleDecisionDialog> m_activeIdleDialog;
    bool m_checkingForUpdates = false;
    int m_forceUpdateRaiseCount = 0;
    bool m_quitRequested = false;
    bool m_shutDown = false;
    std::unique_ptr<TerminationSignals> m_terminationSignals;
    QAction *m_checkForUpdatesAction = nullptr;
    std::unique_ptr<Platform::SingleInstanceGuard> m_singleInstanceGuard;
    std::unique_ptr<Platform::IPlatformIntegration> m_platformIntegration;
    std::unique_ptr<Platform::LibSecretCredentialStore> m_credentialStore;
    // Waited for by its destructor when start-up ends early.
    std::future<CredentialLookup> m_credentialLookup;
    std::unique_ptr<Storage::TokenStore> m_tokenStore;
    std::unique_ptr<UI::PopoverWindow> m_popoverWindow;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    // The tray icon does not own its context menu.
    std::unique_ptr<QMenu> m_trayMenu;
};

} // namespace Core
