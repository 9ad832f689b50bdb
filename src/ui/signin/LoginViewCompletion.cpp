// The sign-in view's company choice, the completion of a sign-in and the refreshed
// configurations that follow it.
#include "ui/signin/LoginView.h"

#include "core/AppStateManager.h"
#include "networking/ApiEndpoint.h"
#include "storage/Preferences.h"
#include "ui/signin/LoginBackend.h"

#include <QMetaObject>

using namespace Qt::StringLiterals;

namespace UI {

namespace {

using ConfigOutcome = std::variant<Models::RemoteConfig, QString>;

} // namespace

void LoginView::onCompanySelected(const Models::LoginCompany &company)
{
    Storage::saveUserProfile(m_userName, company.name);
    setBusy(true);
    auto applyCompanyEndpoint = LoginBackendTestHooks::current().applyCompanyEndpoint;
    runToCompletion<bool>(
            [applyCompanyEndpoint, company] {
                applyCompanyEndpoint(company);
                return true;
            },
            [this](bool) { fetchConfigAndComplete(); });
}

void LoginView::handleDirectConfig(const Models::SingleLoginDirectConfig &answer)
{
    setBusy(true);
    if (answer.user.has_value()) {
        const QString userName = answer.user->name.value_or(answer.user->email);
        Storage::saveUserProfile(userName, Networking::ApiEndpoint::overrideHost());
    }
    fetchConfigAndComplete();
}

void LoginView::fetchConfigAndComplete()
{
    auto fetchConfigOrCached = LoginBackendTestHooks::current().fetchConfigOrCached;
    runToCompletion<ConfigOutcome>(
            [fetchConfigOrCached]() -> ConfigOutcome {
                try {
                    return fetchConfigOrCached();
                } catch (...) {
                    return u"no configuration"_s;
                }
            },
            [this](const ConfigOutcome &outcome) {
                const LoginBackend &backend = LoginBackendTestHooks::current();
                if (const auto *config = std::get_if<Models::RemoteConfig>(&outcome)) {
                    backend.setRemoteConfig(*config);
                    backend.applyRemoteConfig(*config);
                } else {
                    qWarning("LoginView: config fetch failed after sign-in; continuing on "
                             "defaults");
                }
                backend.setIsAuthenticated(true);
                backend.refreshPermissions();
                backend.startPeriodicRefresh(&LoginView::onRemoteConfigRefreshed);
                setBusy(false);
                Q_EMIT loginCompleted();
            });
}

void LoginView::onRemoteConfigRefreshed(const Models::RemoteConfig &config)
{
    QMetaObject::invokeMethod(
            &Core::AppStateManager::instance(), [config] { applyRefreshedConfig(config); },
            Qt::QueuedConnection);
}

void LoginView::applyRefreshedConfig(const Models::RemoteConfig &config)
{
    const LoginBackend &backend = LoginBackendTestHooks::current();
    if (!backend.isAuthenticated())
        return;
    backend.setRemoteConfig(config);
    backend.applyRemoteConfig(config);
}

} // namespace UI
