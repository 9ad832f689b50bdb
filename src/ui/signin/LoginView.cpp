#include "ui/signin/LoginView.h"

#include "storage/LastLoginStore.h"
#include "ui/signin/AuthCard.h"
#include "ui/signin/CompanySelectionView.h"
#include "ui/signin/EmailRule.h"
#include "ui/signin/ForgotPasswordView.h"
#include "ui/signin/OTPVerificationView.h"
#include "ui/signin/ResetPasswordView.h"
#include "ui/signin/SignInStyle.h"
#include "ui/signin/TwoFactorVerificationView.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;
using Core::LoginPhase;

namespace UI {

bool LoginView::s_globalSignInInFlight = false;

namespace {

const QString unexpectedFailureText = u"Something went wrong. Please try again."_s;

// The current palette's brand logo 20 logical pixels high at the widget's pixel ratio; a null
// pixmap when the SVG does not load.
QPixmap logoPixmap(const QWidget *widget)
{
    QSvgRenderer renderer(Theme::logoPath(Theme::currentPalette()));
    if (!renderer.isValid())
        return {};
    const QSize natural = renderer.defaultSize();
    const int height = 20;
    const int width
            = natural.height() > 0
                      ? int(std::lround(double(natural.width()) * height / natural.height()))
                      : 80;
    const qreal ratio = widget->devicePixelRatioF();
    QPixmap pixmap(QSize(width, height) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, width, height));
    return pixmap;
}

} // namespace

LoginView::LoginView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_phaseHost = new QStackedWidget(this);
    layout->addWidget(m_phaseHost);

    buildForm();
    m_phaseHost->addWidget(m_formRoot);
    m_phaseHost->setCurrentWidget(m_formRoot);

    m_phaseHost->setObjectName(u"Login_PhaseHost"_s);
    m_formRoot->setObjectName(u"Login_FormRoot"_s);
    m_emailField->setObjectName(u"Login_EmailField"_s);
    m_passwordField->setObjectName(u"Login_PasswordField"_s);
    m_submitButton->setObjectName(u"Login_SubmitButton"_s);
    m_forgotLink->setObjectName(u"Login_ForgotLink"_s);
    m_errorLabel->setObjectName(u"Login_ErrorLabel"_s);

    m_phaseContext = Core::LoginFlow::Step();

    // Made last, so the prefilled e-mail runs no check.
    connect(m_emailField, &QLineEdit::textChanged, this, &LoginView::onEmailTextChanged);
    connect(m_passwordField, &QLineEdit::textChanged, this, &LoginView::onPasswordTextChanged);
    connect(m_submitButton, &QPushButton::clicked, this, &LoginView::onLoginClicked);
    connect(m_emailField, &QLineEdit::returnPressed, this, &LoginView::onLoginClicked);
    connect(m_passwordField, &QLineEdit::returnPressed, this, &LoginView::onLoginClicked);
}

LoginView::~LoginView()
{
    // The filter must not outlive the view; the pool tasks it started finish on their own.
    if (m_busy)
        qApp->removeEventFilter(this);
    // Its settle step will never run: without this the process could never sign in again.
    if (m_signInInFlight)
        s_globalSignInInFlight = false;
}

