#include "networking/HttpConnection.h"

#include "networking/HttpAnswerParser.h"
#include "networking/ReplyGuard.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QThreadStorage>
#include <QTimer>

#include <algorithm>

#include <poll.h>

using namespace Qt::StringLiterals;

namespace Networking {

namespace {

constexpr int abortPollIntervalMs = 250;
// The network access manager's default.
constexpr int maximumRedirects = 50;

QThreadStorage<HttpConnection *> &connections()
{
    static QThreadStorage<HttpConnection *> storage;
    return storage;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isHttps(const QUrl &url)
{
    return url.scheme().compare("https"_L1, Qt::CaseInsensitive) == 0;
}

// The codes the network access manager gives the same socket failures.
int networkErrorFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    case QAbstractSocket::SslHandshakeFailedError:
        return QNetworkReply::SslHandshakeFailedError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

void closedEarly(RawReply &raw, int status)
{
    raw.statusCode = status;
    raw.networkError = QNetworkReply::RemoteHostClosedError;
    raw.errorString = u"Connection closed"_s;
}

bool holdsLineBreak(const QByteArray &text)
{
    return text.contains('\r') || text.contains('\n');
}

QByteArray requestBytes(const QUrl &url, const QByteArray &method,
                        const std::optional<QByteArray> &body,
                        const HttpConnection::Headers &headers)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    const QByteArray host
            = url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1();

    QByteArray bytes;
    bytes.reserve(256 + (body ? body->size() : 0));
    bytes += method + ' ' + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    for (const auto &[name, value] : headers)
        bytes += name + ": " + value + "\r\n";
    if (body || method == "POST" || method == "PUT")
        bytes += "Content-Length: " + QByteArray::number(body ? body->size() : 0) + "\r\n";
    // As the network access manager sends it: some gateways turn away requests without one.
    bytes += "User-Agent: Mozilla/5.0\r\nConnection: keep-alive\r\n\r\n";
    if (body)
        bytes += *body;
    return bytes;
}

} // namespace

HttpConnection::HttpConnection() = default;

HttpConnection::~HttpConnection()
{
    close();
}

HttpConnection &HttpConnection::forThisThread()
{
    if (!connections().hasLocalData())
        connections().setLocalData(new HttpConnection);
    return *connections().localData();
}

void HttpConnection::closeForThisThread()
{
    if (connections().hasLocalData())
        connections().localData()->close();
}

bool HttpConnection::canSend(const QUrl &url)
{
    if (!ReplyGuard::isWebAddress(url))
        return false;
    const QList<QNetworkProxy> proxies
            = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() || proxies.constFirst().type() == QNetworkProxy::NoProxy;
}

bool HttpConnection::refusesHeaders(const Headers &headers, RawReply &raw)
{
    for (const auto &[name, value] : headers) {
        // A line break would end the header and start another one of the sender's choosing.
        if (holdsLineBreak(name) || holdsLineBreak(value)) {
            raw.networkError = QNetworkReply::ProtocolInvalidOperationError;
            raw.errorString = u"A request header holds a line break"_s;
            return true;
        }
    }
    return false;
}

RawReply HttpConnection::exchange(const QUrl &url, const QByteArray &method,
                                  const std::optional<QByteArray> &body, const Headers &headers,
                                  int timeoutMs, AbortCheck aborted)
{
    RawReply raw;
    const QDeadlineTimer deadline(timeoutMs);
    // Nothing goes out once the flag is up, not even on an open connection.
    if (aborted()) {
        raw.markCanceled(false);
        return raw;
    }
    if (refusesHeaders(headers, raw))
        return raw;

    QUrl target = url;
    QByteArray verb = method;
    std::optional<QByteArray> payload = body;
    for (int redirects = 0;; ++redirects) {
        const QByteArray request = requestBytes(target, verb, payload, headers);
        HttpAnswerParser parser(ReplyGuard::maximumAnswerBytes);
        Step step = sendOnce(target, request, deadline, aborted, raw, parser);
        if (step == Step::Retry) {
            // On a new connection: it cannot ask for another retry.
            raw = RawReply();
            parser = HttpAnswerParser(ReplyGuard::maximumAnswerBytes);
            step = sendOnce(target, request, deadline, aborted, raw, parser);
        }
        if (step != Step::Answered)
            return raw;
        raw.statusCode = parser.status();
        if (!isRedirect(raw.statusCode) || parser.location().isEmpty()) {
            raw.body = parser.takeBody();
            return raw;
        }
        const QUrl next = target.resolved(QUrl::fromEncoded(parser.location()));
        if (!ReplyGuard::sameOrigin(url, next)) {
            raw.refusedRedirectStatus = raw.statusCode;
            raw.markCanceled(false);
            return raw;
        }
        if (redirects == maximumRedirects) {
            raw.networkError = QNetworkReply::TooManyRedirectsError;
            raw.errorString = u"Too many redirects"_s;
            return raw;
        }
        if (raw.statusCode == 303
            || ((raw.statusCode == 301 || raw.statusCode == 302) && verb == "POST")) {
            verb = "GET";
            payload.reset();
        }
        target = next;
    }
}

HttpConnection::Step HttpConnection::sendOnce(const QUrl &url, const QByteArray &request,
                                              const QDeadlineTimer &deadline, AbortCheck aborted,
                                              RawReply &raw, HttpAnswerParser &parser)
{
    bool reused = false;
    if (!ensureConnected(url, deadline, aborted, raw, &reused))
        return Step::Failed;

    m_socket->write(request);
    m_socket->flush();
    while (m_socket->bytesToWrite() > 0) {
        const Wait wait = waitForSocket(true, deadline, aborted, raw);
        if (wait == Wait::Ready)
            continue;
        close();
        if (wait == Wait::Failed)
            return Step::Failed;
        if (reused)
            return Step::Retry;
        closedEarly(raw, 0);
        return Step::Failed;
    }

    bool answerStarted = false;
    for (;;) {
        if (m_socket->bytesAvailable() > 0) {
            answerStarted = true;
            switch (parser.feed(m_socket->readAll())) {
            case HttpAnswerParser::State::Head:
            case HttpAnswerParser::State::Body:
                continue;
            case HttpAnswerParser::State::Done:
                if (!parser.keepsConnection())
                    close();
                return Step::Answered;
            case HttpAnswerParser::State::TooLarge:
                raw.statusCode = parser.status();
                raw.tooLarge = true;
                raw.markCanceled(false);
                close();
                return Step::Failed;
            case HttpAnswerParser::State::Failed:
                raw.statusCode = parser.status();
                raw.networkError = QNetworkReply::ProtocolFailure;
                raw.errorString = u"The server's answer is not valid HTTP"_s;
                close();
                return Step::Failed;
            }
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            close();
            if (parser.finish() == HttpAnswerParser::State::Done)
                return Step::Answered;
            // A kept-alive connection the server dropped before answering: the request is sent
            // once more on a new one.
            if (reused && !answerStarted)
                return Step::Retry;
            closedEarly(raw, parser.status());
            return Step::Failed;
        }
        // A closed connection is seen at the top of the loop, once its last bytes are read.
        if (waitForSocket(false, deadline, aborted, raw) == Wait::Failed) {
            raw.statusCode = parser.status();
            close();
            return Step::Failed;
        }
    }
}

// Waits up to the deadline for the socket to take or bring bytes, asking aborted() between
// slices. Only a failure (cancel, timeout, socket error) is written into raw.
HttpConnection::Wait HttpConnection::waitForSocket(bool forWrite, const QDeadlineTimer &deadline,
                                                   AbortCheck aborted, RawReply &raw)
{
    for (;;) {
        if (aborted()) {
            raw.markCanceled(false);
            return Wait::Failed;
        }
        if (deadline.hasExpired()) {
            raw.markCanceled(true);
            return Wait::Failed;
        }
        const int slice = int(std::min<qint64>(abortPollIntervalMs, deadline.remainingTime()));
        if (forWrite ? m_socket->waitForBytesWritten(slice) : m_socket->waitForReadyRead(slice))
            return Wait::Ready;
        const QAbstractSocket::SocketError error = m_socket->error();
        if (m_socket->state() == QAbstractSocket::ConnectedState) {
            if (error == QAbstractSocket::SocketTimeoutError)
                continue;
        } else if (error == QAbstractSocket::RemoteHostClosedError
                   || error == QAbstractSocket::SocketTimeoutError) {
            return Wait::Closed;
        }
        raw.networkError = networkErrorFor(error);
        raw.errorString = m_socket->errorString();
        return Wait::Failed;
    }
}

bool HttpConnection::ensureConnected(const QUrl &url, const QDeadlineTimer &deadline,
                                     AbortCheck aborted, RawReply &raw, bool *reused)
{
    *reused = false;
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState
        && ReplyGuard::sameOrigin(m_origin, url)) {
        pollfd idle{ int(m_socket->socketDescriptor()), POLLIN, 0 };
        if (::poll(&idle, 1, 0) > 0) {
            // Something came while the connection was idle: the server closing it, or TLS
            // housekeeping to read.
            m_socket->waitForReadyRead(0);
        }
        if (m_socket->state() == QAbstractSocket::ConnectedState
            && m_socket->bytesAvailable() == 0) {
            *reused = true;
            return true;
        }
    }
    close();
    if (aborted()) {
        raw.markCanceled(false);
        return false;
    }

