#include "SignInPages.h"

#include "ui/signin/CompanySelectionView.h"
#include "ui/signin/ForgotPasswordView.h"
#include "ui/signin/LoginFlow.h"
#include "ui/signin/LoginView.h"
#include "ui/signin/OTPVerificationView.h"
#include "ui/signin/ResetPasswordView.h"
#include "ui/signin/TwoFactorVerificationView.h"

#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

const QStringList signInPalettes = { u"pink"_s, u"black"_s, u"teal"_s };
const QString sampleEmail = u"dana.reyes@harborlight.example"_s;

void typeInto(QWidget *page, const QString &name, const QString &text)
{
    if (auto *field = page->findChild<QLineEdit *>(name))
        field->setText(text);
}

QWidget *companyPage(bool withError)
{
    const QList<Models::LoginCompany> companies = {
        { u"Harbor Light Logistics"_s, u"https://harborlight.example.com"_s },
        { u"Greenfield Engineering and Environmental Research Laboratories (North)"_s,
          u"https://greenfield.example.com"_s },
        { u"Oakline Studio"_s, u"https://oakline.example.com"_s },
    };
    Core::LoginFlow::saveLastSelectedCompanyEndpoint(u"https://oakline.example.com"_s);
    auto *page = new UI::CompanySelectionView;
    page->setCompanies(companies, u"Dana"_s);
    if (withError)
        page->showError(u"Something went wrong. Please try again."_s);
    return page;
}

Core::LoginFlow::Step stepOf(Core::LoginPhase phase)
{
    Core::LoginFlow::Step step;
    step.phase = phase;
    step.email = sampleEmail;
    return step;
}

QWidget *signInView(const std::function<void(UI::LoginView *)> &prepare)
{
    auto *view = new UI::LoginView;
    typeInto(view, u"Login_EmailField"_s, sampleEmail);
    prepare(view);
    return view;
}

} // namespace

QList<GalleryPage> signInViewGalleryPages()
{
    using Core::LoginPhase;
    using UI::LoginView;
    QList<GalleryPage> pages = {
        { u"signin-form"_s, signInPalettes, [] { return signInView([](LoginView *) {}); } },
        { u"signin-form-error"_s, signInPalettes,
          [] {
              return signInView([](LoginView *view) {
                  typeInto(view, u"Login_EmailField"_s, u"dana.reyes@harborlight"_s);
              });
          } },
        // Disabled links and buttons in every palette: "Forgot password?" while signing in.
        { u"signin-busy"_s,
          {},
          [] {
              return signInView([](LoginView *view) {
                  typeInto(view, u"Login_PasswordField"_s, u"secret"_s);
                  view->setBusy(true);
              });
          } },
        { u"signin-forgot"_s, signInPalettes,
          [] {
              return signInView(
                      [](LoginView *view) { view->enterPhase(stepOf(LoginPhase::Forgot)); });
          } },
        { u"signin-otp"_s, signInPalettes,
          [] {
              return signInView([](LoginView *view) { view->enterPhase(stepOf(LoginPhase::Otp)); });
          } },
        { u"signin-two-factor"_s, signInPalettes,
          [] {
              return signInView(
                      [](LoginView *view) { view->enterPhase(stepOf(LoginPhase::TwoFactor)); });
          } },
        { u"signin-reset-code"_s, signInPalettes,
          [] {
              return signInView([](LoginView *view) {
                  view->enterPhase(Core::LoginFlow::resetPasswordStep(sampleEmail, true));
              });
          } },
        { u"signin-reset-password"_s, signInPalettes,
          [] {
              return signInView([](LoginView *view) {
                  view->enterPhase(Core::LoginFlow::resetPasswordStep(sampleEmail, false));
                  view->findChild<UI::ResetPasswordView *>()->setVerifiedEmail(sampleEmail);
              });
          } },
        { u"signin-company"_s, signInPalettes,
          [] {
              return signInView([](LoginView *view) {
                  Core::LoginFlow::Step step = stepOf(LoginPhase::CompanySelection);
                  step.userName = u"Dana"_s;
                  step.companies
                          = { { u"Harbor Light Logistics"_s, u"https://harborlight.example.com"_s },
                              { u"Oakline Studio"_s, u"https://oakline.example.com"_s } };
                  view->enterPhase(step);
              });
          } },
    };
    return pages;
}

QList<GalleryPage> signInGalleryPages()
{
    return {
        { u"page-forgot"_s, signInPalettes,
          [] {
              auto *page = new UI::ForgotPasswordView;
              page->setEmail(sampleEmail);
              page->showStatus(u"We couldn't find that email address."_s);
              return page;
          } },
        // The resend button counting down, disabled, in every palette.
        { u"page-otp"_s,
          {},
          [] {
              auto *page = new UI::OTPVerificationView;
              page->start(sampleEmail);
              typeInto(page, u"OTP_Input_0"_s, u"4"_s);
              typeInto(page, u"OTP_Input_1"_s, u"2"_s);
              return page;
          } },
        { u"page-two-factor"_s, signInPalettes,
          [] {
              auto *page = new UI::TwoFactorVerificationView;
              page->start(sampleEmail);
              page->showError(
                      u"That code didn't work. Check your authenticator app and try again."_s);
              return page;
          } },
        { u"page-two-factor-recovery"_s, signInPalettes,
          [] {
              auto *page = new UI::TwoFactorVerificationView;
              page->start(sampleEmail);
              page->findChild<QPushButton *>(u"TwoFactor_SwitchModeButton"_s)->click();
              typeInto(page, u"TwoFactor_RecoveryField"_s, u"abcd-ef01-2345-6789"_s);
              return page;
          } },
        { u"page-reset-code"_s, signInPalettes,
          [] {
              auto *page = new UI::ResetPasswordView;
              page->start(sampleEmail, true);
              return page;
          } },
        { u"page-reset-password"_s, signInPalettes,
          [] {
              auto *page = new UI::ResetPasswordView;
              page->start(sampleEmail, false);
              page->setVerifiedEmail(sampleEmail);
              typeInto(page, u"Reset_NewPasswordField"_s, u"Sunrise7"_s);
              typeInto(page, u"Reset_ConfirmPasswordField"_s, u"Sunrise"_s);
              return page;
          } },
        { u"page-company"_s, signInPalettes, [] { return companyPage(false); } },
        { u"page-company-error"_s, signInPalettes, [] { return companyPage(true); } },
    };
}
