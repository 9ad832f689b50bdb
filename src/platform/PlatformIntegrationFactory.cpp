#include "platform/PlatformIntegrationFactory.h"

#include "platform/PlatformKind.h"
#include "platform/x11/X11PlatformIntegration.h"

namespace Platform {

std::unique_ptr<IPlatformIntegration> createPlatformIntegration()
{
    switch (detectPlatform()) {
    case PlatformKind::X11:
        return std::make_unique<X11::X11PlatformIntegration>();
    case PlatformKind::Wayland:
        // The Wayland integration is not part of the library yet.
        return nullptr;
    case PlatformKind::Headless:
        return nullptr;
    }
    return nullptr;
}

} // namespace Platform
