#pragma once

#include <QObject>

namespace Platform {
class IInputMonitor;
class IScreenCapturer;
} // namespace Platform

namespace Services {

// Whether the desktop lets the program capture the screen and watch input, and the user's request
// or revocation of screen-capture access. One process-wide instance, GUI thread only. The two back
// ends are not owned: the application sets them at wiring and clears them at shutdown; while one
// is unset, its question answers true.
class PermissionService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PermissionService)

public:
    static PermissionService &instance();

    void setScreenCapturer(Platform::IScreenCapturer *capturer);
    void setInputMonitor(Platform::IInputMonitor *monitor);

    bool hasScreenCapturePermission() const;
    bool hasInputMonitoringPermission() const;
    // Screen capture first; input monitoring is asked only when capture is granted.
    bool hasAllPermissions() const;

    void requestScreenCapturePermission();
    // Nothing to ask the desktop for; the caller refreshes the permission state afterwards.
    void requestInputMonitoringPermission();
    void revokeScreenCapturePermission();

private:
    PermissionService() = default;

    Platform::IScreenCapturer *m_screenCapturer = nullptr;
    Platform::IInputMonitor *m_inputMonitor = nullptr;
};

} // namespace Services
