#pragma once

#include <QDateTime>
#include <QMutex>
#include <QObject>

#include <optional>

namespace Platform {
class IInputMonitor;
}

namespace Services {

// Counts the user's input while a session is tracked and starts and stops the input monitor for
// the session engine. Lives on the GUI thread; the monitor may emit on its own thread, so its
// signals arrive queued. The mutex makes every slot and every read-and-clear atomic with respect to
// the others. The monitor is not owned and may be null.
class ActivityTracker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivityTracker)

public:
    struct IntervalCounts
    {
        int mouse = 0;
        int keys = 0;
    };

    struct Snapshot
    {
        int mouseMovements = 0;
        int keyPresses = 0;
        double activityPercent = 0.0;
    };

    explicit ActivityTracker(Platform::IInputMonitor *monitor, QObject *parent = nullptr);

    // Starts the monitor once per transition; always true.
    bool start();
    void stop();
    // Zeroes every count and forgets the last input; the degraded notice and started stay.
    void reset();

    std::optional<QDateTime> lastActivityAt() const;
    // Whether there was input since the previous call; clears the flag.
    bool takeActivityFlag();
    // Movements and key presses since the previous call; zeroes them.
    IntervalCounts takeIntervalCounts();
    void addActiveSecond();
    // Totals since the last reset; the percentage is active seconds over elapsedSeconds, 0 to 100.
    Snapshot snapshot(double elapsedSeconds) const;

private Q_SLOTS:
    void onKeyPressed();
    void onMouseMoved();
    void onMouseClicked();
    void onDegraded();

private:
    Platform::IInputMonitor *m_monitor = nullptr;
    mutable QMutex m_mutex;
    bool m_degraded = false;
    int m_mouseMovements = 0;
    int m_keyPresses = 0;
    int m_activeSeconds = 0;
    bool m_hadInput = false;
    int m_periodMouseMovements = 0;
    int m_periodKeyPresses = 0;
    std::optional<QDateTime> m_lastInputAt;
    bool m_started = false;
};

} // namespace Services
