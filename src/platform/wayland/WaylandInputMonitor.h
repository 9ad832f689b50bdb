#pragma once

#include "platform/IInputMonitor.h"

#include <QTimer>

namespace Platform {
class IIdleProvider;
}

namespace Platform::Wayland {

// A Wayland compositor hands ordinary clients no input events, so activity is estimated from the
// idle provider: each one-second poll in which the desktop reports less than two idle seconds
// counts as one mouse movement. Key presses and clicks are never reported. The first start says
// so once through degraded(). GUI thread only; the idle provider is not owned.
class WaylandInputMonitor final : public IInputMonitor
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaylandInputMonitor)

public:
    explicit WaylandInputMonitor(IIdleProvider *idleProvider, QObject *parent = nullptr);

    void start() override;
    void stop() override;
    bool isAvailable() override;

    bool isPolling() const { return m_pollTimer.isActive(); }

private:
    void poll();

    IIdleProvider *m_idleProvider = nullptr;
    QTimer m_pollTimer;
    bool m_degradedSent = false;
};

} // namespace Platform::Wayland
