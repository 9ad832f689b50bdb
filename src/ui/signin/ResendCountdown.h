#pragma once

#include <QString>
#include <QTimer>

#include <functional>

class QAbstractButton;

namespace UI {

// Holds a resend button back for a number of seconds after each code is sent, counting down on
// its text. Owned by one page; the timer has no parent and stops delivering once the button is
// gone. GUI thread.
class ResendCountdown final
{
public:
    ResendCountdown(QAbstractButton *button, const QString &idleText,
                    std::function<QString(int)> format);
    ResendCountdown(const ResendCountdown &) = delete;
    ResendCountdown &operator=(const ResendCountdown &) = delete;

    // Button enabled with the idle text at 0 s left, else disabled with the format text.
    void refresh();
    void start(int seconds);
    void stop();
    // One second passed; the timer stops when none is left.
    void tick();

    int secondsLeft() const { return m_secondsLeft; }
    bool isRunning() const { return m_timer.isActive(); }

private:
    QAbstractButton *m_button = nullptr;
    QString m_idleText;
    std::function<QString(int)> m_format;
    int m_secondsLeft = 0;
    QTimer m_timer;
};

} // namespace UI
