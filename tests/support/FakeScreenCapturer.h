#pragma once

#include "platform/IScreenCapturer.h"

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
    int availabilityCalls = 0;
    int accessRequests = 0;
    int resumeNotices = 0;
    int revocations = 0;
};

} // namespace TestSupport
