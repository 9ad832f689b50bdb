#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace Networking {

// Reads one HTTP/1.1 answer as its bytes arrive: the status line and headers, then a body bounded
// by Content-Length, by chunked coding or by the end of the connection. Interim 1xx answers are
// skipped. Bytes beyond the answer are refused as a protocol failure: nothing is pipelined.
class HttpAnswerParser final
{
public:
    enum class State { Head, Body, Done, Failed, TooLarge };

    explicit HttpAnswerParser(qint64 maximumBodyBytes);

    // Takes the next bytes of the connection.
    State feed(QByteArrayView bytes);
    // The connection ended; an answer whose end is the connection's end is done now.
    State finish();

    State state() const { return m_state; }
    bool headReceived() const { return m_status > 0; }
    int status() const { return m_status; }
    // The Location header of the final answer; empty without one.
    const QByteArray &location() const { return m_location; }
    QByteArray takeBody() { return std::move(m_body); }
    // Whether the connection may carry the next request once the answer is done.
    bool keepsConnection() const { return m_keepAlive; }

private:
    enum class Framing { Length, Chunked, UntilClose };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    bool parseHead(QByteArrayView head);
    void startBody(bool bodyless);
    void readBody();
    bool readChunks();
    void fail() { m_state = State::Failed; }

    qint64 m_maximumBodyBytes;
    State m_state = State::Head;
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    int m_status = 0;
    QByteArray m_location;
    QByteArray m_body;
    bool m_keepAlive = true;
    bool m_chunkedHeader = false;
    qint64 m_contentLength = -1;
    Framing m_framing = Framing::UntilClose;
    ChunkStep m_chunkStep = ChunkStep::Size;
    qint64 m_chunkLeft = 0;
};

} // namespace Networking
