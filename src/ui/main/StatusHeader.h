#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace Core {
class SessionManager;
}

namespace UI {

class ShownRefresh;

// The slim bar above the main window's tabs: a coloured dot and a word or two on what the session
// engine is doing, and the brand name. It follows the engine's stateChanged alone; the dot takes
// a new palette's colours at its next refresh. Hidden, it refreshes when next shown; shown, it
// touches only the text or the dot colour that changed. GUI thread only.
class StatusHeader final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusHeader)

public:
    struct State
    {
        QString text;
        // "#RRGGBB", read from the colour variables when chosen.
        QString colour;
    };

    // Follows Core::SessionManager::instance().
    explicit StatusHeader(QWidget *parent = nullptr);
    explicit StatusHeader(Core::SessionManager &engine, QWidget *parent = nullptr);
    ~StatusHeader() override;

    // The first matching of: not tracking, idle decision pending, idle, paused, tracking.
    static State stateFor(bool tracking, bool needsIdleDecision, bool idle, bool paused);

public Q_SLOTS:
    void refresh();

private:
    void applyState();

    Core::SessionManager &m_engine;
    ShownRefresh *m_shownRefresh = nullptr;
    QString m_dotColour;
    QLabel *m_dotLabel = nullptr;
    QLabel *m_stateLabel = nullptr;
};

} // namespace UI
