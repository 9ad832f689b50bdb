#include "networking/HttpAnswerParser.h"

#include <algorithm>

namespace Networking {

namespace {

// Far beyond any real head or chunk line; more means the peer is not speaking HTTP.
constexpr qsizetype maximumHeadBytes = 64 * 1024;
constexpr qsizetype maximumLineBytes = 4096;

bool hasToken(QByteArrayView value, QByteArrayView token)
{
    while (!value.isEmpty()) {
        const qsizetype comma = value.indexOf(',');
        const QByteArrayView item = (comma < 0 ? value : value.first(comma)).trimmed();
        if (item.compare(token, Qt::CaseInsensitive) == 0)
            return true;
        if (comma < 0)
            break;
        value = value.sliced(comma + 1);
    }
    return false;
}

} // namespace

HttpAnswerParser::HttpAnswerParser(qint64 maximumBodyBytes)
    : m_maximumBodyBytes(maximumBodyBytes)
{
}

HttpAnswerParser::State HttpAnswerParser::feed(QByteArrayView bytes)
{
    if (m_state == State::Failed || m_state == State::TooLarge)
        return m_state;
    if (m_state == State::Done) {
        // Whatever comes after a finished answer was never asked for.
        if (!bytes.isEmpty())
            m_keepAlive = false;
        return m_state;
    }
    m_buffer.append(bytes);
    while (m_state == State::Head) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n", m_offset);
        if (end < 0) {
            if (m_buffer.size() - m_offset > maximumHeadBytes)
                fail();
            return m_state;
        }
        const QByteArrayView head = QByteArrayView(m_buffer).sliced(m_offset, end - m_offset);
        m_offset = end + 4;
        if (!parseHead(head)) {
            fail();
            return m_state;
        }
        if (m_status >= 100 && m_status < 200) {
            // An interim answer (100 Continue and the like): the real one follows.
            if (m_status == 101) {
                fail();
                return m_state;
            }
            m_status = 0;
            m_location.clear();
            continue;
        }
        startBody(m_status == 204 || m_status == 304);
    }
    if (m_state == State::Body)
        readBody();
    if (m_state == State::Done && m_offset < m_buffer.size())
        m_keepAlive = false;
    // Keeps the buffer from growing with a long body: what was read is dropped.
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    return m_state;
}

HttpAnswerParser::State HttpAnswerParser::finish()
{
    if (m_state == State::Body && m_framing == Framing::UntilClose)
        m_state = State::Done;
    else if (m_state == State::Head || m_state == State::Body)
        fail();
    m_keepAlive = false;
    return m_state;
}

bool HttpAnswerParser::parseHead(QByteArrayView head)
{
    qsizetype lineEnd = head.indexOf("\r\n");
    const QByteArrayView statusLine = lineEnd < 0 ? head : head.first(lineEnd);
    // "HTTP/1.1 200 OK": the reason phrase may be empty.
    if (statusLine.size() < 12 || !statusLine.startsWith("HTTP/1.") || statusLine.at(8) != ' ')
        return false;
    bool numeric = false;
    const int status = statusLine.sliced(9, 3).toInt(&numeric);
    if (!numeric || status < 100 || status > 999
        || (statusLine.size() > 12 && statusLine.at(12) != ' '))
        return false;
    const bool http10 = statusLine.at(7) == '0';

    m_keepAlive = !http10;
    m_chunkedHeader = false;
    m_contentLength = -1;
    QByteArrayView rest = lineEnd < 0 ? QByteArrayView() : head.sliced(lineEnd + 2);
    while (!rest.isEmpty()) {
        lineEnd = rest.indexOf("\r\n");
        const QByteArrayView line = lineEnd < 0 ? rest : rest.first(lineEnd);
        rest = lineEnd < 0 ? QByteArrayView() : rest.sliced(lineEnd + 2);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        const QByteArrayView name = line.first(colon);
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            // Two different lengths make the answer's end a guess.
            if (!ok || length < 0 || (m_contentLength >= 0 && m_contentLength != length))
                return false;
            m_contentLength = length;
        } else if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
            m_chunkedHeader = hasToken(value, "chunked");
        } else if (name.compare("connection", Qt::CaseInsensitive) == 0) {
            if (hasToken(value, "close"))
                m_keepAlive = false;
            else if (http10 && hasToken(value, "keep-alive"))
                m_keepAlive = true;
        } else if (name.compare("location", Qt::CaseInsensitive) == 0) {
            m_location = value.toByteArray();
        }
    }
    m_status = status;
    return true;
}

void HttpAnswerParser::startBody(bool bodyless)
{
    m_state = State::Body;
    if (bodyless) {
        m_state = State::Done;
        return;
    }
    if (m_chunkedHeader) {
        m_framing = Framing::Chunked;
        return;
    }
    if (m_contentLength >= 0) {
        if (m_contentLength > m_maximumBodyBytes) {
            m_state = State::TooLarge;
            return;
        }
        m_framing = Framing::Length;
        m_body.reserve(m_contentLength);
        if (m_contentLength == 0)
            m_state = State::Done;
        return;
    }
    m_framing = Framing::UntilClose;
    m_keepAlive = false;
}

void HttpAnswerParser::readBody()
{
    if (m_framing == Framing::Chunked) {
        if (readChunks())
            m_state = State::Done;
    } else {
        qsizetype take = m_buffer.size() - m_offset;
        if (m_framing == Framing::Length)
            take = std::min<qint64>(take, m_contentLength - m_body.size());
        m_body.append(QByteArrayView(m_buffer).sliced(m_offset, take));
        m_offset += take;
        if (m_framing == Framing::Length && m_body.size() == m_contentLength)
            m_state = State::Done;
    }
    if (m_state == State::Body && m_body.size() > m_maximumBodyBytes)
        m_state = State::TooLarge;
}

// True once the last chunk and the trailer are read.
bool HttpAnswerParser::readChunks()
{
    for (;;) {
        const QByteArrayView pending = QByteArrayView(m_buffer).sliced(m_offset);
        switch (m_chunkStep) {
        case ChunkStep::Data: {
            if (pending.isEmpty())
                return false;
            const qsizetype take = std::min<qint64>(pending.size(), m_chunkLeft);
            m_body.append(pending.first(take));
            m_offset += take;
            m_chunkLeft -= take;
            if (m_body.size() > m_maximumBodyBytes)
                return false;
            if (m_chunkLeft == 0)
                m_chunkStep = ChunkStep::DataEnd;
            break;
        }
        case ChunkStep::DataEnd:
            if (pending.size() < 2)
                return false;
            if (!pending.startsWith("\r\n")) {
                fail();
                return false;
            }
            m_offset += 2;
            m_chunkStep = ChunkStep::Size;
            break;
        case ChunkStep::Size:
        case ChunkStep::Trailer: {
            const qsizetype end = pending.indexOf("\r\n");
            if (end < 0) {
                if (pending.size() > maximumLineBytes)
                    fail();
                return false;
            }
            const QByteArrayView line = pending.first(end);
            m_offset += end + 2;
            if (m_chunkStep == ChunkStep::Trailer) {
                if (line.isEmpty())
                    return true;
                break;
            }
            const qsizetype extension = line.indexOf(';');
            bool ok = false;
            const qint64 size
                    = (extension < 0 ? line : line.first(extension)).trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0) {
                fail();
                return false;
            }
            m_chunkLeft = size;
            m_chunkStep = size == 0 ? ChunkStep::Trailer : ChunkStep::Data;
            break;
        }
        }
    }
}

} // namespace Networking
