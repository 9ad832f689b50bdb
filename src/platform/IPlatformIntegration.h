#pragma once

namespace Platform {

class IIdleProvider;
class IInputMonitor;
class IScreenCapturer;
class ISleepWatcher;

// Owns one object of each back-end interface. Implementations create them in the order idle
// provider, input monitor, screen capturer, sleep watcher, and delete them in reverse. The
// getters never return null and return the same object for the integration's lifetime.
class IPlatformIntegration
{
public:
    virtual ~IPlatformIntegration() = default;

    virtual IIdleProvider *idleProvider() = 0;
    virtual IInputMonitor *inputMonitor() = 0;
    virtual IScreenCapturer *screenCapturer() = 0;
    virtual ISleepWatcher *sleepWatcher() = 0;
};

} // namespace Platform
