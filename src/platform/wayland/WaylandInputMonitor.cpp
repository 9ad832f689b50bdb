#include "platform/wayland/WaylandInputMonitor.h"

#include "platform/IIdleProvider.h"

namespace Platform::Wayland {

WaylandInputMonitor::WaylandInputMonitor(IIdleProvider *idleProvider, QObject *parent)
    : IInputMonitor(parent)
    , m_idleProvider(idleProvider)
{
    m_pollTimer.setInterval(1000);
    connect(&m_pollTimer, &QTimer::timeout, this, &WaylandInputMonitor::poll);
}

void WaylandInputMonitor::start()
{
    if (!m_degradedSent) {
        m_degradedSent = true;
        Q_EMIT degraded();
    }
    if (!m_pollTimer.isActive())
        m_pollTimer.start();
}

void WaylandInputMonitor::stop()
{
    m_pollTimer.stop();
}

bool WaylandInputMonitor::isAvailable()
{
    return m_idleProvider && m_idleProvider->isAvailable();
}

void WaylandInputMonitor::poll()
{
    if (!m_idleProvider || !m_idleProvider->isAvailable())
        return;
    // Below two seconds of idleness: the user did something during this second.
    if (m_idleProvider->idleSeconds() <= 1)
        Q_EMIT mouseMoved();
}

} // namespace Platform::Wayland
