#include "platform/SingleInstanceGuard.h"

#include "storage/Paths.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool isRegularFile(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// QLockFile tells only a kind of failure; the system's own reason names the fault for the user.
QString creationFailure(const QString &lockPath, QLockFile::LockError error)
{
    const QByteArray native = QFile::encodeName(lockPath);
    QString reason;
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        ::close(fd);
        reason = error == QLockFile::PermissionError ? u"permission denied"_s : u"unknown error"_s;
    }
    return u"Cannot create the instance lock %1: %2"_s.arg(lockPath, reason);
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
    m_lockError.clear();
    const QString runtimeDir = Paths::runtimeDir();
    const QString lockPath = runtimeDir + "/tembrix-clockwarden.lock"_L1;
    m_lockFile = std::make_unique<QLockFile>(lockPath);
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
    // Something other than a lock file in its place also reads as "held" to QLockFile.
    if (m_lockFile->error() != QLockFile::LockFailedError || !isRegularFile(lockPath)) {
        m_lockError = creationFailure(lockPath, m_lockFile->error());
        return false;
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
