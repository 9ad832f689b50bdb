#pragma once

#include "models/Project.h"
#include "models/RemoteConfig.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace Core {

// The application-wide state the screens share apart from tracking itself: signed in, permissions
// granted, the company configuration with its projects, the forced-update verdict and a one-shot
// request for a main-window tab (0 Tracker, 1 Summary, 2 Screenshots, 3 Settings). No signal
// carries data: receivers read the getters. One process-wide instance; GUI thread only, no lock.
class AppStateManager final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppStateManager)
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY isAuthenticatedChanged)
    Q_PROPERTY(bool hasRequiredPermissions READ hasRequiredPermissions NOTIFY
                       hasRequiredPermissionsChanged)
    Q_PROPERTY(bool forceClientUpdate READ forceClientUpdate NOTIFY forceClientUpdateChanged)

public:
    static AppStateManager &instance();

    bool isAuthenticated() const { return m_isAuthenticated; }
    bool hasRequiredPermissions() const { return m_hasRequiredPermissions; }
    bool forceClientUpdate() const { return m_forceClientUpdate; }
    std::optional<Models::RemoteConfig> remoteConfig() const { return m_remoteConfig; }
    QList<Models::Project> projects() const { return m_projects; }
    std::optional<QString> requiredVersion() const { return m_requiredVersion; }
    std::optional<QUrl> downloadUrl() const { return m_downloadUrl; }
    std::optional<int> pendingMainTab() const { return m_pendingMainTab; }

    void setIsAuthenticated(bool authenticated);
    void setHasRequiredPermissions(bool granted);
    // Copies the permission service's verdict.
    void refreshPermissions();
    // Emits remoteConfigChanged every time, also for an unchanged configuration.
    void setRemoteConfig(const Models::RemoteConfig &config);
    void evaluateForceUpdate(const std::optional<Models::RemoteConfig> &config);
    // Fetches on the calling thread (a nested event loop runs meanwhile); every failure of the
    // fetch reaches the caller and leaves the state as it was. The engine is not given the result.
    void refreshRemoteConfigNow();
    // The tray's update check; done receives the text to show and is skipped when empty.
    void checkForUpdates(const std::function<void(const QString &)> &done);
    // The GUI-thread half of a check whose fetch ran elsewhere (none when it failed): applies the
    // configuration while signed in and returns the text checkForUpdates would have given.
    QString finishUpdateCheck(const std::optional<Models::RemoteConfig> &fetched);
    // Emits pendingMainTabChanged every time.
    void setPendingMainTab(std::optional<int> tab);
    void openSettings();
    // The sign-out reset, then the periodic configuration refresh stops.
    void onAuthSessionInvalidated();
    // The sign-out reset alone.
    void resetForSignOut();

Q_SIGNALS:
    void isAuthenticatedChanged();
    void hasRequiredPermissionsChanged();
    void forceClientUpdateChanged();
    void remoteConfigChanged();
    void pendingMainTabChanged();

private:
    AppStateManager() = default;

    bool m_isAuthenticated = false;
    bool m_hasRequiredPermissions = false;
    std::optional<Models::RemoteConfig> m_remoteConfig;
    QList<Models::Project> m_projects;
    bool m_forceClientUpdate = false;
    std::optional<QString> m_requiredVersion;
    std::optional<QUrl> m_downloadUrl;
    std::optional<int> m_pendingMainTab;
};

} // namespace Core
