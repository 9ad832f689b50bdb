#include "ui/signin/ResendCountdown.h"

#include <QAbstractButton>

namespace UI {

ResendCountdown::ResendCountdown(QAbstractButton *button, const QString &idleText,
                                 std::function<QString(int)> format)
    : m_button(button)
    , m_idleText(idleText)
    , m_format(std::move(format))
{
    m_timer.setInterval(1000);
    m_timer.setSingleShot(false);
    QObject::connect(&m_timer, &QTimer::timeout, button, [this] { tick(); });
}

void ResendCountdown::refresh()
{
    const bool idle = m_secondsLeft < 1;
    m_button->setEnabled(idle);
    m_button->setText(idle ? m_idleText : m_format(m_secondsLeft));
}

void ResendCountdown::start(int seconds)
{
    m_secondsLeft = seconds;
    m_timer.start();
    refresh();
}

void ResendCountdown::stop()
{
    m_timer.stop();
    m_secondsLeft = 0;
    refresh();
}

void ResendCountdown::tick()
{
    if (m_secondsLeft >= 1)
        --m_secondsLeft;
    if (m_secondsLeft < 1)
        m_timer.stop();
    refresh();
}

} // namespace UI
