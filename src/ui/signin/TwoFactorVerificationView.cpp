#include "ui/signin/TwoFactorVerificationView.h"

#include "services/server/AuthInput.h"
#include "ui/signin/AuthCard.h"
#include "ui/signin/CodeDigitRow.h"
#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace UI {

TwoFactorVerificationView::TwoFactorVerificationView(QWidget *parent)
    : QWidget(parent)
{
    const AuthCard card = buildAuthCard(this, u"forgot"_s);
    QWidget *body = card.body->parentWidget();
    followPalette(card.title, [title = card.title] {
        setTwoToneTitle(title, u"Two-step "_s, u"verification"_s);
    });

    m_subtitleLabel = makeSubtitleLabel(body);
    card.body->addWidget(m_subtitleLabel);

    m_codeRow = new CodeDigitRow(body);
    m_codeRow->setObjectNamePrefix(u"TwoFactor_Input"_s);
    m_codeRow->onChanged = [this](const QString &) { updateVerifyEnabled(); };
    m_codeRow->onCompleted = [this](const QString &) { onDigitsCompleted(); };
    card.body->addWidget(m_codeRow);

    m_recoveryField = new QLineEdit(body);
    m_recoveryField->setObjectName(u"TwoFactor_RecoveryField"_s);
    m_recoveryField->setPlaceholderText(u"16-character recovery code"_s);
    m_recoveryField->setMaxLength(24);
    m_recoveryField->setFixedHeight(34);
    followPalette(m_recoveryField, [this] {
        m_recoveryField->setStyleSheet(signInFieldStyleSheet(u"font-family: monospace;"_s));
    });
    card.body->addWidget(m_recoveryField);

    m_errorLabel = makeErrorLabel(u"TwoFactor_ErrorLabel"_s, body);
    card.body->addWidget(m_errorLabel);

    m_verifyButton = makePrimaryButton(u"Verify Code"_s, u"TwoFactor_VerifyButton"_s, body);
    m_verifyButton->setEnabled(false);
    card.body->addWidget(m_verifyButton);

    m_switchModeButton = makeFlatButton(QString(), u"TwoFactor_SwitchModeButton"_s, body);
    card.body->addWidget(m_switchModeButton, 0, Qt::AlignHCenter);

    auto *info = new QWidget(body);
    info->setAttribute(Qt::WA_StyledBackground, true);
    info->setProperty("infocard", true);
    auto *infoLayout = new QVBoxLayout(info);
    infoLayout->setContentsMargins(12, 12, 12, 12);
    infoLayout->setSpacing(2);
    auto *infoTitle = new QLabel(u"Lost your authenticator app?"_s, info);
    auto *infoText = new QLabel(u"Use one of the 16-character recovery codes you saved when you "
                                u"turned on two-step verification. Each one works once."_s,
                                info);
    infoText->setWordWrap(true);
    followPalette(info, [infoTitle, infoText] {
        infoTitle->setStyleSheet(u"color: %1; font-weight: 600;"_s.arg(Theme::textColor));
        infoText->setStyleSheet(colourStyleSheet(Theme::text2Color));
    });
    infoLayout->addWidget(infoTitle);
    infoLayout->addWidget(infoText);
    card.body->addWidget(info);

    m_backButton = addBackToLoginButton(card.body, body);
    m_backButton->setObjectName(u"TwoFactor_BackButton"_s);
    card.body->addStretch();

    connect(m_recoveryField, &QLineEdit::textChanged, this, [this] { updateVerifyEnabled(); });
    connect(m_recoveryField, &QLineEdit::returnPressed, this, [this] { submit(); });
    connect(m_verifyButton, &QPushButton::clicked, this, [this] { submit(); });
    connect(m_switchModeButton, &QPushButton::clicked, this, [this] { toggleMode(); });
    connect(m_backButton, &QPushButton::clicked, this, [this] { onBackClicked(); });

    updateMode();
}

void TwoFactorVerificationView::start(const QString &email)
{
    m_email = email;
    m_recoveryMode = false;
    clearInputs();
    m_errorLabel->hide();
    setBusy(false);
    updateMode();
    focusInput();
}

void TwoFactorVerificationView::setBusy(bool busy)
{
    m_busy = busy;
    m_verifyButton->setText(busy ? u"Verifying..."_s : u"Verify Code"_s);
    m_codeRow->setBoxesEnabled(!busy);
    m_recoveryField->setEnabled(!busy);
    m_switchModeButton->setEnabled(!busy);
    updateVerifyEnabled();
}

void TwoFactorVerificationView::showError(const QString &text)
{
    setWrappingText(m_errorLabel, text);
    m_errorLabel->setVisible(!text.isEmpty());
}

void TwoFactorVerificationView::showErrorAndClear(const QString &text)
{
    showError(text);
    clearInputs();
    focusInput();
}

QString TwoFactorVerificationView::normalizedCode() const
{
    return Core::AuthInput::normalizeTwoFactorCode(m_recoveryMode ? m_recoveryField->text()
                                                                  : m_codeRow->code());
}

void TwoFactorVerificationView::updateVerifyEnabled()
{
    m_verifyButton->setEnabled(!m_busy
                               && Core::AuthInput::isPlausibleTwoFactorCode(normalizedCode()));
}

void TwoFactorVerificationView::submit()
{
    const QString code = normalizedCode();
    if (m_busy || !Core::AuthInput::isPlausibleTwoFactorCode(code))
        return;
    setBusy(true);
    if (onVerify)
        onVerify(code);
}

void TwoFactorVerificationView::clearInputs()
{
    m_codeRow->clear();
    {
        const QSignalBlocker blocker(m_recoveryField);
        m_recoveryField->clear();
    }
    updateVerifyEnabled();
}

void TwoFactorVerificationView::focusInput()
{
    if (m_recoveryMode)
        m_recoveryField->setFocus(Qt::OtherFocusReason);
    else
        m_codeRow->focusFirst();
}

void TwoFactorVerificationView::updateMode()
{
    m_codeRow->setVisible(!m_recoveryMode);
    m_recoveryField->setVisible(m_recoveryMode);
    m_switchModeButton->setText(m_recoveryMode ? u"Use authenticator code"_s
                                               : u"Use recovery code"_s);
    m_subtitleLabel->setText(
            (m_recoveryMode ? u"Enter one of the recovery codes for %1."_s
                            : u"Enter the 6-digit code from your authenticator app for %1."_s)
                    .arg(m_email));
    updateVerifyEnabled();
}

void TwoFactorVerificationView::toggleMode()
{
    m_recoveryMode = !m_recoveryMode;
    clearInputs();
    updateMode();
    focusInput();
}

void TwoFactorVerificationView::onBackClicked()
{
    if (onBack)
        onBack();
}

void TwoFactorVerificationView::onDigitsCompleted()
{
    if (m_recoveryMode)
        return;
    if (Core::AuthInput::isCompleteTwoFactorDigitRow(m_codeRow->digits()))
        submit();
}

} // namespace UI