    // Connecting (and the TLS handshake) is rare on a kept-alive connection: it runs in an event
    // loop, the only way to give it up on abort without dropping it on every slice.
    const bool tls = isHttps(url);
    std::unique_ptr<QTcpSocket> socket;
    QSslSocket *secure = nullptr;
    if (tls) {
        auto sslSocket = std::make_unique<QSslSocket>();
        QSslConfiguration configuration = sslSocket->sslConfiguration();
        configuration.setAllowedNextProtocols({ QSslConfiguration::NextProtocolHttp1_1 });
        sslSocket->setSslConfiguration(configuration);
        secure = sslSocket.get();
        socket = std::move(sslSocket);
    } else {
        socket = std::make_unique<QTcpSocket>();
    }
    socket->setProxy(QNetworkProxy::NoProxy);

    QEventLoop loop;
    bool settled = false;
    const auto settle = [&] {
        settled = true;
        loop.quit();
    };
    if (secure)
        QObject::connect(secure, &QSslSocket::encrypted, &loop, settle);
    else
        QObject::connect(socket.get(), &QAbstractSocket::connected, &loop, settle);
    QObject::connect(socket.get(), &QAbstractSocket::errorOccurred, &loop, settle);
    QTimer abortPoll;
    abortPoll.setInterval(abortPollIntervalMs);
    QObject::connect(&abortPoll, &QTimer::timeout, &loop, [&] {
        if (aborted() || deadline.hasExpired())
            loop.quit();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);

    const quint16 port = quint16(url.port(tls ? 443 : 80));
    if (secure)
        secure->connectToHostEncrypted(url.host(), port);
    else
        socket->connectToHost(url.host(), port);
    if (!settled) {
        abortPoll.start();
        timeout.start(int(std::max<qint64>(0, deadline.remainingTime())));
        loop.exec();
    }

    const bool ready
            = secure ? secure->isEncrypted() : socket->state() == QAbstractSocket::ConnectedState;
    if (!ready) {
        if (settled) {
            raw.networkError = networkErrorFor(socket->error());
            raw.errorString = socket->errorString();
        } else {
            raw.markCanceled(!aborted());
        }
        socket->abort();
        return false;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket = std::move(socket);
    m_origin = url;
    ++m_connectionsOpened;
    return true;
}

void HttpConnection::close()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

} // namespace Networking
