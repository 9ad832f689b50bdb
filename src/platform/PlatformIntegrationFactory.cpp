#include "platform/PlatformIntegrationFactory.h"

#include "platform/PlatformKind.h"
#include "platform/wayland/WaylandPlatformIntegration.h"
#include "platform/x11/X11PlatformIntegration.h"

namespace Platform {

std::unique_ptr<IPlatformIntegration> createPlatformIntegration()
{
    switch (detectPlatform()) {
    case PlatformKind::X11:
        return std::make_unique<X11::X11PlatformIntegration>();
    case PlatformKind::Wayland:
        return std::make_unique<Wayland::WaylandPlatformIntegration>();
    case PlatformKind::Headless:
        return nullptr;
    }
    return nullptr;
}

} // namespace Platform
