#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace UI {

class CodeDigitRow;
class ResendCountdown;

// The sign-in page for the code the service mailed. A complete row only enables "Verify Code";
// the page never submits by itself. GUI thread.
class OTPVerificationView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OTPVerificationView)

public:
    explicit OTPVerificationView(QWidget *parent = nullptr);
    ~OTPVerificationView() override;

    std::function<void(const QString &)> onVerify;
    std::function<void()> onResend;
    std::function<void()> onBack;

    // Names the e-mail, empties the row and starts the 60 s resend countdown.
    void start(const QString &email);
    void setBusy(bool busy);
    void showError(const QString &text);
    // For a rejected code: the row is emptied and focused.
    void showErrorAndClear(const QString &text);
    // Stops the countdown and empties the page.
    void reset();

    ResendCountdown *countdown() const { return m_countdown.get(); }

private:
    void updateSubmitEnabled();
    void submit();
    void resend();
    void onBackClicked();
    void onDigitsChanged();

    QLabel *m_subtitleLabel = nullptr;
    CodeDigitRow *m_codeRow = nullptr;
    QPushButton *m_submitButton = nullptr;
    QLabel *m_errorLabel = nullptr;
    QPushButton *m_resendButton = nullptr;
    QPushButton *m_backButton = nullptr;
    std::unique_ptr<ResendCountdown> m_countdown;
    bool m_busy = false;
};

} // namespace UI
