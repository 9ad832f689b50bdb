#pragma once

#include "platform/PlatformIntegration.h"

namespace Platform::X11 {

// The X11 back end: the X11 idle provider, input monitor and screen capturer (each with its own
// connection to the display named by DISPLAY) and the logind sleep watcher.
class X11PlatformIntegration final : public PlatformIntegration
{
public:
    X11PlatformIntegration();
};

} // namespace Platform::X11
