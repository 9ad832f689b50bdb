// The sign-in view's password recovery steps: send code, resend, check code, reset and sign in.
#include "ui/signin/LoginView.h"

#include "networking/APIError.h"
#include "services/server/PasswordChangedButSignInFailed.h"
#include "ui/signin/AuthFailures.h"
#include "ui/signin/ForgotPasswordView.h"
#include "ui/signin/LoginBackend.h"
#include "ui/signin/ResetPasswordView.h"

#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;
using Networking::APIError;

namespace UI {

namespace {

using CheckOutcome = std::variant<Models::PasswordResetCodeCheckResponse, QString>;
using ResetFailure = Core::AuthFailures::Failure<Core::AuthFailures::ResetSubmitKind>;
using ResetOutcome = std::variant<Models::SingleLoginResult, ResetFailure>;

// Empty when the code was sent, else the failure text.
std::function<std::optional<QString>()> sendCodeWork(const QString &email)
{
    auto requestPasswordRecovery = LoginBackendTestHooks::current().requestPasswordRecovery;
    return [requestPasswordRecovery, email]() -> std::optional<QString> {
        try {
            requestPasswordRecovery(email);
            return std::nullopt;
        } catch (const APIError &error) {
            return Core::AuthFailures::forSendCode(error).message;
        }
    };
}

} // namespace

void LoginView::onForgotSendCode(const QString &email)
{
    forgotView()->setBusy(true);
    runForThisVisit<std::optional<QString>>(
            sendCodeWork(email), [this, email](const std::optional<QString> &failure) {
                forgotView()->setBusy(false);
                if (failure.has_value()) {
                    forgotView()->showStatus(*failure);
                    return;
                }
                enterPhase(Core::LoginFlow::resetPasswordStep(email, true));
            });
}

void LoginView::onResetResend()
{
    runForThisVisit<std::optional<QString>>(
            sendCodeWork(currentEmail()), [this](const std::optional<QString> &failure) {
                if (failure.has_value())
                    resetView()->showError(*failure);
                else
                    resetView()->showStatus(
                            u"We sent a new code. The previous one no longer works."_s);
            });
}

void LoginView::onResetCheckCode(const QString &code)
{
    const QString email = currentEmail();
    resetView()->setBusy(true);
    auto checkResetCode = LoginBackendTestHooks::current().checkResetCode;
    runForThisVisit<CheckOutcome>(
            [checkResetCode, code]() -> CheckOutcome {
                try {
                    return checkResetCode(code);
                } catch (const APIError &error) {
                    return Core::AuthFailures::forCodeCheck(error).message;
                }
            },
            [this, email](const CheckOutcome &outcome) {
                resetView()->setBusy(false);
                if (const auto *failure = std::get_if<QString>(&outcome)) {
                    resetView()->setVerifiedEmail(std::nullopt);
                    resetView()->showError(*failure);
                    return;
                }
                const auto &answer = std::get<Models::PasswordResetCodeCheckResponse>(outcome);
                if (answer.valid.value_or(false)) {
                    resetView()->setVerifiedEmail(Core::LoginFlow::nonEmptyOr(answer.email, email));
                    return;
                }
                resetView()->setVerifiedEmail(std::nullopt);
                resetView()->showError(Core::AuthFailures::codeExpiredText());
            });
}

void LoginView::onResetSubmit(const QString &code, const QString &newPassword, const QString &email)
{
    resetView()->setBusy(true);
    auto resetPasswordAndSignIn = LoginBackendTestHooks::current().resetPasswordAndSignIn;
    runForThisVisit<ResetOutcome>(
            [resetPasswordAndSignIn, code, newPassword, email]() -> ResetOutcome {
                try {
                    return resetPasswordAndSignIn(code, newPassword, email);
                } catch (const APIError &error) {
                    return Core::AuthFailures::forResetSubmit(error);
                } catch (const Services::PasswordChangedButSignInFailed &) {
                    return ResetFailure{
                        Core::AuthFailures::ResetSubmitKind::PasswordChangedSignInFailed,
                        Core::AuthFailures::passwordChangedText()
                    };
                }
            },
            [this, email](const ResetOutcome &outcome) {
                resetView()->setBusy(false);
                if (const auto *result = std::get_if<Models::SingleLoginResult>(&outcome)) {
                    handleSingleLoginResult(*result, email);
                    return;
                }
                const auto &failure = std::get<ResetFailure>(outcome);
                switch (Core::LoginFlow::resetFailureTarget(failure.kind)) {
                case Core::LoginFlow::ResetFailureTarget::CodeStage:
                    resetView()->setVerifiedEmail(std::nullopt);
                    resetView()->showError(failure.message);
                    break;
                case Core::LoginFlow::ResetFailureTarget::SignInForm:
                    m_emailField->setText(email);
                    m_passwordField->clear();
                    goToPhase(Core::LoginPhase::Login);
                    // After the page change: the field edits above hide the label.
                    showFormError(failure.message);
                    break;
                case Core::LoginFlow::ResetFailureTarget::ResetPage:
                    resetView()->showError(failure.message);
                    break;
                }
            },
            {},
            [this, email](const ResetOutcome &outcome) {
                const auto *failure = std::get_if<ResetFailure>(&outcome);
                if (failure != nullptr
                    && failure->kind
                               != Core::AuthFailures::ResetSubmitKind::PasswordChangedSignInFailed)
                    return;
                prepareFormAfterPasswordChange(email);
            });
}

void LoginView::prepareFormAfterPasswordChange(const QString &email)
{
    m_emailField->setText(email);
    m_passwordField->clear();
    showFormError(Core::AuthFailures::passwordChangedText());
}

} // namespace UI
