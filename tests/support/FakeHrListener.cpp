#include "FakeHrListener.h"

#include "FakeHrConnection.h"
#include "TestCertificate.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace TestSupport {

FakeHrListener::FakeHrListener(FakeHrBackend &backend, bool tls)
    : m_backend(backend)
    , m_tls(tls)
{
}

FakeHrListener::~FakeHrListener()
{
    shutdown();
}

bool FakeHrListener::listen(quint16 port)
{
    if (m_tls) {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(TestCertificate::serverConfiguration());
        m_server = std::move(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    // Emitted for plain sockets at once and for TLS sockets after their handshake.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this,
            &FakeHrListener::onPendingConnection);
    if (!m_server->listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

bool FakeHrListener::isListening() const
{
    return m_server && m_server->isListening();
}

void FakeHrListener::stopListening(FakeHrConnection *spare)
{
    if (m_server)
        m_server->close();
    const QList<QPointer<FakeHrConnection>> connections = m_connections;
    for (const QPointer<FakeHrConnection> &connection : connections) {
        if (connection && connection != spare)
            connection->abort();
    }
}

bool FakeHrListener::resumeListening()
{
    if (!m_server || m_port == 0)
        return false;
    return m_server->isListening() || m_server->listen(QHostAddress::LocalHost, m_port);
}

void FakeHrListener::refuseFor(int milliseconds, FakeHrConnection *spare)
{
    stopListening(spare);
    QTimer::singleShot(milliseconds, this, [this] {
        if (!resumeListening())
            qWarning("fake HR server: cannot listen again on port %u", unsigned(m_port));
    });
}

void FakeHrListener::releaseBarriers(const QList<int> &barrierIds)
{
    for (int id : barrierIds)
        onBarrierOpened(id);
}

void FakeHrListener::shutdown()
{
    if (m_server)
        m_server->close();
    const QList<QPointer<FakeHrConnection>> connections = m_connections;
    m_connections.clear();
    m_held.clear();
    for (const QPointer<FakeHrConnection> &connection : connections) {
        if (connection) {
            connection->abort();
            delete connection.data();
        }
    }
    m_server.reset();
}

void FakeHrListener::onPendingConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new FakeHrConnection(socket, m_nextConnectionId++, *this);
        connection->setParent(this);
        m_connections.append(connection);
        connect(connection, &FakeHrConnection::requestRecorded, this,
                &FakeHrListener::requestRecorded);
        connect(connection, &FakeHrConnection::heldAtBarrier, this,
                [this, connection](int id) { onHeldAtBarrier(connection, id); });
        connect(connection, &FakeHrConnection::barrierOpened, this,
                &FakeHrListener::onBarrierOpened);
        connect(connection, &FakeHrConnection::finished, this,
                [this, connection] { onConnectionFinished(connection); });
    }
}

void FakeHrListener::onConnectionFinished(FakeHrConnection *connection)
{
    m_connections.removeAll(connection);
    connection->deleteLater();
}

void FakeHrListener::onHeldAtBarrier(FakeHrConnection *connection, int barrierId)
{
    m_held[barrierId].append(connection);
}

void FakeHrListener::onBarrierOpened(int barrierId)
{
    const QList<QPointer<FakeHrConnection>> held = m_held.take(barrierId);
    for (const QPointer<FakeHrConnection> &connection : held) {
        if (connection)
            connection->releaseFromBarrier();
    }
}

} // namespace TestSupport
