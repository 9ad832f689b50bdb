#pragma once

#include <QObject>
#include <QVariantMap>

#include <functional>

class QDBusConnection;

namespace Platform::Wayland {

// Waits for the Response signal of one xdg-desktop-portal step. The subscription is made at
// creation, before the caller sends the method call, so a Response cannot be missed. The request
// finishes once: on the Response, or with response 2 and no results when its time-out fires; a
// late or second Response does nothing. Lives on the GUI thread and deletes itself when done.
class WaylandPortalRequest final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaylandPortalRequest)

public:
    using Callback = std::function<void(uint response, const QVariantMap &results)>;

    ~WaylandPortalRequest() override;

    // The request object path the portal will use for this bus connection and handle token.
    static QString requestPath(const QString &uniqueName, const QString &handleToken);
    static WaylandPortalRequest *create(QDBusConnection &bus, const QString &handleToken,
                                        Callback callback, QObject *parent, int timeoutMs);

    // Finishes without running the callback.
    void cancel();

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap &results);

private:
    WaylandPortalRequest(Callback callback, QObject *parent);

    void finish(uint response, const QVariantMap &results);
    void onTimeout();

    Callback m_callback;
    bool m_done = false;
};

} // namespace Platform::Wayland
