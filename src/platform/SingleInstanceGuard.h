#pragma once

#include <QObject>

#include <memory>

class QLocalServer;
class QLockFile;

namespace Platform {

// One program instance per user: a lock file in the runtime directory, and a local socket beside
// it through which a second instance asks the first to show its window. GUI thread only.
class SingleInstanceGuard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstanceGuard)

public:
    explicit SingleInstanceGuard(QObject *parent = nullptr);
    // Stops serving the socket first, then releases the lock.
    ~SingleInstanceGuard() override;

    // True when this process now holds the lock and serves the socket. False when another
    // instance holds it (or the lock cannot be taken at all); the other instance has then been
    // sent "Show" if it could be reached within 500 ms.
    bool tryAcquire();

Q_SIGNALS:
    // A second instance asked for the window; emitted on the GUI thread.
    void showRequested();

private:
    void onNewConnection();

    std::unique_ptr<QLockFile> m_lockFile;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace Platform
