#pragma once

#include "FakeIdleProvider.h"
#include "FakeInputMonitor.h"
#include "FakeScreenCapturer.h"
#include "FakeSleepWatcher.h"

#include "platform/IPlatformIntegration.h"

#include <memory>

namespace TestSupport {

// Owns one fake of each back end; the sleep watcher may be left out, as on a desktop without one.
class FakePlatformIntegration final : public Platform::IPlatformIntegration
{
public:
    enum class SleepWatcher { Present, Absent };

    explicit FakePlatformIntegration(SleepWatcher sleepWatcher = SleepWatcher::Present);
    ~FakePlatformIntegration() override;

    Platform::IIdleProvider *idleProvider() override { return idle.get(); }
    Platform::IInputMonitor *inputMonitor() override { return input.get(); }
    Platform::IScreenCapturer *screenCapturer() override { return capturer.get(); }
    Platform::ISleepWatcher *sleepWatcher() override { return sleep.get(); }

    std::unique_ptr<FakeIdleProvider> idle;
    std::unique_ptr<FakeInputMonitor> input;
    std::unique_ptr<FakeScreenCapturer> capturer;
    std::unique_ptr<FakeSleepWatcher> sleep;
};

} // namespace TestSupport
