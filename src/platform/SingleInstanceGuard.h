#pragma once

#include <QObject>
#include <QString>

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
    // instance holds it (that instance has then been sent "Show" if it could be reached within
    // 500 ms), or when the lock file cannot be created at all (lockError() then says why).
    bool tryAcquire();
    // After a refusal: empty when another live process holds the lock, else one line naming the
    // lock file and the reason it could not be created.
    QString lockError() const { return m_lockError; }

Q_SIGNALS:
    // A second instance asked for the window; emitted on the GUI thread.
    void showRequested();

private:
    void onNewConnection();

    std::unique_ptr<QLockFile> m_lockFile;
    QString m_lockError;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace Platform
