#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace UI {

class CodeDigitRow;
class ResendCountdown;

// The password reset page in two stages: the code stage hands every distinct complete code to
// the sign-in view once for checking; once a code is confirmed, the new-password stage sets the
// password. GUI thread.
class ResetPasswordView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResetPasswordView)

public:
    explicit ResetPasswordView(QWidget *parent = nullptr);
    ~ResetPasswordView() override;

    std::function<void(const QString &)> onCheckCode;
    std::function<void(const QString &code, const QString &newPassword,
                       const QString &verifiedEmail)>
            onSubmit;
    std::function<void()> onResend;
    std::function<void()> onBack;

    // Back to an empty code stage for this e-mail; a just-sent code starts the countdown.
    void start(const QString &email, bool codeJustSent);
    void setBusy(bool busy);
    // Engaged: the new-password stage for that e-mail; empty: the code stage.
    void setVerifiedEmail(const std::optional<QString> &verifiedEmail);
    // In the code stage a shown error also empties and focuses the row.
    void showError(const QString &text);
    // The green status line.
    void showStatus(const QString &text);

    ResendCountdown *countdown() const { return m_countdown.get(); }

private:
    QLineEdit *makePasswordField(const QString &placeholder, const QString &name, QWidget *parent);
    QLabel *makeRuleLabel(const QString &name, QWidget *parent);
    void resetCode();
    void onCodeChanged();
    void updateSaveEnabled();
    void submit();
    void updateSubtitle();
    void updateTitle();
    void updateRuleLabel(QLabel *label, int rule, const QString &password);
    void updateRules();
    void onPasswordsChanged();
    void useDifferentCode();
    void resend();
    void onBackClicked();

    QString m_email;
    bool m_codeJustSent = true;
    bool m_busy = false;
    std::optional<QString> m_verifiedEmail;
    std::optional<QString> m_lastSentCode;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_subtitleLabel = nullptr;
    CodeDigitRow *m_codeRow = nullptr;
    QWidget *m_passwordStage = nullptr;
    QLineEdit *m_newPasswordField = nullptr;
    QLineEdit *m_confirmField = nullptr;
    QLabel *m_ruleMinLengthLabel = nullptr;
    QLabel *m_ruleUppercaseLabel = nullptr;
    QLabel *m_ruleDigitLabel = nullptr;
    QLabel *m_mismatchLabel = nullptr;
    QLabel *m_errorLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_useDifferentCodeButton = nullptr;
    QPushButton *m_resendButton = nullptr;
    QPushButton *m_backButton = nullptr;
    std::unique_ptr<ResendCountdown> m_countdown;
};

} // namespace UI
