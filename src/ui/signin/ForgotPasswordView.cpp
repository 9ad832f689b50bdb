#include "ui/signin/ForgotPasswordView.h"

#include "ui/signin/AuthCard.h"
#include "ui/signin/EmailRule.h"
#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace UI {

ForgotPasswordView::ForgotPasswordView(QWidget *parent)
    : QWidget(parent)
{
    const AuthCard card = buildAuthCard(this, u"forgot"_s);
    QWidget *body = card.body->parentWidget();
    followPalette(card.title,
                  [title = card.title] { setTwoToneTitle(title, u"Forgot "_s, u"password?"_s); });

    auto *hint = new QLabel(
            u"Enter your account email. We'll email you a 6-digit code to reset your password."_s,
            body);
    hint->setWordWrap(true);
    followPalette(hint, [hint] { hint->setStyleSheet(colourStyleSheet(Theme::text2Color)); });
    card.body->addWidget(hint);

    m_emailField = new QLineEdit(body);
    m_emailField->setObjectName(u"Forgot_EmailField"_s);
    m_emailField->setPlaceholderText(u"Email"_s);
    m_emailField->setFixedHeight(34);
    QAction *mailAction = m_emailField->addAction(QIcon(), QLineEdit::TrailingPosition);
    followPalette(m_emailField, [this, mailAction] {
        m_emailField->setStyleSheet(signInFieldStyleSheet());
        mailAction->setIcon(Theme::icon(u"mail"_s, Theme::brandColor, 16));
    });
    card.body->addWidget(m_emailField);

    m_statusLabel = makeErrorLabel(u"Forgot_StatusLabel"_s, body);
    card.body->addWidget(m_statusLabel);

    m_sendButton = makePrimaryButton(u"Send Code"_s, u"Forgot_SendButton"_s, body);
    card.body->addWidget(m_sendButton);

    m_alreadyHaveCodeButton
            = makeFlatButton(u"Already have a code?"_s, u"Forgot_AlreadyHaveCodeButton"_s, body);
    card.body->addWidget(m_alreadyHaveCodeButton, 0, Qt::AlignHCenter);

    m_backButton = addBackToLoginButton(card.body, body);
    m_backButton->setObjectName(u"Forgot_BackButton"_s);
    card.body->addStretch();

    connect(m_sendButton, &QPushButton::clicked, this, [this] { submit(); });
    connect(m_emailField, &QLineEdit::returnPressed, this, [this] { submit(); });
    connect(m_alreadyHaveCodeButton, &QPushButton::clicked, this,
            [this] { onAlreadyHaveCodeClicked(); });
    connect(m_backButton, &QPushButton::clicked, this, [this] { onBackClicked(); });
    connect(m_emailField, &QLineEdit::textChanged, this, [this] { onEmailEdited(); });

    updateState();
}

void ForgotPasswordView::setEmail(const QString &email)
{
    m_emailField->setText(email);
    m_statusLabel->hide();
    setBusy(false);
}

void ForgotPasswordView::setBusy(bool busy)
{
    m_busy = busy;
    updateState();
}

void ForgotPasswordView::showStatus(const QString &text)
{
    setWrappingText(m_statusLabel, text);
    m_statusLabel->setVisible(!text.isEmpty());
}

QString ForgotPasswordView::email() const
{
    return m_emailField->text().trimmed();
}

bool ForgotPasswordView::isValidEmail() const
{
    return isValidSignInEmail(email());
}

void ForgotPasswordView::updateState()
{
    const bool canAct = !m_busy && isValidEmail();
    m_sendButton->setEnabled(canAct);
    m_sendButton->setText(m_busy ? u"Sending…"_s : u"Send Code"_s);
    m_alreadyHaveCodeButton->setEnabled(canAct);
}

void ForgotPasswordView::submit()
{
    if (m_busy || !isValidEmail())
        return;
    m_statusLabel->hide();
    if (onSendCode)
        onSendCode(email());
}

void ForgotPasswordView::onAlreadyHaveCodeClicked()
{
    if (isValidEmail() && onAlreadyHaveCode)
        onAlreadyHaveCode(email());
}

void ForgotPasswordView::onBackClicked()
{
    if (onBack)
        onBack();
}

void ForgotPasswordView::onEmailEdited()
{
    m_statusLabel->hide();
    updateState();
}

} // namespace UI
