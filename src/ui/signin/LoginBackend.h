#pragma once

#include "models/AuthTokens.h"
#include "models/LoginCompany.h"
#include "models/PasswordResetCodeCheckResponse.h"
#include "models/RemoteConfig.h"
#include "models/SingleLoginResult.h"

#include <QString>

#include <functional>
#include <optional>

namespace UI {

// Every call the sign-in view makes outside itself, one entry per call, each defaulting to the
// real service. The server calls run on pool threads; the view copies an entry when a request
// starts, so a test that replaces entries between requests never races a running one. The
// completion calls (state holder, session engine) run on the GUI thread.
struct LoginBackend
{
    std::function<Models::SingleLoginResult(const QString &email, const QString &password)>
            singleLogin;
    std::function<Models::SingleLoginResult(const QString &email, const QString &code)>
            signInWithOtp;
    std::function<void(const QString &email)> generateOtp;
    std::function<Models::SingleLoginResult(const QString &email, const QString &code,
                                            const std::optional<QString> &pendingToken)>
            verifyTwoFactor;
    std::function<void(const QString &email)> requestPasswordRecovery;
    std::function<Models::PasswordResetCodeCheckResponse(const QString &code)> checkResetCode;
    std::function<Models::SingleLoginResult(const QString &code, const QString &newPassword,
                                            const QString &email)>
            resetPasswordAndSignIn;
    std::function<void(const Models::LoginCompany &company)> applyCompanyEndpoint;
    std::function<void(const Models::AuthTokens &tokens)> discardAbandonedSignIn;
    std::function<Models::RemoteConfig()> fetchConfigOrCached;
    std::function<void(std::function<void(const Models::RemoteConfig &)> callback)>
            startPeriodicRefresh;

    std::function<bool()> isAuthenticated;
    std::function<void(const Models::RemoteConfig &config)> setRemoteConfig;
    std::function<void(const std::optional<Models::RemoteConfig> &config)> applyRemoteConfig;
    std::function<void(bool authenticated)> setIsAuthenticated;
    std::function<void()> refreshPermissions;

    // The entries wired to the real services.
    static LoginBackend real();
};

namespace LoginBackendTestHooks {
// The table in use; starts as LoginBackend::real(). GUI thread only.
LoginBackend &current();
} // namespace LoginBackendTestHooks

} // namespace UI
