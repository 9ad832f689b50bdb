#pragma once

#include "platform/IScreenCapturer.h"

#include <QDBusConnection>

namespace Platform::Wayland {

// The fallback capturer on Wayland: GNOME Shell's screenshot service writes one PNG of the whole
// desktop, which is loaded and deleted. Availability is decided at construction; a refusal
// (AccessDenied, as GNOME 41+ answers other programs) ends it for good. captureScreens() blocks the
// GUI thread for up to 8000 ms and returns at most one image.
class WaylandScreenshotCapturer final : public IScreenCapturer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaylandScreenshotCapturer)

public:
    explicit WaylandScreenshotCapturer(QObject *parent = nullptr);

    QList<QImage> captureScreens() override;
    bool isAvailable() override;
    void requestAccess() override;

private:
    QList<QImage> captureInto(const QString &requestedPath);

    QDBusConnection m_bus;
    bool m_available = false;
};

} // namespace Platform::Wayland
