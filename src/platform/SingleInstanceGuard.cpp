#include "platform/SingleInstanceGuard.h"

#include "storage/Paths.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace Platform {

namespace {

constexpr int lockWaitMs = 10;
constexpr int secondInstanceWaitMs = 500;
const auto showMessage = "Show"_ba;

// A full path: a bare server name would land in the temporary directory, shared by all users,
// and on the fallback runtime directory's own name.
QString socketPath(const QString &runtimeDir)
{
    return runtimeDir + "/tembrix-clockwarden.sock"_L1;
}

} // namespace

SingleInstanceGuard::SingleInstanceGuard(QObject *parent)
    : QObject(parent)
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    m_server.reset();
    m_lockFile.reset();
}

bool SingleInstanceGuard::tryAcquire()
{
    const QString runtimeDir = Paths::runtimeDir();
    m_lockFile = std::make_unique<QLockFile>(runtimeDir + "/tembrix-clockwarden.lock"_L1);
    // A lock held by a running instance never goes stale by age; one whose process is gone is
    // taken over by QLockFile itself.
    m_lockFile->setStaleLockTime(0);

    if (m_lockFile->tryLock(lockWaitMs)) {
        QLocalServer::removeServer(socketPath(runtimeDir));
        m_server = std::make_unique<QLocalServer>();
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server.get(), &QLocalServer::newConnection, this,
                &SingleInstanceGuard::onNewConnection);
        // A failed listen keeps the lock: later instances still refuse, they only cannot reach us.
        m_server->listen(socketPath(runtimeDir));
        return true;
    }

    QLocalSocket socket;
    socket.connectToServer(socketPath(runtimeDir), QIODevice::ReadWrite);
    if (socket.waitForConnected(secondInstanceWaitMs)) {
        socket.write(showMessage);
        socket.flush();
        socket.waitForBytesWritten(secondInstanceWaitMs);
        socket.disconnectFromServer();
    }
    return false;
}

void SingleInstanceGuard::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only the first arrival counts: a message split across reads is dropped.
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            const bool show = socket->readAll().contains(showMessage);
            socket->deleteLater();
            if (show)
                Q_EMIT showRequested();
        });
    }
}

} // namespace Platform