void LoginView::buildForm()
{
    m_formRoot = new QWidget(m_phaseHost);
    auto *rootLayout = new QVBoxLayout(m_formRoot);
    rootLayout->setContentsMargins(16, 16, 16, 16);
    QScrollArea *scroll = makePageScrollArea(m_formRoot);
    rootLayout->addWidget(scroll);
    QWidget *card = makePanelCard();
    scroll->setWidget(card);
    addHeroBanner(card, u"login"_s, 0.5, 0.75, 0.15);

    auto *content = new QWidget(card);
    auto *body = new QVBoxLayout(content);
    body->setContentsMargins(20, 20, 20, 20);
    body->setSpacing(12);
    card->layout()->addWidget(content);

    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(7);
    auto *logo = new QLabel(content);
    followPalette(logo, [logo] {
        const QPixmap logoImage = logoPixmap(logo);
        if (logoImage.isNull())
            logo->setText(u"Tembrix"_s);
        else
            logo->setPixmap(logoImage);
    });
    auto *title = new QLabel(u"Clockwarden"_s, content);
    setCardTitleFont(title);
    titleRow->addWidget(logo, 0, Qt::AlignVCenter);
    titleRow->addWidget(title, 0, Qt::AlignVCenter);
    titleRow->addStretch();
    body->addLayout(titleRow);

    auto *subtitle = new QLabel(
            u"Manage your team's working hours easily, accurately, and fully integrated."_s,
            content);
    subtitle->setWordWrap(true);
    body->addWidget(subtitle);

    m_emailField = new QLineEdit(content);
    m_emailField->setPlaceholderText(u"Email"_s);
    m_emailField->setFixedHeight(34);
    QAction *mailAction = m_emailField->addAction(QIcon(), QLineEdit::TrailingPosition);
    if (const std::optional<QString> lastEmail = Storage::LastLoginStore::load())
        m_emailField->setText(*lastEmail);
    body->addWidget(m_emailField);

    m_passwordField = new QLineEdit(content);
    m_passwordField->setPlaceholderText(u"Password"_s);
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_passwordField->setFixedHeight(34);
    m_passwordAction = m_passwordField->addAction(QIcon(), QLineEdit::TrailingPosition);
    m_passwordAction->setToolTip(u"Show password"_s);
    connect(m_passwordAction, &QAction::triggered, this, [this] { togglePasswordVisibility(); });
    body->addWidget(m_passwordField);

    auto *forgotRow = new QHBoxLayout;
    forgotRow->addStretch();
    m_forgotLink = makeFlatButton(u"Forgot password?"_s, u"Login_ForgotLink"_s, content);
    connect(m_forgotLink, &QPushButton::clicked, this, [this] { onForgotLinkClicked(); });
    forgotRow->addWidget(m_forgotLink);
    body->addLayout(forgotRow);

    m_errorLabel = new QLabel(content);
    m_errorLabel->setTextFormat(Qt::PlainText);
    m_errorLabel->setWordWrap(true);
    m_errorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy errorPolicy = m_errorLabel->sizePolicy();
    errorPolicy.setRetainSizeWhenHidden(true);
    m_errorLabel->setSizePolicy(errorPolicy);
    m_errorLabel->hide();
    body->addWidget(m_errorLabel);

    m_submitButton = makePrimaryButton(u"Login"_s, u"Login_SubmitButton"_s, content);
    m_submitButton->setEnabled(false);
    body->addWidget(m_submitButton);

    auto *accountRow = new QHBoxLayout;
    accountRow->setSpacing(3);
    auto *noAccount = new QLabel(u"Don't have an account?"_s, content);
    auto *contact = makeFlatButton(u"Contact your administrator"_s, QString(), content);
    accountRow->addStretch();
    accountRow->addWidget(noAccount);
    accountRow->addWidget(contact);
    accountRow->addStretch();
    body->addLayout(accountRow);

    auto *info = new QLabel(u"Tembrix Clockwarden accounts are created by your company's owner or "
                            u"HR on Tembrix. If you don't have an account yet, please contact "
                            u"your HR or company administrator to get one."_s,
                            content);
    info->setObjectName(u"loginNoAccountInfo"_s);
    info->setWordWrap(true);
    info->setAttribute(Qt::WA_StyledBackground, true);
    info->setProperty("infocard", true);
    info->setContentsMargins(12, 10, 12, 10);
    info->setStyleSheet(u"font-size: 12px;"_s);
    info->hide();
    connect(contact, &QPushButton::clicked, info, [info, scroll] {
        info->setVisible(info->isHidden());
        // Scrolled to once the layout has made room for it; queued behind that layout pass.
        if (info->isVisible())
            QMetaObject::invokeMethod(
                    scroll, [scroll, info] { scroll->ensureWidgetVisible(info, 0, 16); },
                    Qt::QueuedConnection);
    });
    body->addWidget(info);
    body->addStretch();

    followPalette(this, [this, title, subtitle, noAccount, mailAction] {
        // Large bold text: 3:1 is enough, so the brand's own colour stays wherever it reaches it.
        title->setStyleSheet(colourStyleSheet(
                Theme::readableTextColour(Theme::brandColor, Theme::kLargeTextContrast)));
        subtitle->setStyleSheet(colourStyleSheet(Theme::text2Color));
        noAccount->setStyleSheet(colourStyleSheet(Theme::text2Color));
        m_emailField->setStyleSheet(signInFieldStyleSheet());
        m_passwordField->setStyleSheet(signInFieldStyleSheet());
        mailAction->setIcon(Theme::icon(u"mail"_s, Theme::brandColor, 16));
        const bool shown = m_passwordField->echoMode() == QLineEdit::Normal;
        m_passwordAction->setIcon(
                Theme::icon(shown ? u"eye-slash"_s : u"eye"_s, Theme::brandColor, 16));
        m_errorLabel->setStyleSheet(
                u"color: %1; background: rgba(224,50,47,0.12); "
                u"border-radius: 8px; padding: 7px 10px; font-size: 12px;"_s.arg(
                        Theme::dangerColor));
        reserveOneLine(m_errorLabel);
    });
}

