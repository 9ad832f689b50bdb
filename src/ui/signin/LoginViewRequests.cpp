// The sign-in view's server steps: e-mail and password, e-mail code, two-factor code.
#include "ui/signin/LoginView.h"

#include "networking/APIError.h"
#include "ui/signin/AuthFailures.h"
#include "ui/signin/LoginBackend.h"
#include "ui/signin/OTPVerificationView.h"
#include "ui/signin/TwoFactorVerificationView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using Networking::APIError;

namespace UI {

namespace {

struct OtpFailure
{
    QString message;
    // The server refused the code itself: the digits are cleared.
    bool codeRejected = false;
};

using SignInOutcome = std::variant<Models::SingleLoginResult, QString>;
using OtpOutcome = std::variant<Models::SingleLoginResult, OtpFailure>;
using TwoFactorOutcome
        = std::variant<Models::SingleLoginResult,
                       Core::AuthFailures::Failure<Core::AuthFailures::TwoFactorKind>>;

QString signInFailureText(const APIError &error)
{
    const QString detail = error.message.trimmed();
    switch (error.kind) {
    case APIError::Kind::InvalidUrl:
        return u"Invalid server address."_s;
    case APIError::Kind::Unauthorized:
        return u"Incorrect email or password."_s;
    case APIError::Kind::Server:
        return u"The server rejected the request (HTTP %1).%2"_s.arg(
                QString::number(error.httpStatus.value_or(0)),
                detail.isEmpty() ? QString() : u"\n%1"_s.arg(detail));
    case APIError::Kind::Decoding:
        return u"Unrecognized server response.%1"_s.arg(detail.isEmpty() ? QString()
                                                                         : u"\n(%1)"_s.arg(detail));
    case APIError::Kind::Network:
        return u"Can't reach the server. Check your internet connection.%1"_s.arg(
                detail.isEmpty() ? QString() : u"\n(%1)"_s.arg(detail));
    case APIError::Kind::RefreshDeferred:
        return u"Session is refreshing. Please try again."_s;
    case APIError::Kind::InsecureEndpoint:
        return Core::AuthFailures::insecureEndpointText;
    }
    return u"Unrecognized server response."_s;
}

OtpFailure otpFailureOf(const APIError &error)
{
    if (error.kind == APIError::Kind::InsecureEndpoint)
        return { Core::AuthFailures::insecureEndpointText, false };
    const int status = error.httpStatus.value_or(0);
    if (error.kind == APIError::Kind::Unauthorized
        || (status >= 400 && status <= 499 && status != 429))
        return { u"Verification failed. Check the code and try again."_s, true };
    if (error.kind == APIError::Kind::Network)
        return { u"Can't reach the server. Check your connection and try again."_s, false };
    return { u"Verification could not be completed. Please try again."_s, false };
}

} // namespace

void LoginView::onLoginClicked()
{
    if (s_globalSignInInFlight)
        return;
    s_globalSignInInFlight = true;
    m_errorLabel->hide();
    m_signInInFlight = true;
    m_submitButton->setEnabled(false);

    const QString refusal = submitValidationError();
    if (!refusal.isEmpty()) {
        showFormError(refusal);
        m_signInInFlight = false;
        s_globalSignInInFlight = false;
        m_submitButton->setEnabled(true);
        return;
    }

    const QString email = trimmedEmail();
    const QString password = m_passwordField->text();
    m_submittedEmail = email;
    m_forgotLink->setEnabled(false);

    auto singleLogin = LoginBackendTestHooks::current().singleLogin;
    runForThisVisit<SignInOutcome>(
            [singleLogin, email, password]() -> SignInOutcome {
                try {
                    return singleLogin(email, password);
                } catch (const APIError &error) {
                    return signInFailureText(error);
                }
            },
            [this, email](const SignInOutcome &outcome) {
                if (const auto *text = std::get_if<QString>(&outcome))
                    showFormError(*text);
                else
                    handleSingleLoginResult(std::get<Models::SingleLoginResult>(outcome), email);
            },
            [this] { onSignInSettled(); });
}

void LoginView::onOtpVerify(const QString &code)
{
    const QString email = currentEmail();
    auto signInWithOtp = LoginBackendTestHooks::current().signInWithOtp;
    runForThisVisit<OtpOutcome>(
            [signInWithOtp, email, code]() -> OtpOutcome {
                try {
                    return signInWithOtp(email, code);
                } catch (const APIError &error) {
                    return otpFailureOf(error);
                }
            },
            [this, email](const OtpOutcome &outcome) {
                otpView()->setBusy(false);
                if (const auto *failure = std::get_if<OtpFailure>(&outcome)) {
                    if (failure->codeRejected)
                        otpView()->showErrorAndClear(failure->message);
                    else
                        otpView()->showError(failure->message);
                    return;
                }
                const auto &result = std::get<Models::SingleLoginResult>(outcome);
                if (std::holds_alternative<Models::SingleLoginOtpRequired>(result))
                    otpView()->showErrorAndClear(u"Invalid OTP code. Please try again."_s);
                else
                    handleSingleLoginResult(result, email);
            });
}

void LoginView::onOtpResend()
{
    const QString email = currentEmail();
    auto generateOtp = LoginBackendTestHooks::current().generateOtp;
    runForThisVisit<std::optional<QString>>(
            [generateOtp, email]() -> std::optional<QString> {
                try {
                    generateOtp(email);
                    return std::nullopt;
                } catch (const APIError &) {
                    return u"Failed to resend the code."_s;
                }
            },
            [this](const std::optional<QString> &failure) {
                if (failure.has_value())
                    otpView()->showError(*failure);
            });
}

void LoginView::onTwoFactorVerify(const QString &code)
{
    const QString email = currentEmail();
    const std::optional<QString> pendingToken = Core::LoginFlow::pendingTokenOf(m_phaseContext);
    auto verifyTwoFactor = LoginBackendTestHooks::current().verifyTwoFactor;
    runForThisVisit<TwoFactorOutcome>(
            [verifyTwoFactor, email, code, pendingToken]() -> TwoFactorOutcome {
                try {
                    return verifyTwoFactor(email, code, pendingToken);
                } catch (const APIError &error) {
                    return Core::AuthFailures::forTwoFactor(error);
                }
            },
            [this, email](const TwoFactorOutcome &outcome) {
                twoFactorView()->setBusy(false);
                using Failure = Core::AuthFailures::Failure<Core::AuthFailures::TwoFactorKind>;
                if (const auto *failure = std::get_if<Failure>(&outcome)) {
                    if (failure->kind == Core::AuthFailures::TwoFactorKind::InvalidCode)
                        twoFactorView()->showErrorAndClear(failure->message);
                    else
                        twoFactorView()->showError(failure->message);
                    return;
                }
                const auto &result = std::get<Models::SingleLoginResult>(outcome);
                if (const auto *again = std::get_if<Models::SingleLoginTwoFactorRequired>(&result))
                    twoFactorView()->showErrorAndClear(
                            Core::AuthFailures::twoFactorRejectedText(again->message));
                else
                    handleSingleLoginResult(result, email);
            });
}

void LoginView::handleSingleLoginResult(const Models::SingleLoginResult &result,
                                        const QString &email)
{
    if (const std::optional<Core::LoginFlow::Step> step
        = Core::LoginFlow::nextStep(result, email)) {
        enterPhase(*step);
        return;
    }
    if (const auto *direct = std::get_if<Models::SingleLoginDirectConfig>(&result))
        handleDirectConfig(*direct);
}

void LoginView::discardWalkedAwaySignIn(const Models::SingleLoginResult &result)
{
    std::optional<Models::AuthTokens> tokens;
    if (const auto *company = std::get_if<Models::SingleLoginCompanySelection>(&result))
        tokens = company->tokens;
    else if (const auto *direct = std::get_if<Models::SingleLoginDirectConfig>(&result))
        tokens = direct->tokens;
    if (tokens.has_value())
        LoginBackendTestHooks::current().discardAbandonedSignIn(*tokens);
}

} // namespace UI
