#pragma once

#include <QString>

// The desktop entry and icon of a program run from an AppImage, written into the user's XDG data
// location so that menus and window lists show it. GUI thread, once at start-up.
namespace Platform {

// Copies the 256-pixel icon on every call; writes "applications/tembrix-clockwarden.desktop"
// (mode 0755) and starts the cache tools only when the entry's content changed. True when the
// entry was written by this call; false when not run from an AppImage, nothing changed, or on a
// failure (logged under "config").
bool installDesktopEntry();

// The Exec= value for a program path: quoted by the Desktop Entry rules when it holds a reserved
// character, with every "%" doubled.
QString desktopEntryExecValue(const QString &programPath);

} // namespace Platform
