#pragma once

#include <QObject>
#include <QString>

namespace UI {

// Fetches the company configuration at once, off the GUI thread, and applies it while still
// signed in. Used at start-up when signed in without a usable cached configuration (the cache
// missing after an interrupted first fetch, or unreadable), so that Start does not stay off until
// the periodic refresh, and by the Tracker's Retry. One fetch at a time; GUI thread only.
class ConfigFetch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConfigFetch)

public:
    static ConfigFetch &instance();

    // Starts a fetch unless one is running.
    void start();
    bool isRunning() const { return m_running; }
    // The text of the last failed fetch; empty after a success or before any fetch.
    QString lastFailure() const { return m_lastFailure; }

Q_SIGNALS:
    void changed();

private:
    ConfigFetch() = default;

    bool m_running = false;
    QString m_lastFailure;
};

} // namespace UI
