#pragma once

#include "platform/IPlatformIntegration.h"

#include <memory>

namespace Platform {

// The back end that detectPlatform() chooses now (it detects again on every call): the X11 or
// the Wayland integration, or none when headless. GUI thread, once at start-up. An exception
// from one of the back end's constructors passes on to the caller.
std::unique_ptr<IPlatformIntegration> createPlatformIntegration();

} // namespace Platform
