#pragma once

#include "platform/IIdleProvider.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QString>

namespace Platform::Wayland {

// Idle time from whichever desktop idle service answers on the session bus: GNOME's Mutter,
// Cinnamon's Muffin, or the freedesktop screen saver. The backend is probed once, at
// construction, with blocking calls of up to 1000 ms each. Answers are cached for 500 ms, so the
// two pollers ask the bus at most twice a second; a failed query reads as 0. GUI thread only.
class WaylandIdleProvider final : public IIdleProvider
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaylandIdleProvider)

public:
    enum class Backend : int { Mutter = 0, Muffin = 1, ScreenSaver = 2, None = 3 };

    explicit WaylandIdleProvider(QObject *parent = nullptr);

    qint64 idleSeconds() override;
    bool isAvailable() override;

    Backend backend() const { return m_backend; }
    // The screen saver's object path; empty unless the backend is ScreenSaver.
    QString screenSaverPath() const { return m_screenSaverPath; }

private:
    void probe();
    qint64 queryMilliseconds();

    QDBusConnection m_bus;
    Backend m_backend = Backend::None;
    QString m_screenSaverPath;
    QElapsedTimer m_queryClock;
    qint64 m_cachedIdleSeconds = 0;
};

} // namespace Platform::Wayland
