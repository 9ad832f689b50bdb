#pragma once

#include <QObject>

#include <functional>

class QTimer;

namespace Platform {
class IIdleProvider;
}

namespace Core {

// Turns the desktop's seconds-since-last-input into two edges: idleness began, input resumed.
// Polls every 5 s while started. GUI thread only; the provider is not owned and may be null.
class IdleDetector final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IdleDetector)

public:
    explicit IdleDetector(Platform::IIdleProvider *provider, QObject *parent = nullptr);
    ~IdleDetector() override;

    // Called on the GUI thread, each once per edge. The flag is updated before the call, so either
    // callback may stop or restart the detector.
    std::function<void()> onIdle;
    std::function<void()> onActive;

    // Restarts polling with a threshold of max(1, minutes) minutes and forgets any idleness.
    void start(int minutes);
    void stop();
    void poll();

private:
    Platform::IIdleProvider *m_provider = nullptr;
    QTimer *m_pollTimer = nullptr;
    qint64 m_thresholdSeconds = 60;
    bool m_idle = false;
};

} // namespace Core
