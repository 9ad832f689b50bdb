#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class QTcpServer;

namespace TestSupport {

class FakeHrBackend;
class FakeHrConnection;

// The stand-in's listening socket and its connections. Lives on the server thread; the other
// threads reach it only through queued or blocking-queued calls made by FakeHrServer.
class FakeHrListener final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeHrListener)

public:
    FakeHrListener(FakeHrBackend &backend, bool tls);
    ~FakeHrListener() override;

    FakeHrBackend &backend() { return m_backend; }
    bool isTls() const { return m_tls; }

    // Listens on 127.0.0.1; port 0 picks a free one, which later resumes keep.
    bool listen(quint16 port);
    quint16 port() const { return m_port; }
    bool isListening() const;
    // Closes the listening socket, so connecting is refused, and resets every open connection
    // except `spare` (a control call answering on its own connection).
    void stopListening(FakeHrConnection *spare = nullptr);
    // Listens again on the same port.
    bool resumeListening();
    // Stops listening now and listens again after `milliseconds`.
    void refuseFor(int milliseconds, FakeHrConnection *spare);
    // Lets the answers held at these barriers go.
    void releaseBarriers(const QList<int> &barrierIds);
    void shutdown();

signals:
    void requestRecorded(int order);

private:
    void onPendingConnection();
    void onConnectionFinished(FakeHrConnection *connection);
    void onHeldAtBarrier(FakeHrConnection *connection, int barrierId);
    void onBarrierOpened(int barrierId);

    FakeHrBackend &m_backend;
    bool m_tls = false;
    quint16 m_port = 0;
    std::unique_ptr<QTcpServer> m_server;
    QList<QPointer<FakeHrConnection>> m_connections;
    QHash<int, QList<QPointer<FakeHrConnection>>> m_held;
    int m_nextConnectionId = 1;
};

} // namespace TestSupport
