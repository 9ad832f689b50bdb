#pragma once

namespace Platform {

enum class PlatformKind : int { X11 = 0, Wayland = 1, Headless = 2 };

// Decides the back end from the environment, read afresh on every call:
// TEMBRIX_FORCE_PLATFORM, then XDG_SESSION_TYPE, then DISPLAY.
PlatformKind detectPlatform();

} // namespace Platform
