#include "ui/signin/LoginBackend.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "services/server/AuthService.h"
#include "services/server/RemoteConfigService.h"

namespace UI {

LoginBackend LoginBackend::real()
{
    using Services::AuthService;
    using Services::RemoteConfigService;
    LoginBackend backend;
    backend.singleLogin = [](const QString &email, const QString &password) {
        return AuthService::instance().singleLogin(email, password);
    };
    backend.signInWithOtp = [](const QString &email, const QString &code) {
        return AuthService::instance().signInWithOtp(email, code);
    };
    backend.generateOtp = [](const QString &email) { AuthService::instance().generateOtp(email); };
    backend.verifyTwoFactor = [](const QString &email, const QString &code,
                                 const std::optional<QString> &pendingToken) {
        return AuthService::instance().verifyTwoFactor(email, code, pendingToken);
    };
    backend.requestPasswordRecovery
            = [](const QString &email) { AuthService::instance().requestPasswordRecovery(email); };
    backend.checkResetCode
            = [](const QString &code) { return AuthService::instance().checkResetCode(code); };
    backend.resetPasswordAndSignIn
            = [](const QString &code, const QString &newPassword, const QString &email) {
                  return AuthService::instance().resetPasswordAndSignIn(code, newPassword, email);
              };
    backend.applyCompanyEndpoint = [](const Models::LoginCompany &company) {
        AuthService::instance().applyCompanyEndpoint(company);
    };
    backend.discardAbandonedSignIn = [](const Models::AuthTokens &tokens) {
        AuthService::instance().discardAbandonedSignIn(tokens);
    };
    backend.fetchConfigOrCached
            = [] { return RemoteConfigService::instance().fetchConfigOrCached(); };
    backend.startPeriodicRefresh = [](std::function<void(const Models::RemoteConfig &)> callback) {
        RemoteConfigService::instance().startPeriodicRefresh(std::move(callback));
    };
    backend.isAuthenticated = [] { return Core::AppStateManager::instance().isAuthenticated(); };
    backend.setRemoteConfig = [](const Models::RemoteConfig &config) {
        Core::AppStateManager::instance().setRemoteConfig(config);
    };
    backend.applyRemoteConfig = [](const std::optional<Models::RemoteConfig> &config) {
        Core::SessionManager::instance().applyRemoteConfig(config);
    };
    backend.setIsAuthenticated = [](bool authenticated) {
        Core::AppStateManager::instance().setIsAuthenticated(authenticated);
    };
    backend.refreshPermissions = [] { Core::AppStateManager::instance().refreshPermissions(); };
    return backend;
}

namespace LoginBackendTestHooks {

LoginBackend &current()
{
    static LoginBackend backend = LoginBackend::real();
    return backend;
}

} // namespace LoginBackendTestHooks

} // namespace UI
