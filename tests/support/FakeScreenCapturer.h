#pragma once

#include "platform/IScreenCapturer.h"

#include <functional>

namespace TestSupport {

// A capturer that hands out the images the test set and counts every call.
class FakeScreenCapturer final : public Platform::IScreenCapturer
{
    Q_OBJECT

public:
    using Platform::IScreenCapturer::IScreenCapturer;

    QList<QImage> captureScreens() override
    {
        ++captureCalls;
        if (duringCapture)
            duringCapture();
        return images;
    }
    bool isAvailable() override
    {
        ++availabilityCalls;
        return available;
    }
    void requestAccess() override { ++accessRequests; }
    void onSystemResumed() override { ++resumeNotices; }
    void onPermissionRevoked() override { ++revocations; }

    QList<QImage> images;
    bool available = true;
    int captureCalls = 0;
    // Runs inside captureScreens, as a capturer that waits for a portal or a frame would.
    std::function<void()> duringCapture;
    int availabilityCalls = 0;
    int accessRequests = 0;
    int resumeNotices = 0;
    int revocations = 0;
};

} // namespace TestSupport
