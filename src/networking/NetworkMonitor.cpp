#include "networking/NetworkMonitor.h"

namespace Networking {

NetworkMonitor &NetworkMonitor::instance()
{
    static NetworkMonitor monitor([] { return QNetworkInformation::loadDefaultBackend(); });
    return monitor;
}

NetworkMonitor::NetworkMonitor(const BackendLoader &loadBackend, QObject *parent)
    : QObject(parent)
{
    if (!loadBackend()) {
        qWarning("NetworkMonitor: no QNetworkInformation backend; assuming online.");
        m_online = true;
        return;
    }
    QNetworkInformation *information = QNetworkInformation::instance();
    if (!information) {
        m_online = true;
        return;
    }
    onReachabilityChanged(information->reachability());
    connect(information, &QNetworkInformation::reachabilityChanged, this,
            &NetworkMonitor::onReachabilityChanged);
}

bool NetworkMonitor::isOnline() const
{
    return m_online.load();
}

bool NetworkMonitor::isReachable(QNetworkInformation::Reachability reachability)
{
    switch (reachability) {
    case QNetworkInformation::Reachability::Site:
    case QNetworkInformation::Reachability::Online:
        return true;
    case QNetworkInformation::Reachability::Unknown:
    case QNetworkInformation::Reachability::Disconnected:
    case QNetworkInformation::Reachability::Local:
        break;
    }
    return false;
}

void NetworkMonitor::onReachabilityChanged(QNetworkInformation::Reachability reachability)
{
    const bool online = isReachable(reachability);
    if (m_online.exchange(online) != online)
        Q_EMIT onlineChanged(online);
}

} // namespace Networking
