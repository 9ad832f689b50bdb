#include "FakeHrServer.h"

#include "FakeHrListener.h"

#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace TestSupport {

FakeHrServer::FakeHrServer(Transport transport, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
{
    m_thread.setObjectName(u"fake-hr-server"_s);
}

FakeHrServer::~FakeHrServer()
{
    if (m_listener) {
        QMetaObject::invokeMethod(
                m_listener, [this] { delete m_listener; }, Qt::BlockingQueuedConnection);
        m_listener = nullptr;
    }
    m_thread.quit();
    m_thread.wait();
}

bool FakeHrServer::start(quint16 port)
{
    if (m_listener)
        return false;
    m_listener = new FakeHrListener(m_backend, m_transport == Transport::Https);
    m_listener->moveToThread(&m_thread);
    connect(m_listener, &FakeHrListener::requestRecorded, this, &FakeHrServer::requestRecorded,
            Qt::DirectConnection);
    m_thread.start();
    bool listening = false;
    QMetaObject::invokeMethod(
            m_listener, [&] { listening = m_listener->listen(port); },
            Qt::BlockingQueuedConnection);
    if (!listening)
        return false;
    m_port = m_listener->port();
    m_backend.setOrigin(origin().toString());
    return true;
}

QUrl FakeHrServer::origin() const
{
    QUrl url;
    url.setScheme(m_transport == Transport::Https ? u"https"_s : u"http"_s);
    url.setHost(u"127.0.0.1"_s);
    url.setPort(m_port);
    return url;
}

QUrl FakeHrServer::baseUrl() const
{
    QUrl url = origin();
    url.setPath(u"/api/v1/"_s);
    return url;
}

void FakeHrServer::stopListening()
{
    if (!m_listener)
        return;
    QMetaObject::invokeMethod(
            m_listener, [this] { m_listener->stopListening(); }, Qt::BlockingQueuedConnection);
}

bool FakeHrServer::resumeListening()
{
    if (!m_listener)
        return false;
    bool listening = false;
    QMetaObject::invokeMethod(
            m_listener, [&] { listening = m_listener->resumeListening(); },
            Qt::BlockingQueuedConnection);
    return listening;
}

bool FakeHrServer::isListening() const
{
    if (!m_listener)
        return false;
    bool listening = false;
    QMetaObject::invokeMethod(
            m_listener, [&] { listening = m_listener->isListening(); },
            Qt::BlockingQueuedConnection);
    return listening;
}

QList<RecordedRequest> FakeHrServer::requests() const
{
    return m_backend.requests();
}

QList<RecordedRequest> FakeHrServer::requests(FakeHrRoute route) const
{
    QList<RecordedRequest> matching = m_backend.requests();
    matching.removeIf(
            [route](const RecordedRequest &r) { return !fakeHrRouteMatches(route, r.route); });
    return matching;
}

int FakeHrServer::requestCount(FakeHrRoute route) const
{
    return m_backend.count(
            [route](const RecordedRequest &r) { return fakeHrRouteMatches(route, r.route); });
}

void FakeHrServer::clearRequests()
{
    m_backend.clearRequests();
}

bool FakeHrServer::waitForRequests(int count, FakeHrRoute route, int timeoutMs)
{
    return waitForRequests(
            count, [route](const RecordedRequest &r) { return fakeHrRouteMatches(route, r.route); },
            timeoutMs);
}

bool FakeHrServer::waitForRequests(int count, const FakeHrRequestFilter &filter, int timeoutMs)
{
    const auto reached = [&] { return m_backend.count(filter) >= count; };
    if (reached())
        return true;
    // A local loop rather than a wait condition: the client under test may run on this thread.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &FakeHrServer::requestRecorded, &loop, [&] {
        if (reached())
            loop.quit();
    });
    if (reached()) // a request may have landed before the connection was made
        return true;
    timeout.start(timeoutMs);
    loop.exec();
    return reached();
}

FakeHrScenario FakeHrServer::scenario() const
{
    return m_backend.scenario();
}

void FakeHrServer::updateScenario(const std::function<void(FakeHrScenario &)> &change)
{
    m_backend.updateScenario(change);
}

FakeHrTokens FakeHrServer::issueTokens()
{
    return m_backend.issueTokens();
}

std::optional<FakeHrTokens> FakeHrServer::currentTokens() const
{
    return m_backend.currentTokens();
}

void FakeHrServer::expireAccessToken()
{
    m_backend.expireAccessToken();
}

QHash<QString, QByteArray> FakeHrServer::uploadedFiles() const
{
    return m_backend.uploadedFiles();
}

void FakeHrServer::serveFile(const QString &name, const QByteArray &bytes)
{
    m_backend.serveFile(name, bytes);
}

void FakeHrServer::addFault(FakeHrRoute route, const FakeHrFault &fault)
{
    m_backend.addFault(route, fault);
}

void FakeHrServer::clearFaults()
{
    m_backend.clearFaults();
}

void FakeHrServer::setBarrier(FakeHrRoute route, int count)
{
    m_backend.addBarrier(route, count);
}

void FakeHrServer::clearBarriers()
{
    const QList<int> ids = m_backend.clearBarriers();
    if (m_listener)
        QMetaObject::invokeMethod(
                m_listener, [this, ids] { m_listener->releaseBarriers(ids); },
                Qt::QueuedConnection);
}

void FakeHrServer::reset()
{
    const QList<int> ids = m_backend.reset();
    if (m_listener)
        QMetaObject::invokeMethod(
                m_listener, [this, ids] { m_listener->releaseBarriers(ids); },
                Qt::QueuedConnection);
}

} // namespace TestSupport
