#include "services/tracking/ActivityTracker.h"

#include "core/Clock.h"
#include "platform/IInputMonitor.h"
#include "storage/Log.h"

#include <algorithm>
#include <utility>

namespace Services {

ActivityTracker::ActivityTracker(Platform::IInputMonitor *monitor, QObject *parent)
    : QObject(parent)
    , m_monitor(monitor)
{
    if (!m_monitor)
        return;
    connect(m_monitor, &Platform::IInputMonitor::keyPressed, this, &ActivityTracker::onKeyPressed);
    connect(m_monitor, &Platform::IInputMonitor::mouseMoved, this, &ActivityTracker::onMouseMoved);
    connect(m_monitor, &Platform::IInputMonitor::mouseClicked, this,
            &ActivityTracker::onMouseClicked);
    connect(m_monitor, &Platform::IInputMonitor::degraded, this, &ActivityTracker::onDegraded);
}

bool ActivityTracker::start()
{
    if (!m_started) {
        if (m_monitor)
            m_monitor->start();
        m_started = true;
    }
    return true;
}

void ActivityTracker::stop()
{
    if (!m_started)
        return;
    if (m_monitor)
        m_monitor->stop();
    m_started = false;
}

void ActivityTracker::reset()
{
    const QMutexLocker locker(&m_mutex);
    m_mouseMovements = 0;
    m_keyPresses = 0;
    m_activeSeconds = 0;
    m_hadInput = false;
    m_periodMouseMovements = 0;
    m_periodKeyPresses = 0;
    m_lastInputAt.reset();
}

std::optional<QDateTime> ActivityTracker::lastActivityAt() const
{
    const QMutexLocker locker(&m_mutex);
    return m_lastInputAt;
}

bool ActivityTracker::takeActivityFlag()
{
    const QMutexLocker locker(&m_mutex);
    return std::exchange(m_hadInput, false);
}

ActivityTracker::IntervalCounts ActivityTracker::takeIntervalCounts()
{
    const QMutexLocker locker(&m_mutex);
    return { std::exchange(m_periodMouseMovements, 0), std::exchange(m_periodKeyPresses, 0) };
}

void ActivityTracker::addActiveSecond()
{
    const QMutexLocker locker(&m_mutex);
    ++m_activeSeconds;
}

ActivityTracker::Snapshot ActivityTracker::snapshot(double elapsedSeconds) const
{
    const QMutexLocker locker(&m_mutex);
    double percent = 0.0;
    if (elapsedSeconds > 0)
        percent = std::clamp(m_activeSeconds / elapsedSeconds * 100.0, 0.0, 100.0);
    return { m_mouseMovements, m_keyPresses, percent };
}

void ActivityTracker::onKeyPressed()
{
    const QDateTime now = Core::Clock::nowUtc();
    const QMutexLocker locker(&m_mutex);
    ++m_keyPresses;
    ++m_periodKeyPresses;
    m_hadInput = true;
    m_lastInputAt = now;
}

void ActivityTracker::onMouseMoved()
{
    const QDateTime now = Core::Clock::nowUtc();
    const QMutexLocker locker(&m_mutex);
    ++m_mouseMovements;
    ++m_periodMouseMovements;
    m_hadInput = true;
    m_lastInputAt = now;
}

void ActivityTracker::onMouseClicked()
{
    const QDateTime now = Core::Clock::nowUtc();
    const QMutexLocker locker(&m_mutex);
    m_hadInput = true;
    m_lastInputAt = now;
}

void ActivityTracker::onDegraded()
{
    {
        const QMutexLocker locker(&m_mutex);
        if (m_degraded)
            return;
        m_degraded = true;
    }
    // Written after the lock is released: the log takes its own lock and may be slow.
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info,
                     QStringLiteral("ActivityTracker: input monitoring degraded — activity counts "
                                    "are approximated and keyboard count is 0 (Wayland)"));
}

} // namespace Services
