#include "platform/PlatformIntegration.h"

#include "platform/IIdleProvider.h"
#include "platform/IInputMonitor.h"
#include "platform/IScreenCapturer.h"
#include "platform/ISleepWatcher.h"

namespace Platform {

PlatformIntegration::PlatformIntegration(const Factories &factories)
    : m_idleProvider(factories.idleProvider())
    , m_inputMonitor(factories.inputMonitor())
    , m_screenCapturer(factories.screenCapturer())
    , m_sleepWatcher(factories.sleepWatcher())
{
}

PlatformIntegration::~PlatformIntegration() = default;

IIdleProvider *PlatformIntegration::idleProvider()
{
    return m_idleProvider.get();
}

IInputMonitor *PlatformIntegration::inputMonitor()
{
    return m_inputMonitor.get();
}

IScreenCapturer *PlatformIntegration::screenCapturer()
{
    return m_screenCapturer.get();
}

ISleepWatcher *PlatformIntegration::sleepWatcher()
{
    return m_sleepWatcher.get();
}

} // namespace Platform
