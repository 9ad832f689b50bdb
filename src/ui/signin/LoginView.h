#pragma once

#include "models/LoginCompany.h"
#include "models/RemoteConfig.h"
#include "models/SingleLoginResult.h"
#include "ui/signin/LoginFlow.h"
#include "ui/signin/LoginPhase.h"
#include "ui/widgets/PoolDelivery.h"

#include <QDebug>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <type_traits>
#include <variant>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QAction;

namespace UI {

namespace LoginViewDetail {
// The results whose first alternative is a sign-in answer, which may carry stored tokens.
template<typename R>
struct HoldsSignIn : std::false_type
{
};
template<typename... Others>
struct HoldsSignIn<std::variant<Models::SingleLoginResult, Others...>> : std::true_type
{
};
} // namespace LoginViewDetail

class CompanySelectionView;
class ForgotPasswordView;
class OTPVerificationView;
class ResetPasswordView;
class TwoFactorVerificationView;

// The sign-in screen: the e-mail and password form and the five pages of the other sign-in steps,
// one page per phase. Server calls run on the global thread pool and come back through watchers
// owned by the view, so none of them blocks the GUI thread and none is delivered once the view is
// gone. A request belongs to the visit (page entry) it started in; a later result is dropped,
// and a dropped sign-in that already stored tokens is undone. The form is built with the view;
// each other page when it is first entered or needed, so the window opens without them.
// GUI thread only.
class LoginView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoginView)

public:
    explicit LoginView(QWidget *parent = nullptr);
    ~LoginView() override;

    // Back to an empty form after a sign-out; the e-mail field keeps its text.
    void reset();
    void enterPhase(const Core::LoginFlow::Step &step);
    void goToPhase(Core::LoginPhase phase);
    void setBusy(bool busy);
    void showUnexpectedFailure();

    bool isBusy() const { return m_busy; }
    Core::LoginPhase phase() const;
    // The page of a phase (the form root for Login), built now if it was not yet.
    QWidget *page(Core::LoginPhase phase);
    int visitCounter() const { return m_visitCounter; }

    // Runs on the configuration refresh thread: posts a copy to the state holder's thread.
    static void onRemoteConfigRefreshed(const Models::RemoteConfig &config);
    // On the GUI thread: applies the configuration only while somebody is signed in.
    static void applyRefreshedConfig(const Models::RemoteConfig &config);

Q_SIGNALS:
    void loginCompleted();
    void phaseChanged(Core::LoginPhase phase);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void onLoginClicked();
    void onEmailTextChanged();
    void onPasswordTextChanged();

private:
    void buildForm();
    // The pages of the other phases, each built with its callbacks on first call.
    OTPVerificationView *otpView();
    CompanySelectionView *companyView();
    ForgotPasswordView *forgotView();
    TwoFactorVerificationView *twoFactorView();
    ResetPasswordView *resetView();
    void addPage(QWidget *page, const QString &objectName);
    void togglePasswordVisibility();
    void onForgotLinkClicked();
    void onSignInSettled();

    QString currentEmail() const;
    QString trimmedEmail() const;
    bool isEmailValid() const;
    bool isPasswordLongEnough() const;
    QString submitValidationError() const;
    QString inlineValidationError() const;
    void updateSubmitEnabled();
    void showFormError(const QString &text);

    // Sign-in steps.
    void onOtpVerify(const QString &code);
    void onOtpResend();
    void onTwoFactorVerify(const QString &code);
    void handleSingleLoginResult(const Models::SingleLoginResult &result, const QString &email);
    void discardWalkedAwaySignIn(const Models::SingleLoginResult &result);

    // Password recovery steps.
    void onForgotSendCode(const QString &email);
    void onResetResend();
    void onResetCheckCode(const QString &code);
    void onResetSubmit(const QString &code, const QString &newPassword, const QString &email);
    void prepareFormAfterPasswordChange(const QString &email);

    // Company choice and completion.
    void onCompanySelected(const Models::LoginCompany &company);
    void handleDirectConfig(const Models::SingleLoginDirectConfig &answer);
    void fetchConfigAndComplete();

    // Runs work on the pool; whatever it throws becomes a logged warning and no result.
    template<typename R, typename Work>
    static std::optional<R> runGuarded(const Work &work, const char *runnerWords)
    {
        try {
            return std::optional<R>(work());
        } catch (const std::exception &error) {
            qWarning().noquote() << "Unexpected failure in" << runnerWords << "-"
                                 << QString::fromUtf8(error.what());
        } catch (...) {
            qWarning().noquote() << "Unexpected failure in" << runnerWords
                                 << "(non-standard exception)";
        }
        return std::nullopt;
    }

    // Runs work on the pool through the views' shared delivery: the result never reaches a view
    // that is gone.
    template<typename R, typename Work, typename Delivered>
    void startOnPool(Work work, const char *runnerWords, Delivered delivered)
    {
        deliverFromPool(
                this,
                [work = std::move(work), runnerWords] { return runGuarded<R>(work, runnerWords); },
                std::move(delivered));
    }

    // Delivers the result only while the visit it started in lasts.
    template<typename R, typename Work, typename Done>
    void runForThisVisit(Work work, Done done, std::function<void()> onSettled = {},
                         std::function<void(const R &)> onStale = {})
    {
        const int visit = m_visitCounter;
        startOnPool<R>(std::move(work), "a login-screen request",
                       [this, visit, done = std::move(done), onSettled = std::move(onSettled),
                        onStale = std::move(onStale)](const std::optional<R> &result) {
                           if (onSettled)
                               onSettled();
                           if (!result.has_value()) {
                               if (m_visitCounter == visit)
                                   showUnexpectedFailure();
                               return;
                           }
                           if (m_visitCounter == visit) {
                               done(*result);
                               return;
                           }
                           if constexpr (LoginViewDetail::HoldsSignIn<R>::value) {
                               if (const auto *signIn = std::get_if<0>(&*result))
                                   discardWalkedAwaySignIn(*signIn);
                           }
                           if (onStale)
                               onStale(*result);
                       });
    }

    // Always delivers: a sign-in the server accepted is completed once.
    template<typename R, typename Work, typename Done>
    void runToCompletion(Work work, Done done)
    {
        startOnPool<R>(std::move(work), "finishing a sign-in",
                       [this, done = std::move(done)](const std::optional<R> &result) {
                           if (!result.has_value()) {
                               setBusy(false);
                               showUnexpectedFailure();
                               return;
                           }
                           done(*result);
                       });
    }

    QStackedWidget *m_phaseHost = nullptr;
    QWidget *m_formRoot = nullptr;
    QLineEdit *m_emailField = nullptr;
    QLineEdit *m_passwordField = nullptr;
    QAction *m_passwordAction = nullptr;
    QPushButton *m_submitButton = nullptr;
    QPushButton *m_forgotLink = nullptr;
    QLabel *m_errorLabel = nullptr;
    bool m_signInInFlight = false;
    bool m_busy = false;
    OTPVerificationView *m_otpView = nullptr;
    CompanySelectionView *m_companyView = nullptr;
    ForgotPasswordView *m_forgotView = nullptr;
    TwoFactorVerificationView *m_twoFactorView = nullptr;
    ResetPasswordView *m_resetView = nullptr;
    QString m_submittedEmail;
    QString m_userName;
    std::optional<Core::LoginFlow::Step> m_phaseContext;
    int m_visitCounter = 0;

    // One e-mail and password sign-in at a time in the whole process.
    static bool s_globalSignInInFlight;
};

} // namespace UI
