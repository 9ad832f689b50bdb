#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace UI {

class CodeDigitRow;

// The sign-in page for a two-step verification code: six authenticator digits, verified as soon
// as the row is complete, or a 16-character recovery code in a text field. GUI thread.
class TwoFactorVerificationView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TwoFactorVerificationView)

public:
    explicit TwoFactorVerificationView(QWidget *parent = nullptr);

    // Receives the normalised code.
    std::function<void(const QString &)> onVerify;
    std::function<void()> onBack;

    // Authenticator mode, empty inputs, idle, focus on the first box.
    void start(const QString &email);
    void setBusy(bool busy);
    void showError(const QString &text);
    // For an invalid code: both inputs are emptied and the current one focused.
    void showErrorAndClear(const QString &text);

private:
    QString normalizedCode() const;
    void updateVerifyEnabled();
    void submit();
    void clearInputs();
    void focusInput();
    void updateMode();
    void toggleMode();
    void onBackClicked();
    void onDigitsCompleted();

    QString m_email;
    bool m_recoveryMode = false;
    bool m_busy = false;
    QLabel *m_subtitleLabel = nullptr;
    CodeDigitRow *m_codeRow = nullptr;
    QLineEdit *m_recoveryField = nullptr;
    QLabel *m_errorLabel = nullptr;
    QPushButton *m_verifyButton = nullptr;
    QPushButton *m_switchModeButton = nullptr;
    QPushButton *m_backButton = nullptr;
};

} // namespace UI
