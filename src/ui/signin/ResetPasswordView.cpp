#include "ui/signin/ResetPasswordView.h"

#include "services/server/AuthInput.h"
#include "ui/signin/AuthCard.h"
#include "ui/signin/CodeDigitRow.h"
#include "ui/signin/ResendCountdown.h"
#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Core::AuthInput::PasswordRule;

namespace UI {

namespace {

constexpr int resendSeconds = 60;

} // namespace

ResetPasswordView::ResetPasswordView(QWidget *parent)
    : QWidget(parent)
{
    const AuthCard card = buildAuthCard(this, u"forgot"_s);
    QWidget *body = card.body->parentWidget();
    m_titleLabel = card.title;

    m_subtitleLabel = makeSubtitleLabel(body);
    card.body->addWidget(m_subtitleLabel);

    m_codeRow = new CodeDigitRow(body);
    m_codeRow->setObjectNamePrefix(u"Reset_Input"_s);
    m_codeRow->onChanged = [this](const QString &) { onCodeChanged(); };
    card.body->addWidget(m_codeRow);

    m_passwordStage = new QWidget(body);
    m_passwordStage->setObjectName(u"Reset_PasswordStage"_s);
    auto *stageLayout = new QVBoxLayout(m_passwordStage);
    stageLayout->setContentsMargins(0, 0, 0, 0);
    stageLayout->setSpacing(10);
    m_newPasswordField
            = makePasswordField(u"New password"_s, u"Reset_NewPasswordField"_s, m_passwordStage);
    m_confirmField = makePasswordField(u"Confirm new password"_s, u"Reset_ConfirmPasswordField"_s,
                                       m_passwordStage);
    stageLayout->addWidget(m_newPasswordField);
    stageLayout->addWidget(m_confirmField);
    auto *rules = new QVBoxLayout;
    rules->setSpacing(2);
    m_ruleMinLengthLabel = makeRuleLabel(u"Reset_RuleMinLength"_s, m_passwordStage);
    m_ruleUppercaseLabel = makeRuleLabel(u"Reset_RuleUppercase"_s, m_passwordStage);
    m_ruleDigitLabel = makeRuleLabel(u"Reset_RuleDigit"_s, m_passwordStage);
    rules->addWidget(m_ruleMinLengthLabel);
    rules->addWidget(m_ruleUppercaseLabel);
    rules->addWidget(m_ruleDigitLabel);
    stageLayout->addLayout(rules);
    m_mismatchLabel = new QLabel(u"Both passwords must match."_s, m_passwordStage);
    m_mismatchLabel->setObjectName(u"Reset_MismatchLabel"_s);
    m_mismatchLabel->hide();
    stageLayout->addWidget(m_mismatchLabel);
    card.body->addWidget(m_passwordStage);

    m_errorLabel = makeErrorLabel(u"Reset_ErrorLabel"_s, body);
    card.body->addWidget(m_errorLabel);

    m_statusLabel = new QLabel(body);
    m_statusLabel->setObjectName(u"Reset_StatusLabel"_s);
    m_statusLabel->setTextFormat(Qt::PlainText);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->hide();
    card.body->addWidget(m_statusLabel);

    m_saveButton = makePrimaryButton(u"Save New Password"_s, u"Reset_SaveButton"_s, body);
    card.body->addWidget(m_saveButton);

    m_useDifferentCodeButton
            = makeFlatButton(u"Use a different code"_s, u"Reset_UseDifferentCodeButton"_s, body);
    card.body->addWidget(m_useDifferentCodeButton, 0, Qt::AlignHCenter);

    m_resendButton = makeFlatButton(QString(), u"Reset_ResendButton"_s, body);
    card.body->addWidget(m_resendButton, 0, Qt::AlignHCenter);
    m_countdown
            = std::make_unique<ResendCountdown>(m_resendButton, u"Resend code"_s, [](int seconds) {
                  return u"Resend code (%1s)"_s.arg(seconds);
              });
    m_countdown->refresh();

    auto *hint = new QLabel(u"A new code replaces the one we sent before."_s, body);
    hint->setProperty("muted", true);
    hint->setStyleSheet(u"font-size: 11px;"_s);
    card.body->addWidget(hint, 0, Qt::AlignHCenter);

    m_backButton = addBackToLoginButton(card.body, body);
    m_backButton->setObjectName(u"Reset_BackButton"_s);
    card.body->addStretch();

    connect(m_newPasswordField, &QLineEdit::textChanged, this, [this] { onPasswordsChanged(); });
    connect(m_confirmField, &QLineEdit::textChanged, this, [this] { onPasswordsChanged(); });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { submit(); });
    connect(m_confirmField, &QLineEdit::returnPressed, this, [this] { submit(); });
    connect(m_useDifferentCodeButton, &QPushButton::clicked, this, [this] { useDifferentCode(); });
    connect(m_resendButton, &QPushButton::clicked, this, [this] { resend(); });
    connect(m_backButton, &QPushButton::clicked, this, [this] { onBackClicked(); });