void LoginView::addPage(QWidget *page, const QString &objectName)
{
    page->setObjectName(objectName);
    m_phaseHost->addWidget(page);
}

OTPVerificationView *LoginView::otpView()
{
    if (!m_otpView) {
        m_otpView = new OTPVerificationView(m_phaseHost);
        m_otpView->onBack = [this] { goToPhase(LoginPhase::Login); };
        m_otpView->onVerify = [this](const QString &code) { onOtpVerify(code); };
        m_otpView->onResend = [this] { onOtpResend(); };
        // Built while a step runs, it takes the busy state the others were given.
        if (m_busy)
            m_otpView->setBusy(true);
        addPage(m_otpView, u"Otp_Root"_s);
    }
    return m_otpView;
}

CompanySelectionView *LoginView::companyView()
{
    if (!m_companyView) {
        m_companyView = new CompanySelectionView(m_phaseHost);
        m_companyView->onCompanySelected
                = [this](const Models::LoginCompany &company) { onCompanySelected(company); };
        addPage(m_companyView, u"CompanySelection_Root"_s);
    }
    return m_companyView;
}

ForgotPasswordView *LoginView::forgotView()
{
    if (!m_forgotView) {
        m_forgotView = new ForgotPasswordView(m_phaseHost);
        m_forgotView->onBack = [this] { goToPhase(LoginPhase::Login); };
        m_forgotView->onSendCode = [this](const QString &email) { onForgotSendCode(email); };
        m_forgotView->onAlreadyHaveCode = [this](const QString &email) {
            enterPhase(Core::LoginFlow::resetPasswordStep(email, false));
        };
        addPage(m_forgotView, u"Forgot_Root"_s);
    }
    return m_forgotView;
}

ResetPasswordView *LoginView::resetView()
{
    if (!m_resetView) {
        m_resetView = new ResetPasswordView(m_phaseHost);
        m_resetView->onBack = [this] { goToPhase(LoginPhase::Login); };
        m_resetView->onCheckCode = [this](const QString &code) { onResetCheckCode(code); };
        m_resetView->onSubmit
                = [this](const QString &code, const QString &newPassword, const QString &email) {
                      onResetSubmit(code, newPassword, email);
                  };
        m_resetView->onResend = [this] { onResetResend(); };
        if (m_busy)
            m_resetView->setBusy(true);
        addPage(m_resetView, u"ResetPassword_Root"_s);
    }
    return m_resetView;
}

