#include "core/AppStateManager.h"

#include "core/AppVersion.h"
#include "services/server/RemoteConfigService.h"
#include "services/tracking/PermissionService.h"

namespace Core {

namespace {

std::optional<QUrl> validDownloadUrl(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    const QUrl url(*text, QUrl::TolerantMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return url;
}

} // namespace

AppStateManager &AppStateManager::instance()
{
    static AppStateManager manager;
    return manager;
}

void AppStateManager::setIsAuthenticated(bool authenticated)
{
    if (m_isAuthenticated == authenticated)
        return;
    m_isAuthenticated = authenticated;
    Q_EMIT isAuthenticatedChanged();
}

void AppStateManager::setHasRequiredPermissions(bool granted)
{
    if (m_hasRequiredPermissions == granted)
        return;
    m_hasRequiredPermissions = granted;
    Q_EMIT hasRequiredPermissionsChanged();
}

void AppStateManager::refreshPermissions()
{
    setHasRequiredPermissions(Services::PermissionService::instance().hasAllPermissions());
}

void AppStateManager::setRemoteConfig(const Models::RemoteConfig &config)
{
    m_remoteConfig = config;
    m_projects = config.projects;
    evaluateForceUpdate(config);
    Q_EMIT remoteConfigChanged();
}

void AppStateManager::evaluateForceUpdate(const std::optional<Models::RemoteConfig> &config)
{
    const QString latest = config && config->latestClientVersionLinux
                                   ? config->latestClientVersionLinux->trimmed()
                                   : QString();
    if (latest.isEmpty()) {
        if (m_forceClientUpdate || m_requiredVersion) {
            m_forceClientUpdate = false;
            m_requiredVersion.reset();
            m_downloadUrl.reset();
            Q_EMIT forceClientUpdateChanged();
        } else if (m_downloadUrl) {
            m_downloadUrl.reset();
            Q_EMIT forceClientUpdateChanged();
        }
        return;
    }

    const bool forced = isVersionLower(appVersion(), latest);
    const std::optional<QUrl> url = validDownloadUrl(config->clientDownloadUrlLinux);
    // A stored version that is absent never equals, so the first verdict always announces itself.
    const bool changed = forced != m_forceClientUpdate || !m_requiredVersion
                         || *m_requiredVersion != latest || url != m_downloadUrl;
    m_forceClientUpdate = forced;
    m_requiredVersion = latest;
    m_downloadUrl = url;
    if (changed)
        Q_EMIT forceClientUpdateChanged();
}

void AppStateManager::refreshRemoteConfigNow()
{
    const Models::RemoteConfig config = Services::RemoteConfigService::instance().fetchConfig({});
    setRemoteConfig(config);
}

void AppStateManager::checkForUpdates(const std::function<void(const QString &)> &done)
{
    std::optional<Models::RemoteConfig> fetched;
    if (m_isAuthenticated) {
        try {
            fetched = Services::RemoteConfigService::instance().fetchConfig({});
        } catch (...) {
        }
    }
    const QString text = finishUpdateCheck(fetched);
    if (done)
        done(text);
}

QString AppStateManager::finishUpdateCheck(const std::optional<Models::RemoteConfig> &fetched)
{
    // Also after a sign-out during the fetch: its answer belongs to nobody.
    if (!m_isAuthenticated)
        return QStringLiteral("Sign in to check for updates.");
    if (!fetched)
        return QStringLiteral("Failed to check for updates.");
    setRemoteConfig(*fetched);
    return m_forceClientUpdate ? QStringLiteral("A newer version is available.")
                               : QStringLiteral("You’re up to date.");
}

void AppStateManager::setPendingMainTab(std::optional<int> tab)
{
    m_pendingMainTab = tab;
    Q_EMIT pendingMainTabChanged();
}

void AppStateManager::openSettings()
{
    setPendingMainTab(3);
}

void AppStateManager::onAuthSessionInvalidated()
{
    resetForSignOut();
    Services::RemoteConfigService::instance().stopPeriodicRefresh();
}

void AppStateManager::resetForSignOut()
{
    setIsAuthenticated(false);
    m_remoteConfig.reset();
    m_projects.clear();
    m_forceClientUpdate = false;
    m_requiredVersion.reset();
    m_downloadUrl.reset();
    Q_EMIT remoteConfigChanged();
    Q_EMIT forceClientUpdateChanged();
}

} // namespace Core
