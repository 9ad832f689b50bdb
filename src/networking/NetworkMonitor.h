#pragma once

#include <QNetworkInformation>
#include <QObject>

#include <atomic>
#include <functional>

namespace Networking {

// Whether the desktop reports the network as reachable, from Qt's network-information backend.
// Advisory only: the upload worker logs it, and no request is skipped or delayed because of it.
//
// Threading: isOnline() may be read on any thread. Reachability changes arrive on the thread the
// monitor lives on, so create it through instance() on the GUI thread during wiring; on a thread
// without an event loop the flag keeps its first value. Without a backend it stays online.
class NetworkMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkMonitor)

public:
    using BackendLoader = std::function<bool()>;

    static NetworkMonitor &instance();

    // The process-wide monitor uses QNetworkInformation::loadDefaultBackend; tests pass their own.
    explicit NetworkMonitor(const BackendLoader &loadBackend, QObject *parent = nullptr);

    bool isOnline() const;

    // Site and Online are reachable; Unknown, Disconnected and Local are not.
    static bool isReachable(QNetworkInformation::Reachability reachability);

Q_SIGNALS:
    void onlineChanged(bool online);

public Q_SLOTS:
    void onReachabilityChanged(QNetworkInformation::Reachability reachability);

private:
    std::atomic_bool m_online{ true };
};

} // namespace Networking
