#include "services/tracking/PermissionService.h"

#include "platform/IInputMonitor.h"
#include "platform/IScreenCapturer.h"

namespace Services {

PermissionService &PermissionService::instance()
{
    static PermissionService service;
    return service;
}

void PermissionService::setScreenCapturer(Platform::IScreenCapturer *capturer)
{
    m_screenCapturer = capturer;
}

void PermissionService::setInputMonitor(Platform::IInputMonitor *monitor)
{
    m_inputMonitor = monitor;
}

bool PermissionService::hasScreenCapturePermission() const
{
    return !m_screenCapturer || m_screenCapturer->isAvailable();
}

bool PermissionService::hasInputMonitoringPermission() const
{
    return !m_inputMonitor || m_inputMonitor->isAvailable();
}

bool PermissionService::hasAllPermissions() const
{
    return hasScreenCapturePermission() && hasInputMonitoringPermission();
}

void PermissionService::requestScreenCapturePermission()
{
    if (m_screenCapturer)
        m_screenCapturer->requestAccess();
}

void PermissionService::requestInputMonitoringPermission() { }

void PermissionService::revokeScreenCapturePermission()
{
    if (m_screenCapturer)
        m_screenCapturer->onPermissionRevoked();
}

} // namespace Services