TwoFactorVerificationView *LoginView::twoFactorView()
{
    if (!m_twoFactorView) {
        m_twoFactorView = new TwoFactorVerificationView(m_phaseHost);
        m_twoFactorView->onBack = [this] { goToPhase(LoginPhase::Login); };
        m_twoFactorView->onVerify = [this](const QString &code) { onTwoFactorVerify(code); };
        if (m_busy)
            m_twoFactorView->setBusy(true);
        addPage(m_twoFactorView, u"TwoFactor_Root"_s);
    }
    return m_twoFactorView;
}

QWidget *LoginView::page(LoginPhase phase)
{
    switch (phase) {
    case LoginPhase::Login:
        break;
    case LoginPhase::Forgot:
        return forgotView();
    case LoginPhase::ResetPassword:
        return resetView();
    case LoginPhase::Otp:
        return otpView();
    case LoginPhase::TwoFactor:
        return twoFactorView();
    case LoginPhase::CompanySelection:
        return companyView();
    }
    return m_formRoot;
}

void LoginView::togglePasswordVisibility()
{
    const bool show = m_passwordField->echoMode() == QLineEdit::Password;
    m_passwordField->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    m_passwordAction->setIcon(Theme::icon(show ? u"eye-slash"_s : u"eye"_s, Theme::brandColor, 16));
    m_passwordAction->setToolTip(show ? u"Hide password"_s : u"Show password"_s);
}

void LoginView::onForgotLinkClicked()
{
    Core::LoginFlow::Step step;
    step.phase = LoginPhase::Forgot;
    step.email = trimmedEmail();
    enterPhase(step);
}

QString LoginView::trimmedEmail() const
{
    return m_emailField->text().trimmed();
}

bool LoginView::isEmailValid() const
{
    return isValidSignInEmail(trimmedEmail());
}

bool LoginView::isPasswordLongEnough() const
{
    return m_passwordField->text().size() > 3;
}

QString LoginView::submitValidationError() const
{
    if (trimmedEmail().isEmpty())
        return u"Email cannot be empty."_s;
    if (!isEmailValid())
        return u"Invalid email format."_s;
    if (m_passwordField->text().isEmpty())
        return u"Password cannot be empty."_s;
    if (!isPasswordLongEnough())
        return u"Password must be at least 4 characters."_s;
    return QString();
}

QString LoginView::inlineValidationError() const
{
    if (!trimmedEmail().isEmpty() && !isEmailValid())
        return u"Invalid email format."_s;
    if (!m_passwordField->text().isEmpty() && !isPasswordLongEnough())
        return u"Password must be at least 4 characters."_s;
    return QString();
}

void LoginView::updateSubmitEnabled()
{
    m_submitButton->setEnabled(!m_signInInFlight && !m_busy && !trimmedEmail().isEmpty()
                               && isEmailValid() && !m_passwordField->text().isEmpty()
                               && isPasswordLongEnough());
}

void LoginView::showFormError(const QString &text)
{
    setWrappingText(m_errorLabel, text);
    m_errorLabel->show();
}

void LoginView::onEmailTextChanged()
{
    if (m_errorLabel->isVisible())
        m_errorLabel->hide();
    const QString message = inlineValidationError();
    if (!message.isEmpty())
        showFormError(message);
    updateSubmitEnabled();
}

void LoginView::onPasswordTextChanged()
{
    onEmailTextChanged();
}

void LoginView::onSignInSettled()
{
    m_signInInFlight = false;
    s_globalSignInInFlight = false;
    updateSubmitEnabled();
    m_forgotLink->setEnabled(!m_busy);
}

LoginPhase LoginView::phase() const
{
    return m_phaseContext.has_value() ? m_phaseContext->phase : LoginPhase::Login;
}

