#include "FakeHrConnection.h"

#include "FakeHrControl.h"
#include "FakeHrListener.h"
#include "HttpRequestParser.h"

#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 410:
        return "Gone";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Entity";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

} // namespace

FakeHrConnection::FakeHrConnection(QTcpSocket *socket, int id, FakeHrListener &listener)
    : m_socket(socket)
    , m_id(id)
    , m_listener(listener)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &FakeHrConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &FakeHrConnection::finished);
    // Bytes may have arrived with the handshake, before readyRead was connected.
    QMetaObject::invokeMethod(this, &FakeHrConnection::onReadyRead, Qt::QueuedConnection);
}

void FakeHrConnection::abort()
{
    m_socket->abort();
}

void FakeHrConnection::onReadyRead()
{
    m_buffer.append(m_socket->readAll());
    processBuffer();
}

void FakeHrConnection::processBuffer()
{
    while (!m_busy && m_socket->state() == QAbstractSocket::ConnectedState) {
        HttpRequestParser::Result result = HttpRequestParser::takeRequest(m_buffer);
        if (result.status == HttpRequestParser::Status::NeedMore) {
            // curl holds a large body back until it hears this (or for a second).
            if (result.expectsContinue && !m_continueSent) {
                m_continueSent = true;
                m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
            return;
        }
        m_continueSent = false;
        if (result.status == HttpRequestParser::Status::Invalid) {
            m_busy = true;
            write(FakeHrAnswer::message(result.errorStatus, QString::fromLatin1(result.errorText)),
                  false, -1);
            return;
        }
        handle(result.request);
    }
}

void FakeHrConnection::handle(const ParsedHttpRequest &request)
{
    if (request.target.startsWith("/__control/")) {
        answerControl(request);
        return;
    }
    m_busy = true;
    m_keepAlive = request.keepAlive();
    const FakeHrPlan plan = m_listener.backend().receive(HttpRequestParser::record(request, m_id));
    emit requestRecorded(plan.order);
    if (plan.barrierId != 0 && !plan.opensBarrier) {
        m_held = plan;
        emit heldAtBarrier(plan.barrierId);
        return;
    }
    if (plan.opensBarrier)
        emit barrierOpened(plan.barrierId);
    start(plan);
}

void FakeHrConnection::answerControl(const ParsedHttpRequest &request)
{
    m_busy = true;
    const RecordedRequest record = HttpRequestParser::record(request, m_id);
    // Control calls end their connection, so a refusal that drops connections spares nobody.
    write(FakeHrControl::handle(record, m_listener, this), false, -1);
}

void FakeHrConnection::releaseFromBarrier()
{
    if (!m_held)
        return;
    const FakeHrPlan plan = *m_held;
    m_held.reset();
    start(plan);
}

void FakeHrConnection::start(const FakeHrPlan &plan)
{
    if (plan.delayMs > 0)
        QTimer::singleShot(plan.delayMs, this, [this, plan] { execute(plan); });
    else
        execute(plan);
}

void FakeHrConnection::execute(const FakeHrPlan &plan)
{
    switch (plan.action) {
    case FakeHrPlan::Action::Answer:
        // Without a length only the end of the connection ends the body.
        m_keepAlive = m_keepAlive && plan.announceLength;
        write(plan.answer, m_keepAlive, -1, plan.location, plan.announceLength);
        if (m_keepAlive) {
            m_busy = false;
            QMetaObject::invokeMethod(this, &FakeHrConnection::processBuffer, Qt::QueuedConnection);
        }
        return;
    case FakeHrPlan::Action::Partial:
        write(plan.answer, m_keepAlive, plan.answer.body.size() / 2);
        return; // stays busy: the rest never comes
    case FakeHrPlan::Action::Hang:
        return;
    case FakeHrPlan::Action::Close:
        m_socket->disconnectFromHost();
        return;
    }
}

void FakeHrConnection::write(const FakeHrAnswer &answer, bool keepAlive, qsizetype bodyBytes,
                             const QByteArray &location, bool announceLength)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' '
                      + reasonPhrase(answer.status) + "\r\n";
    if (!answer.contentType.isEmpty())
        head += "Content-Type: " + answer.contentType + "\r\n";
    if (!location.isEmpty())
        head += "Location: " + location + "\r\n";
    if (announceLength)
        head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    m_socket->write(head);
    m_socket->write(bodyBytes < 0 ? answer.body : answer.body.left(bodyBytes));
    m_socket->flush();
    if (!keepAlive && bodyBytes < 0)
        m_socket->disconnectFromHost(); // after the written bytes have gone out
}

} // namespace TestSupport
