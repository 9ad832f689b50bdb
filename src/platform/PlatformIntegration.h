#pragma once

#include "platform/IPlatformIntegration.h"

#include <functional>
#include <memory>

namespace Platform {

// An integration that makes and owns its four objects. The constructor calls the factories in
// the order idle provider, input monitor, screen capturer, sleep watcher; the destructor deletes
// the objects in reverse. When a factory throws, the objects already made are deleted and the
// exception passes on. The back ends derive from it and only choose the factories.
class PlatformIntegration : public IPlatformIntegration
{
public:
    struct Factories
    {
        std::function<std::unique_ptr<IIdleProvider>()> idleProvider;
        std::function<std::unique_ptr<IInputMonitor>()> inputMonitor;
        std::function<std::unique_ptr<IScreenCapturer>()> screenCapturer;
        std::function<std::unique_ptr<ISleepWatcher>()> sleepWatcher;
    };

    explicit PlatformIntegration(const Factories &factories);
    ~PlatformIntegration() override;

    PlatformIntegration(const PlatformIntegration &) = delete;
    PlatformIntegration &operator=(const PlatformIntegration &) = delete;

    IIdleProvider *idleProvider() final;
    IInputMonitor *inputMonitor() final;
    IScreenCapturer *screenCapturer() final;
    ISleepWatcher *sleepWatcher() final;

private:
    // Declared in creation order: members are destroyed in reverse, also when a later member's
    // initialiser throws.
    std::unique_ptr<IIdleProvider> m_idleProvider;
    std::unique_ptr<IInputMonitor> m_inputMonitor;
    std::unique_ptr<IScreenCapturer> m_screenCapturer;
    std::unique_ptr<ISleepWatcher> m_sleepWatcher;
};

} // namespace Platform
