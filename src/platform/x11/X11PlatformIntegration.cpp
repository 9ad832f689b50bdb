#include "platform/x11/X11PlatformIntegration.h"

#include "platform/LogindSleepWatcher.h"
#include "platform/x11/X11IdleProvider.h"
#include "platform/x11/X11InputMonitor.h"
#include "platform/x11/X11ScreenCapturer.h"

namespace Platform::X11 {

X11PlatformIntegration::X11PlatformIntegration()
    : PlatformIntegration({
            [] { return std::make_unique<X11IdleProvider>(); },
            [] { return std::make_unique<X11InputMonitor>(); },
            [] { return std::make_unique<X11ScreenCapturer>(); },
            [] { return std::make_unique<LogindSleepWatcher>(); },
    })
{
}

} // namespace Platform::X11
