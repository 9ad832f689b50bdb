#include "FakePlatformIntegration.h"

namespace TestSupport {

FakePlatformIntegration::FakePlatformIntegration(SleepWatcher sleepWatcher)
    : idle(std::make_unique<FakeIdleProvider>())
    , input(std::make_unique<FakeInputMonitor>())
    , capturer(std::make_unique<FakeScreenCapturer>())
{
    if (sleepWatcher == SleepWatcher::Present)
        sleep = std::make_unique<FakeSleepWatcher>();
}

FakePlatformIntegration::~FakePlatformIntegration()
{
    // Reverse order of creation, as the real integrations do.
    sleep.reset();
    capturer.reset();
    input.reset();
    idle.reset();
}

} // namespace TestSupport
