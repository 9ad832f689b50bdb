#pragma once

#include "networking/APIResponse.h"

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>

class QDeadlineTimer;
class QTcpSocket;

namespace Networking {

// One kept-alive HTTP/1.1 connection that a thread without a user interface sends its requests on,
// waiting in place for each answer: no network thread, no signals between threads, and the answer
// read in whole buffers (the network access manager reads its head a byte at a time). A queued
// task costs a handful of system calls.
//
// It keeps ReplyGuard's rules: a redirect within the origin is followed as the network access
// manager would; one to any other origin is refused before a byte goes there; an answer announced
// or growing beyond the bound is cut off as it arrives. A reused connection the server closed
// while idle is replaced, and a request it dropped before any answer is sent once more, as the
// network access manager does.
//
// Threading: one connection per thread (forThisThread), used only by that thread and closed when
// it ends. Failures come back in the RawReply with the network access manager's error codes.
class HttpConnection final
{
    Q_DISABLE_COPY_MOVE(HttpConnection)

public:
    using Headers = QList<std::pair<QByteArray, QByteArray>>;
    using AbortCheck = bool (*)();

    HttpConnection();
    ~HttpConnection();

    static HttpConnection &forThisThread();
    // Closes the calling thread's connection, if it has one.
    static void closeForThisThread();
    // An http or https address with a host that no proxy is configured for.
    static bool canSend(const QUrl &url);
    // Fills raw with a refusal when a header name or value holds a line break, which would let
    // it add header lines of its own: the network access manager sends those as they are.
    static bool refusesHeaders(const Headers &headers, RawReply &raw);

    // Sends one request and reads its answer. Ends after timeoutMs as a timed-out cancel, and when
    // aborted() turns true (asked every 250 ms) as a cancel.
    RawReply exchange(const QUrl &url, const QByteArray &method,
                      const std::optional<QByteArray> &body, const Headers &headers, int timeoutMs,
                      AbortCheck aborted);
    void close();
    // Connections opened so far by this object.
    int connectionsOpened() const { return m_connectionsOpened; }

private:
    enum class Step { Answered, Failed, Retry };
    enum class Wait { Ready, Closed, Failed };

    Step sendOnce(const QUrl &url, const QByteArray &request, const QDeadlineTimer &deadline,
                  AbortCheck aborted, RawReply &raw, class HttpAnswerParser &parser);
    bool ensureConnected(const QUrl &url, const QDeadlineTimer &deadline, AbortCheck aborted,
                         RawReply &raw, bool *reused);
    Wait waitForSocket(bool forWrite, const QDeadlineTimer &deadline, AbortCheck aborted,
                       RawReply &raw);

    std::unique_ptr<QTcpSocket> m_socket;
    QUrl m_origin;
    int m_connectionsOpened = 0;
};

} // namespace Networking
