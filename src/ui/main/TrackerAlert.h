#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace Core {
class SessionManager;
}

namespace UI {

// The Tracker's warning strip, above its pages: that tracked work cannot be saved (the store's
// folder cannot be written), or, while signed in without the company configuration, why Start is
// off, with a Retry. Hidden when neither applies. GUI thread only.
class TrackerAlert final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrackerAlert)

public:
    explicit TrackerAlert(Core::SessionManager &engine, QWidget *parent = nullptr);

    void refresh();

private:
    Core::SessionManager &m_engine;
    QLabel *m_text = nullptr;
    QPushButton *m_retryButton = nullptr;
};

} // namespace UI
