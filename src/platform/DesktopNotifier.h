#pragma once

#include <QObject>
#include <QString>

namespace Platform {

// Desktop notifications through the freedesktop notification service on the session bus.
// Called on the GUI thread; notify() blocks until the service answers. Failures show only in the
// result: nothing is logged or retried.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    // The process-wide instance, made on first use and destroyed at exit.
    static DesktopNotifier &instance();

    // Shows a new notification (never replaces one) for timeoutMs milliseconds. False when there
    // is no session bus or no notification service (nothing is sent), or the call failed.
    static bool notify(const QString &summary, const QString &body, int timeoutMs);

private:
    DesktopNotifier() = default;
};

} // namespace Platform
