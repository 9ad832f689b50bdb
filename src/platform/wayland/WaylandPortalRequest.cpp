#include "platform/wayland/WaylandPortalRequest.h"

#include <QDBusConnection>
#include <QTimer>

#include "storage/Log.h"

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

WaylandPortalRequest::WaylandPortalRequest(Callback callback, QObject *parent)
    : QObject(parent)
    , m_callback(std::move(callback))
{
}

WaylandPortalRequest::~WaylandPortalRequest() = default;

QString WaylandPortalRequest::requestPath(const QString &uniqueName, const QString &handleToken)
{
    QString sender = uniqueName;
    if (sender.startsWith(u':'))
        sender.remove(0, 1);
    sender.replace(u'.', u'_');
    return u"/org/freedesktop/portal/desktop/request/%1/%2"_s.arg(sender, handleToken);
}

WaylandPortalRequest *WaylandPortalRequest::create(QDBusConnection &bus, const QString &handleToken,
                                                   Callback callback, QObject *parent,
                                                   int timeoutMs)
{
    const QString path = requestPath(bus.baseService(), handleToken);
    auto *request = new WaylandPortalRequest(std::move(callback), parent);
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info,
                     u"PortalRequest: subscribing Response at %1"_s.arg(path));
    bus.connect(u"org.freedesktop.portal.Desktop"_s, path, u"org.freedesktop.portal.Request"_s,
                u"Response"_s, request, SLOT(onResponse(uint, QVariantMap)));
    QTimer::singleShot(timeoutMs, request, [request] { request->onTimeout(); });
    return request;
}

void WaylandPortalRequest::onResponse(uint response, const QVariantMap &results)
{
    finish(response, results);
}

void WaylandPortalRequest::onTimeout()
{
    finish(2, {});
}

void WaylandPortalRequest::finish(uint response, const QVariantMap &results)
{
    if (m_done)
        return;
    m_done = true;
    if (m_callback)
        m_callback(response, results);
    deleteLater();
}

void WaylandPortalRequest::cancel()
{
    if (m_done)
        return;
    m_done = true;
    deleteLater();
}

} // namespace Platform::Wayland
