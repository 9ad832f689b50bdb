#include "services/server/AuthService.h"

#include "models/ResetPasswordRequest.h"
#include "networking/APIClient.h"
#include "networking/ApiPaths.h"
#include "services/server/ApiAnswer.h"
#include "services/server/AuthInput.h"
#include "services/server/AuthServiceInternals.h"
#include "services/server/PasswordChangedButSignInFailed.h"
#include "storage/Log.h"
#include "storage/LogRedaction.h"

using namespace Qt::StringLiterals;
using namespace Services::AuthServiceInternals;

namespace Services {

void AuthService::requestPasswordRecovery(const QString &email)
{
    const QJsonObject body{ { u"email"_s, email }, { u"mobile"_s, 1 } };
    const Networking::APIResponse response = Networking::APIClient::instance().postJson(
            u"authentication/password/recovery"_s, body, false, false);
    if (response.error) {
        logAuth(Core::Log::Level::Error,
                u"Password recovery failed: %1"_s.arg(
                        Networking::redactForLog(response.error->message)));
        throw *response.error;
    }
    logAuth(Core::Log::Level::Info, u"Password recovery request succeeded"_s);
}

Models::PasswordResetCodeCheckResponse AuthService::checkResetCode(const QString &code)
{
    const QString digits = Core::AuthInput::extractCodeDigits(code);
    if (digits.size() < 6) {
        // Reads as the service's "no such code", which the screens already explain.
        throw Networking::APIError{ Networking::APIError::Kind::Server, 404,
                                    u"Not a 6-digit code; not sent"_s, std::nullopt, std::nullopt };
    }
    const Networking::APIResponse response = Networking::APIClient::instance().get(
            Networking::ApiPaths::passwordRecoveryCode(digits), false, false);
    if (response.error) {
        logAuth(Core::Log::Level::Warn,
                u"Reset-code check failed (HTTP %1)"_s.arg(httpStatusOf(*response.error)));
        throw *response.error;
    }
    return Models::PasswordResetCodeCheckResponse::fromJson(ApiAnswer::rootObject(response.body));
}

Models::SingleLoginResult AuthService::resetPasswordAndSignIn(const QString &code,
                                                              const QString &newPassword,
                                                              const QString &email)
{
    Models::ResetPasswordRequest request;
    request.token = Core::AuthInput::extractCodeDigits(code);
    request.password = newPassword;
    request.appCode = u"hr"_s;
    const Networking::APIResponse response = Networking::APIClient::instance().postJson(
            u"authentication/password/recovery/reset"_s, request.toJson(), false, false);
    if (response.error) {
        logAuth(Core::Log::Level::Warn,
                u"Password reset rejected (HTTP %1)"_s.arg(httpStatusOf(*response.error)));
        throw *response.error;
    }
    logAuth(Core::Log::Level::Info, u"Password changed; signing in with the new password"_s);

    try {
        return performSingleLogin(Models::LoginRequest(email, newPassword, 1, 1, std::nullopt));
    } catch (const Networking::APIError &error) {
        logAuth(Core::Log::Level::Warn,
                u"Password changed but sign-in failed (HTTP %1)"_s.arg(httpStatusOf(error)));
        throw PasswordChangedButSignInFailed();
    }
}

} // namespace Services