void LoginView::enterPhase(const Core::LoginFlow::Step &step)
{
    ++m_visitCounter;
    const QString codeEmail = step.displayEmail.isEmpty() ? step.email : step.displayEmail;
    switch (step.phase) {
    case LoginPhase::Login:
        m_phaseHost->setCurrentWidget(m_formRoot);
        break;
    case LoginPhase::Forgot:
        forgotView()->setEmail(step.email);
        m_phaseHost->setCurrentWidget(m_forgotView);
        break;
    case LoginPhase::ResetPassword:
        resetView()->start(step.email, step.codeJustSent);
        m_phaseHost->setCurrentWidget(m_resetView);
        break;
    case LoginPhase::Otp:
        otpView()->start(codeEmail);
        m_otpView->showError(QString());
        m_phaseHost->setCurrentWidget(m_otpView);
        break;
    case LoginPhase::TwoFactor:
        twoFactorView()->start(codeEmail);
        m_phaseHost->setCurrentWidget(m_twoFactorView);
        break;
    case LoginPhase::CompanySelection:
        m_userName = step.userName;
        companyView()->setCompanies(step.companies, step.userName);
        m_phaseHost->setCurrentWidget(m_companyView);
        break;
    }
    m_phaseContext = step;
    Q_EMIT phaseChanged(step.phase);
}

void LoginView::goToPhase(LoginPhase phase)
{
    Core::LoginFlow::Step step;
    step.phase = phase;
    step.email = m_submittedEmail.isEmpty() ? trimmedEmail() : m_submittedEmail;
    enterPhase(step);
}

QString LoginView::currentEmail() const
{
    if (m_phaseContext.has_value() && m_phaseContext->phase != LoginPhase::Login
        && !m_phaseContext->email.isEmpty())
        return m_phaseContext->email;
    return m_submittedEmail;
}

void LoginView::reset()
{
    setBusy(false);
    m_submittedEmail.clear();
    m_userName.clear();
    // A page not built yet is still in the state these put the others in.
    if (m_companyView)
        m_companyView->setCompanies({}, QString());
    if (m_otpView)
        m_otpView->reset();
    if (m_twoFactorView)
        m_twoFactorView->start(QString());
    if (m_resetView)
        m_resetView->start(QString(), false);
    m_passwordField->clear();
    m_errorLabel->hide();
    goToPhase(LoginPhase::Login);
    m_passwordField->setFocus(Qt::OtherFocusReason);
}

void LoginView::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy) {
        qApp->installEventFilter(this);
        m_submitButton->setText(u"Signing in…"_s);
    } else {
        qApp->removeEventFilter(this);
        m_submitButton->setText(u"Login"_s);
    }
    updateSubmitEnabled();
    m_forgotLink->setEnabled(!busy);
    // A page built later takes the flag then.
    if (m_otpView)
        m_otpView->setBusy(busy);
    if (m_twoFactorView)
        m_twoFactorView->setBusy(busy);
    if (m_resetView)
        m_resetView->setBusy(busy);
}

bool LoginView::eventFilter(QObject *watched, QEvent *event)
{
    if (m_busy && watched->isWidgetType()) {
        const auto *widget = static_cast<QWidget *>(watched);
        if (widget == m_phaseHost || m_phaseHost->isAncestorOf(widget)) {
            switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LoginView::showUnexpectedFailure()
{
    // Pages never built were never busy.
    if (m_otpView)
        m_otpView->setBusy(false);
    if (m_twoFactorView)
        m_twoFactorView->setBusy(false);
    if (m_forgotView)
        m_forgotView->setBusy(false);
    if (m_resetView)
        m_resetView->setBusy(false);
    switch (phase()) {
    case LoginPhase::Login:
        showFormError(unexpectedFailureText);
        break;
    case LoginPhase::Forgot:
        forgotView()->showStatus(unexpectedFailureText);
        break;
    case LoginPhase::ResetPassword:
        resetView()->showError(unexpectedFailureText);
        break;
    case LoginPhase::Otp:
        otpView()->showError(unexpectedFailureText);
        break;
    case LoginPhase::TwoFactor:
        twoFactorView()->showError(unexpectedFailureText);
        break;
    case LoginPhase::CompanySelection:
        // The company page stays, so the user can pick again.
        companyView()->showError(unexpectedFailureText);
        break;
    }
}

} // namespace UI
