#pragma once

// A stand-in for the HR service's JSON API, for tests of everything that talks to the service.
//
// It listens on 127.0.0.1 (a free port unless told otherwise), plain HTTP or TLS with the
// certificate of TestCertificate, on a thread of its own, so a test may block its own thread in a
// synchronous client call while the stand-in answers. It speaks HTTP/1.1 with keep-alive, answers
// with Content-Length and never compresses.
//
// Routes: every call of the API under any prefix ending in "/api/v1/" (so a company endpoint such
// as "{origin}/acme" works too), plus "/files/<name>" for the image addresses of the screenshot
// report. Signed-in routes answer 401 unless the bearer token is the access token issued last;
// sign-in and refresh issue "access-token-N" / "refresh-token-N", a refresh rotates both and the
// old refresh token is refused from then on. FakeHrScenario holds the default data and choices.
//
// Recording: every request (control calls aside) is kept in arrival order with its connection id,
// headers in sent order, body, parsed JSON, multipart parts and bearer token.
//
// Faults (FakeHrFault) queue per route and replace or spoil the route's answer without touching
// the service's state; barriers hold answers until enough requests arrived;
// stopListening/resumeListening refuse connections on the same port.
//
// Defaults (FakeHrScenario): the user ada@example.com with the password "correct horse", e-mail
// code "123456", two-factor code "654321", password-reset code "246810"; a direct sign-in with
// nested tokens whose "init" endpoint is the stand-in's own origin.
//
// Typical use (the environment variable takes HTTPS only; plain HTTP needs a stored company
// endpoint such as server.origin()):
//   FakeHrServer server(FakeHrServer::Transport::Https);
//   QVERIFY(server.start());
//   TestCertificate::trustInProcess();                  // before the client's first connection
//   qputenv("TEMBRIX_API_BASE_URL", server.baseUrl().toEncoded());
//   const FakeHrTokens tokens = server.issueTokens();   // seed the token store with these
//   server.addFault(FakeHrRoute::Heartbeat, FakeHrFault::answer(503).repeated(2));
//   ... run the client ...
//   QVERIFY(server.waitForRequests(3, FakeHrRoute::Heartbeat));
//   QCOMPARE(server.requests(FakeHrRoute::Heartbeat).last().bearerToken, tokens.accessToken);
//
// Thread safety: every member may be called from any thread; start() and the destructor from the
// thread that created the object.

#include "FakeHrBackend.h"
#include "FakeHrFault.h"
#include "FakeHrRoute.h"
#include "FakeHrScenario.h"
#include "FakeHrState.h"
#include "RecordedRequest.h"

#include <QObject>
#include <QThread>
#include <QUrl>

#include <functional>
#include <optional>

namespace TestSupport {

class FakeHrListener;

class FakeHrServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeHrServer)

public:
    enum class Transport { Http, Https };

    explicit FakeHrServer(Transport transport = Transport::Http, QObject *parent = nullptr);
    ~FakeHrServer() override;

    // Starts the thread and listens on 127.0.0.1; false when the port is taken.
    bool start(quint16 port = 0);
    quint16 port() const { return m_port; }
    Transport transport() const { return m_transport; }
    QUrl origin() const;  // "http://127.0.0.1:PORT" (https with TLS), no path
    QUrl baseUrl() const; // origin + "/api/v1/", what the client resolves its paths against

    // Refused connections: stopListening closes the listening socket and resets every open
    // connection, so pooled connections fail too; resumeListening listens on the same port.
    void stopListening();
    bool resumeListening();
    bool isListening() const;

    // The request log.
    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(FakeHrRoute route) const;
    int requestCount(FakeHrRoute route = FakeHrRoute::Any) const;
    void clearRequests();
    // Waits, serving the calling thread's events, until at least `count` requests (of the route,
    // or passing the filter) are in the log; false on timeout. Any thread may wait.
    bool waitForRequests(int count, FakeHrRoute route = FakeHrRoute::Any, int timeoutMs = 10000);
    bool waitForRequests(int count, const FakeHrRequestFilter &filter, int timeoutMs = 10000);

    // The service's data and choices.
    FakeHrScenario scenario() const;
    void updateScenario(const std::function<void(FakeHrScenario &)> &change);
    // Issues a token set as a sign-in would (the previous one stops working) and returns it.
    FakeHrTokens issueTokens();
    std::optional<FakeHrTokens> currentTokens() const;
    // The current access token answers 401 from now on; the refresh token still works.
    void expireAccessToken();
    // Screenshot bytes received, by the file name sent.
    QHash<QString, QByteArray> uploadedFiles() const;
    // Serves bytes under "/files/<name>" as an uploaded screenshot would be (until reset()).
    void serveFile(const QString &name, const QByteArray &bytes);

    // Faults and barriers (see FakeHrFault); FakeHrRoute::Any matches every route.
    void addFault(FakeHrRoute route, const FakeHrFault &fault);
    void clearFaults();
    // Holds the answers of matching requests until `count` of them have arrived, then sends them
    // all; one-shot. Good for making concurrent requests meet the server at once.
    void setBarrier(FakeHrRoute route, int count);
    void clearBarriers(); // sends whatever the barriers held

    // Back to a fresh service: default scenario, no tokens, empty log, no faults or barriers.
    void reset();

signals:
    // Emitted on the server thread after each request is recorded.
    void requestRecorded(int order);

private:
    Transport m_transport;
    quint16 m_port = 0;
    FakeHrBackend m_backend;
    QThread m_thread;
    FakeHrListener *m_listener = nullptr; // lives on m_thread
};

} // namespace TestSupport