    updateRules();
    setVerifiedEmail(std::nullopt);

    // The rule labels and the title are re-read from the theme by updateRules / updateTitle.
    followPalette(this, [this] {
        m_mismatchLabel->setStyleSheet(u"font-size: 11px; color: %1;"_s.arg(Theme::dangerColor));
        m_statusLabel->setStyleSheet(
                colourStyleSheet(Theme::readableTextColour(Theme::greenColor)));
        m_newPasswordField->setStyleSheet(signInFieldStyleSheet());
        m_confirmField->setStyleSheet(signInFieldStyleSheet());
        updateRules();
        updateTitle();
    });
}

ResetPasswordView::~ResetPasswordView() = default;

QLineEdit *ResetPasswordView::makePasswordField(const QString &placeholder, const QString &name,
                                                QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setPlaceholderText(placeholder);
    field->setEchoMode(QLineEdit::Password);
    field->setFixedHeight(34);
    field->setStyleSheet(signInFieldStyleSheet());
    return field;
}

QLabel *ResetPasswordView::makeRuleLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(u"font-size: 11px;"_s);
    return label;
}

void ResetPasswordView::start(const QString &email, bool codeJustSent)
{
    m_email = email;
    m_codeJustSent = codeJustSent;
    m_busy = false;
    resetCode();
    m_verifiedEmail.reset();
    {
        const QSignalBlocker newBlocker(m_newPasswordField);
        const QSignalBlocker confirmBlocker(m_confirmField);
        m_newPasswordField->clear();
        m_confirmField->clear();
    }
    onPasswordsChanged();
    m_errorLabel->hide();
    m_statusLabel->hide();
    setBusy(false);
    setVerifiedEmail(std::nullopt);
    if (codeJustSent)
        m_countdown->start(resendSeconds);
    else
        m_countdown->stop();
    m_codeRow->focusFirst();
}

void ResetPasswordView::setBusy(bool busy)
{
    m_busy = busy;
    const bool verified = m_verifiedEmail.has_value();
    m_codeRow->setBoxesEnabled(!busy && !verified);
    m_newPasswordField->setEnabled(!busy);
    m_confirmField->setEnabled(!busy);
    m_saveButton->setText(busy && verified ? u"Saving..."_s : u"Save New Password"_s);
    updateSaveEnabled();
}

void ResetPasswordView::setVerifiedEmail(const std::optional<QString> &verifiedEmail)
{
    m_verifiedEmail = verifiedEmail;
    const bool verified = verifiedEmail.has_value();
    m_passwordStage->setVisible(verified);
    m_saveButton->setVisible(verified);
    m_useDifferentCodeButton->setVisible(verified);
    m_codeRow->setBoxesEnabled(!verified && !m_busy);
    updateTitle();
    updateSubtitle();
    if (verified)
        m_newPasswordField->setFocus(Qt::OtherFocusReason);
    updateSaveEnabled();
}

void ResetPasswordView::showError(const QString &text)
{
    setWrappingText(m_errorLabel, text);
    m_errorLabel->setVisible(!text.isEmpty());
    if (!text.isEmpty())
        m_statusLabel->hide();
    if (Core::AuthInput::canSubmitCode(text, m_verifiedEmail.has_value())) {
        resetCode();
        m_codeRow->focusFirst();
    }
}

