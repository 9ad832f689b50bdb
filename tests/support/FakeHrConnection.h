#pragma once

#include "FakeHrBackend.h"

#include <QByteArray>
#include <QObject>

#include <optional>

class QTcpSocket;

namespace TestSupport {

class FakeHrListener;
struct ParsedHttpRequest;

// One client connection of the stand-in, on the server thread. It reads HTTP/1.1 requests one at
// a time: while an answer is held, delayed, hung or stalled, later requests on the same
// connection wait in the buffer, as they would behind a slow server.
class FakeHrConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeHrConnection)

public:
    // Takes ownership of the socket.
    FakeHrConnection(QTcpSocket *socket, int id, FakeHrListener &listener);

    int id() const { return m_id; }
    // Sends the answer held at its barrier.
    void releaseFromBarrier();
    // Closes at once (a reset, not a polite end), for refused-connection tests and shutdown.
    void abort();

signals:
    void requestRecorded(int order);
    void heldAtBarrier(int barrierId);
    void barrierOpened(int barrierId);
    void finished();

private:
    void onReadyRead();
    void processBuffer();
    void handle(const ParsedHttpRequest &request);
    void start(const FakeHrPlan &plan);
    void execute(const FakeHrPlan &plan);
    void write(const FakeHrAnswer &answer, bool keepAlive, qsizetype bodyBytes,
               const QByteArray &location = {}, bool announceLength = true);
    void answerControl(const ParsedHttpRequest &request);

    QTcpSocket *m_socket = nullptr;
    int m_id = 0;
    FakeHrListener &m_listener;
    QByteArray m_buffer;
    bool m_busy = false;
    bool m_keepAlive = true;
    bool m_continueSent = false;
    std::optional<FakeHrPlan> m_held;
};

} // namespace TestSupport
