#include "platform/PlatformKind.h"

#include <QByteArray>
#include <QtGlobal>

namespace Platform {

PlatformKind detectPlatform()
{
    const QByteArray forced = qgetenv("TEMBRIX_FORCE_PLATFORM");
    if (!forced.isEmpty()) {
        if (forced == "wayland")
            return PlatformKind::Wayland;
        if (forced == "headless")
            return PlatformKind::Headless;
        return PlatformKind::X11;
    }

    const QByteArray sessionType = qgetenv("XDG_SESSION_TYPE");
    if (sessionType == "wayland")
        return PlatformKind::Wayland;
    if (sessionType.isEmpty() || sessionType == "tty")
        return qgetenv("DISPLAY").isEmpty() ? PlatformKind::Headless : PlatformKind::X11;
    return PlatformKind::X11;
}

} // namespace Platform
