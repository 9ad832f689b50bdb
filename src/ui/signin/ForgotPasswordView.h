#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace UI {

// The sign-in page that asks for a reset code by e-mail. It validates the address and hands it on
// through its callbacks; the sign-in view runs the request and sets the busy state. GUI thread.
class ForgotPasswordView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ForgotPasswordView)

public:
    explicit ForgotPasswordView(QWidget *parent = nullptr);

    // Receive the trimmed e-mail.
    std::function<void(const QString &)> onSendCode;
    std::function<void(const QString &)> onAlreadyHaveCode;
    std::function<void()> onBack;

    void setEmail(const QString &email);
    void setBusy(bool busy);
    // Shown in the danger colour; an empty text hides the line.
    void showStatus(const QString &text);

private:
    QString email() const;
    bool isValidEmail() const;
    void updateState();
    void submit();
    void onAlreadyHaveCodeClicked();
    void onBackClicked();
    void onEmailEdited();

    QLineEdit *m_emailField = nullptr;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_sendButton = nullptr;
    QPushButton *m_alreadyHaveCodeButton = nullptr;
    QPushButton *m_backButton = nullptr;
    bool m_busy = false;
};

} // namespace UI
