#pragma once

#include "platform/IScreenCapturer.h"

namespace Platform::X11 {

// One image per RandR output with a CRTC, grabbed from the root window with GetImage over a
// connection opened for each call. Called on the GUI thread, which it blocks for the round trips.
// Needs no grant: always available, requestAccess() does nothing.
class X11ScreenCapturer final : public IScreenCapturer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(X11ScreenCapturer)

public:
    X11ScreenCapturer() = default;

    // In RandR output order; an empty list when nothing could be grabbed.
    QList<QImage> captureScreens() override;
    bool isAvailable() override { return true; }
    void requestAccess() override { }
};

} // namespace Platform::X11