void ResetPasswordView::showStatus(const QString &text)
{
    setWrappingText(m_statusLabel, text);
    m_statusLabel->setVisible(!text.isEmpty());
}

void ResetPasswordView::resetCode()
{
    m_codeRow->clear();
    m_lastSentCode.reset();
}

void ResetPasswordView::onCodeChanged()
{
    const std::optional<QString> code = Core::AuthInput::codeToAutoSubmit(
            m_codeRow->digits(), m_lastSentCode, m_verifiedEmail.has_value(), m_busy);
    if (!code.has_value())
        return;
    m_lastSentCode = code;
    if (onCheckCode)
        onCheckCode(*code);
}

void ResetPasswordView::updateSaveEnabled()
{
    const QString password = m_newPasswordField->text();
    m_saveButton->setEnabled(!m_busy && m_verifiedEmail.has_value()
                             && Core::AuthInput::passwordMeetsRules(password)
                             && m_confirmField->text() == password);
}

void ResetPasswordView::submit()
{
    if (!m_saveButton->isEnabled() || !m_verifiedEmail.has_value() || !onSubmit)
        return;
    onSubmit(m_codeRow->code(), m_newPasswordField->text(), *m_verifiedEmail);
}

void ResetPasswordView::updateSubtitle()
{
    if (m_verifiedEmail.has_value())
        m_subtitleLabel->setText(
                u"Code verified for %1. Choose a new password."_s.arg(*m_verifiedEmail));
    else if (m_codeJustSent)
        m_subtitleLabel->setText(
                u"We emailed a 6-digit code to %1. It expires 60 minutes after it was sent."_s.arg(
                        m_email));
    else
        m_subtitleLabel->setText(u"Enter the 6-digit code we emailed to %1. Codes expire 60 "
                                 u"minutes after they're sent."_s.arg(m_email));
}

void ResetPasswordView::updateTitle()
{
    if (m_verifiedEmail.has_value())
        setTwoToneTitle(m_titleLabel, u"Set a new "_s, u"password"_s);
    else
        setTwoToneTitle(m_titleLabel, u"Enter your "_s, u"code"_s);
}

void ResetPasswordView::updateRuleLabel(QLabel *label, int rule, const QString &password)
{
    const auto passwordRule = static_cast<PasswordRule>(rule);
    const bool met = Core::AuthInput::passwordRuleMet(passwordRule, password);
    label->setText((met ? u"✓  "_s : u"○  "_s) + Core::AuthInput::passwordRuleText(passwordRule));
    label->setStyleSheet(u"font-size: 11px; color: %1;"_s.arg(
            met ? Theme::readableTextColour(Theme::greenColor) : Theme::textColor));
}

void ResetPasswordView::updateRules()
{
    const QString password = m_newPasswordField->text();
    updateRuleLabel(m_ruleMinLengthLabel, int(PasswordRule::MinLength), password);
    updateRuleLabel(m_ruleUppercaseLabel, int(PasswordRule::Uppercase), password);
    updateRuleLabel(m_ruleDigitLabel, int(PasswordRule::Digit), password);
}

void ResetPasswordView::onPasswordsChanged()
{
    updateRules();
    const QString confirm = m_confirmField->text();
    m_mismatchLabel->setVisible(!confirm.isEmpty() && confirm != m_newPasswordField->text());
    updateSaveEnabled();
}

void ResetPasswordView::useDifferentCode()
{
    m_errorLabel->hide();
    m_statusLabel->hide();
    resetCode();
    setVerifiedEmail(std::nullopt);
}

void ResetPasswordView::resend()
{
    if (onResend)
        onResend();
    m_errorLabel->hide();
    resetCode();
    setVerifiedEmail(std::nullopt);
    m_countdown->start(resendSeconds);
}

void ResetPasswordView::onBackClicked()
{
    if (onBack)
        onBack();
}

} // namespace UI
