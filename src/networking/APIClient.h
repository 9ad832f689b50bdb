#pragma once

#include "networking/APIResponse.h"
#include "networking/HttpConnection.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace Storage {
class TokenStore;
}

namespace Networking {

class ITokenRefresher;

// The one synchronous client of the service's JSON API.
//
// Threading: one client per thread, created on that thread's first request and destroyed when the
// thread ends. On the application's thread a request goes through that thread's network access
// manager and blocks in a local event loop, so other events keep being served meanwhile. Any other
// thread sends on its own kept-alive connection (HttpConnection) and waits in place, unless a
// proxy is configured for the address. Either way the request timeout (120 s) or the process-wide
// abort flag ends a request.
// The token refresher and token store are installed once during wiring, are not owned and must
// outlive every request. Failures come back as the response's error; nothing here throws.
class APIClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(APIClient)

public:
    static APIClient &instance();
    static QNetworkAccessManager &networkAccessManager();

    static void setTokenRefresher(ITokenRefresher *refresher);
    static void setTokenStore(Storage::TokenStore *store);
    // The installed token store; null when none is.
    static Storage::TokenStore *tokenStore();

    // Raised when uploads stop at shutdown: every running request on every thread is aborted at
    // its next 250 ms poll, and new ones within 250 ms of being sent.
    static void setAbortRequested(bool requested);
    static bool isAbortRequested();
    static int requestTimeoutMs();
    // Clears the calling thread's connection pool.
    static void resetConnections();
    static int connectionResetCount();

    APIResponse get(const QString &path, bool authenticated, bool allowRefresh);
    APIResponse postJson(const QString &path, const QJsonObject &body, bool authenticated,
                         bool allowRefresh);
    // Refreshes the token first when it expires within the request timeout, so that a long upload
    // does not start with a token about to lapse.
    APIResponse postMultipart(const QString &path, const QByteArray &body,
                              const QByteArray &boundary, bool authenticated, bool allowRefresh);
    // Resolves path against the base URL, sends it, and on a 401 with allowRefresh asks the
    // refresher once and repeats the request once.
    APIResponse call(const QString &path, const QByteArray &method,
                     const std::optional<QByteArray> &body, const QByteArray &contentType,
                     bool authenticated, bool allowRefresh);
    // One exchange, without interpreting the answer.
    RawReply execute(const QUrl &url, const QByteArray &method,
                     const std::optional<QByteArray> &body, const QByteArray &contentType,
                     bool authenticated);

    // The trimmed "message" text of a JSON object body under 8 KiB; empty otherwise.
    static QString serverMessageFromBody(const QByteArray &body);
    static QString truncateForLog(const QString &text, int maximum);
    // "nil", redacted JSON or text cut to maximum, or a byte count for a binary body.
    static QString describePayloadForLog(const std::optional<QByteArray> &body, int maximum);

private:
    APIClient() = default;

    RawReply executeWithManager(const QUrl &url, const QByteArray &method,
                                const std::optional<QByteArray> &body,
                                const HttpConnection::Headers &headers);
    void onRequestTimeout(const QPointer<QNetworkReply> &reply, RawReply &raw);
    void onAbortPollTick(const QPointer<QNetworkReply> &reply);
};

} // namespace Networking
