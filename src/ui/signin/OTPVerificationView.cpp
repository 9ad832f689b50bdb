#include "ui/signin/OTPVerificationView.h"

#include "ui/signin/AuthCard.h"
#include "ui/signin/CodeDigitRow.h"
#include "ui/signin/ResendCountdown.h"
#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace UI {

namespace {

constexpr int resendSeconds = 60;

} // namespace

OTPVerificationView::OTPVerificationView(QWidget *parent)
    : QWidget(parent)
{
    const AuthCard card = buildAuthCard(this, u"forgot"_s);
    QWidget *body = card.body->parentWidget();
    followPalette(card.title,
                  [title = card.title] { setTwoToneTitle(title, u"Verify with "_s, u"OTP"_s); });

    m_subtitleLabel = makeSubtitleLabel(body);
    card.body->addWidget(m_subtitleLabel);

    m_codeRow = new CodeDigitRow(body);
    m_codeRow->setObjectNamePrefix(u"OTP_Input"_s);
    m_codeRow->onChanged = [this](const QString &) { onDigitsChanged(); };
    card.body->addWidget(m_codeRow);

    m_errorLabel = makeErrorLabel(u"OTP_ErrorLabel"_s, body);
    card.body->addWidget(m_errorLabel);

    m_submitButton = makePrimaryButton(u"Verify Code"_s, u"OTP_SubmitButton"_s, body);
    m_submitButton->setEnabled(false);
    card.body->addWidget(m_submitButton);

    auto *hints = new QVBoxLayout;
    hints->setSpacing(3);
    for (const QString &text : { u"Didn't receive the verification code by email?"_s,
                                 u"Please check your spam folder, or"_s }) {
        auto *label = new QLabel(text, body);
        label->setProperty("muted", true);
        label->setStyleSheet(u"font-size: 11px;"_s);
        hints->addWidget(label);
    }
    m_resendButton = makeFlatButton(QString(), u"OTP_ResendButton"_s, body);
    m_resendButton->setStyleSheet(u"QPushButton { padding-left: 0px; padding-right: 0px; }"_s);
    hints->addWidget(m_resendButton, 0, Qt::AlignLeft);
    card.body->addLayout(hints);
    m_countdown
            = std::make_unique<ResendCountdown>(m_resendButton, u"Resend code"_s, [](int seconds) {
                  return u"Resend code to the registered contact (%1s)"_s.arg(seconds);
              });
    m_countdown->refresh();

    m_backButton = addBackToLoginButton(card.body, body);
    m_backButton->setObjectName(u"OTP_BackButton"_s);
    card.body->addStretch();

    connect(m_submitButton, &QPushButton::clicked, this, [this] { submit(); });
    connect(m_resendButton, &QPushButton::clicked, this, [this] { resend(); });
    connect(m_backButton, &QPushButton::clicked, this, [this] { onBackClicked(); });
}

OTPVerificationView::~OTPVerificationView() = default;

void OTPVerificationView::start(const QString &email)
{
    m_subtitleLabel->setText(u"We've sent a verification code to your email %1. This "
                             u"verification keeps your account secure."_s.arg(email));
    m_codeRow->clear();
    m_codeRow->focusFirst();
    m_errorLabel->hide();
    m_countdown->start(resendSeconds);
    setBusy(false);
}

void OTPVerificationView::setBusy(bool busy)
{
    m_busy = busy;
    m_submitButton->setText(busy ? u"..."_s : u"Verify Code"_s);
    m_codeRow->setBoxesEnabled(!busy);
    updateSubmitEnabled();
}

void OTPVerificationView::showError(const QString &text)
{
    setWrappingText(m_errorLabel, text);
    m_errorLabel->setVisible(!text.isEmpty());
}

void OTPVerificationView::showErrorAndClear(const QString &text)
{
    showError(text);
    m_codeRow->clear();
    updateSubmitEnabled();
    m_codeRow->focusFirst();
}

void OTPVerificationView::reset()
{
    m_codeRow->clear();
    m_errorLabel->hide();
    m_countdown->stop();
    setBusy(false);
}

void OTPVerificationView::updateSubmitEnabled()
{
    m_submitButton->setEnabled(!m_busy && m_codeRow->code().size() == 6);
}

void OTPVerificationView::submit()
{
    const QString code = m_codeRow->code();
    if (code.size() != 6 || m_busy)
        return;
    setBusy(true);
    if (onVerify)
        onVerify(code);
}

void OTPVerificationView::resend()
{
    if (onResend)
        onResend();
    m_countdown->start(resendSeconds);
}

void OTPVerificationView::onBackClicked()
{
    if (onBack)
        onBack();
}

void OTPVerificationView::onDigitsChanged()
{
    updateSubmitEnabled();
}

} // namespace UI
