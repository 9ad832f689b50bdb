#include "networking/APIClient.h"

#include "networking/APIClientTestHooks.h"
#include "networking/ApiEndpoint.h"
#include "networking/HttpConnection.h"
#include "networking/ITokenRefresher.h"
#include "networking/ReplyGuard.h"
#include "storage/LogRedaction.h"
#include "storage/TokenStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QThread>
#include <QThreadStorage>
#include <QTimer>

#include <atomic>

using namespace Qt::StringLiterals;

namespace Networking {

namespace {

constexpr int defaultRequestTimeoutMs = 120000;
constexpr int abortPollIntervalMs = 250;
constexpr int payloadLogLimit = 2000;
constexpr qsizetype serverMessageBodyLimit = 8192;
constexpr int errorDetailLimit = 200;

std::atomic<ITokenRefresher *> s_refresher{ nullptr };
std::atomic<Storage::TokenStore *> s_tokenStore{ nullptr };
std::atomic_bool s_abortRequested{ false };
std::atomic_int s_connectionResetCount{ 0 };
std::atomic_int s_requestTimeoutMs{ defaultRequestTimeoutMs };

// Deleted by Qt when the owning thread ends (for the main thread: with the application object).
QThreadStorage<APIClient *> &clients()
{
    static QThreadStorage<APIClient *> storage;
    return storage;
}

QThreadStorage<QNetworkAccessManager *> &managers()
{
    static QThreadStorage<QNetworkAccessManager *> storage;
    return storage;
}

// Runs while the application object is being destroyed but still exists: closing a pooled TLS
// connection any later, when the application thread's storage is cleared, warns.
void releaseApplicationThreadManager()
{
    managers().setLocalData(nullptr);
}

std::optional<Models::AuthTokens> loadTokens()
{
    if (Storage::TokenStore *store = s_tokenStore.load())
        return store->load();
    return std::nullopt;
}

// A cut between the halves of a surrogate pair would leave half a character, which encodes as
// garbage; such a cut keeps one unit less.
QString leftWholeCharacters(const QString &text, qsizetype count)
{
    if (count > 0 && count < text.size() && text.at(count - 1).isHighSurrogate())
        --count;
    return text.left(count);
}

// The first usable text among the usual error keys, else the first member of an "errors" object.
// Returns none when the body holds neither, so the caller falls back to the raw text.
std::optional<QString> detailFromJson(const QJsonObject &object)
{
    for (const auto key : { "message"_L1, "error"_L1, "error_description"_L1, "detail"_L1 }) {
        const QJsonValue value = object.value(key);
        if (value.isString() && !value.toString().trimmed().isEmpty())
            return value.toString().trimmed();
    }
    const QJsonValue errors = object.value("errors"_L1);
    if (!errors.isObject() || errors.toObject().isEmpty())
        return std::nullopt;
    // QJsonObject keeps its keys sorted, so begin() is the first key in that order.
    const QJsonValue first = errors.toObject().begin().value();
    if (first.isArray() && !first.toArray().isEmpty())
        return first.toArray().first().toString().trimmed();
    if (first.isString())
        return first.toString().trimmed();
    return std::nullopt;
}

QString serverErrorDetail(const QByteArray &body)
{
    if (body.isEmpty())
        return {};
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error == QJsonParseError::NoError && document.isObject()) {
        if (const std::optional<QString> detail = detailFromJson(document.object()))
            return *detail;
    }
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.size() > errorDetailLimit)
        return leftWholeCharacters(text, errorDetailLimit) + u'…';
    return text;
}

void attachServerMessage(APIError &error, const QByteArray &body)
{
    const QString message = APIClient::serverMessageFromBody(body);
    if (!message.isEmpty())
        error.serverMessage = message;
}

APIError serverErrorFor(int status, const QByteArray &body)
{
    APIError error = APIError::serverError(status);
    const QString detail = serverErrorDetail(body);
    if (!detail.isEmpty())
        error.message = u"HTTP %1: %2"_s.arg(status).arg(detail);
    attachServerMessage(error, body);
    return error;
}

// A stopped reply says nothing about the request's fate on the server; its failure must not pass
// for an answer.
std::optional<APIError> refusalErrorFor(const RawReply &raw)
{
    if (raw.refusedRedirectStatus > 0) {
        APIError error = APIError::serverError(raw.refusedRedirectStatus);
        error.message
                = u"HTTP %1: redirect to another address refused"_s.arg(raw.refusedRedirectStatus);
        return error;
    }
    if (raw.tooLarge)
        return APIError::decodingFailed(u"The server's answer is larger than %1 MiB"_s.arg(
                ReplyGuard::maximumAnswerBytes / (1024 * 1024)));
    return std::nullopt;
}

APIError networkErrorFor(const RawReply &raw)
{
    APIError error = APIError::networkFailure(
            raw.networkError != QNetworkReply::NoError ? raw.errorString : u"no HTTP response"_s);
    error.networkError = raw.networkError;
    return error;
}

void logRequest(const QUrl &url, const QByteArray &method, const std::optional<QByteArray> &body,
                const QByteArray &contentType)
{
    // Describing a payload parses and re-indents it: not worth doing for lines that logging
    // rules (QT_LOGGING_RULES) would drop anyway.
    if (!QLoggingCategory::defaultCategory()->isDebugEnabled())
        return;
    qDebug().noquote() << u"API request: %1 %2"_s.arg(
            QString::fromLatin1(method), redactRecoveryPath(url.path(QUrl::FullyDecoded)));
    if (!body || body->isEmpty())
        return;
    const QString payload = contentType.startsWith("multipart/")
                                    ? u"<%1 bytes %2 body>"_s.arg(body->size())
                                              .arg(QString::fromLatin1(contentType))
                                    : APIClient::describePayloadForLog(body, payloadLogLimit);
    qDebug().noquote() << u"Payload: "_s + payload;
}

} // namespace

APIClient &APIClient::instance()
{
    if (!clients().hasLocalData())
        clients().setLocalData(new APIClient);
    return *clients().localData();
}

QNetworkAccessManager &APIClient::networkAccessManager()
{
    if (!managers().hasLocalData()) {
        managers().setLocalData(new QNetworkAccessManager);
        const QCoreApplication *application = QCoreApplication::instance();
        if (application && QThread::currentThread() == application->thread())
            qAddPostRoutine(&releaseApplicationThreadManager);
    }
    return *managers().localData();
}

void APIClient::setTokenRefresher(ITokenRefresher *refresher)
{
    s_refresher = refresher;
}

void APIClient::setTokenStore(Storage::TokenStore *store)
{
    s_tokenStore = store;
}

Storage::TokenStore *APIClient::tokenStore()
{
    return s_tokenStore.load();
}

void APIClient::setAbortRequested(bool requested)
{
    s_abortRequested = requested;
}

bool APIClient::isAbortRequested()
{
    return s_abortRequested.load();
}

int APIClient::requestTimeoutMs()
{
    return s_requestTimeoutMs.load();
}

void APIClient::resetConnections()
{
    if (managers().hasLocalData())
        managers().localData()->clearConnectionCache();
    HttpConnection::closeForThisThread();
    ++s_connectionResetCount;
}

int APIClient::connectionResetCount()
{
    return s_connectionResetCount.load();
}

APIResponse APIClient::get(const QString &path, bool authenticated, bool allowRefresh)
{
    return call(path, "GET", std::nullopt, "application/json", authenticated, allowRefresh);
}

APIResponse APIClient::postJson(const QString &path, const QJsonObject &body, bool authenticated,
                                bool allowRefresh)
{
    return call(path, "POST", QJsonDocument(body).toJson(QJsonDocument::Compact),
                "application/json", authenticated, allowRefresh);
}

APIResponse APIClient::postMultipart(const QString &path, const QByteArray &body,
                                     const QByteArray &boundary, bool authenticated,
                                     bool allowRefresh)
{
    ITokenRefresher *refresher = s_refresher.load();
    if (authenticated && allowRefresh && refresher) {
        const std::optional<Models::AuthTokens> tokens = loadTokens();
        if (tokens && tokens->expiresAt.isValid()
            && QDateTime::currentDateTimeUtc().msecsTo(tokens->expiresAt) < requestTimeoutMs()) {
            // Only a head start: a refresh that fails or is deferred leaves the 401 road.
            refresher->refreshTokens();
        }
    }
    return call(path, "POST", body, "multipart/form-data; boundary=" + boundary, authenticated,
                allowRefresh);
}

APIResponse APIClient::call(const QString &path, const QByteArray &method,
                            const std::optional<QByteArray> &body, const QByteArray &contentType,
                            bool authenticated, bool allowRefresh)
{
    const QUrl url = ApiEndpoint::baseUrl().resolved(QUrl(path, QUrl::TolerantMode));
    if (!url.isValid())
        return { {}, 0, APIError::invalidUrl() };

    bool mayRefresh = allowRefresh;
    for (;;) {
        const RawReply raw = execute(url, method, body, contentType, authenticated);
        if (raw.shouldResetConnections())
            resetConnections();

        APIResponse response{ raw.body, raw.statusCode, std::nullopt };
        if (std::optional<APIError> refusal = refusalErrorFor(raw)) {
            response.error = std::move(refusal);
            return response;
        }
        if (raw.statusCode >= 200 && raw.statusCode <= 299) {
            // Headers arrived but the body was cut short (timeout, abort, dropped connection):
            // a half answer must not pass for success.
            if (raw.networkError != QNetworkReply::NoError)
                response.error = networkErrorFor(raw);
            return response;
        }
        if (raw.statusCode == 401) {
            ITokenRefresher *refresher = s_refresher.load();
            if (mayRefresh && refresher) {
                switch (refresher->refreshTokens()) {
                case ITokenRefresher::Result::Refreshed:
                    mayRefresh = false;
                    continue;
                case ITokenRefresher::Result::Deferred:
                    response.error = APIError::refreshDeferred();
                    return response;
                case ITokenRefresher::Result::Failed:
                    break;
                }
            }
            response.error = APIError::unauthorized();
            attachServerMessage(*response.error, raw.body);
            return response;
        }
        if (raw.statusCode > 0)
            response.error = serverErrorFor(raw.statusCode, raw.body);
        else
            response.error = networkErrorFor(raw);
        return response;
    }
}

RawReply APIClient::execute(const QUrl &url, const QByteArray &method,
                            const std::optional<QByteArray> &body, const QByteArray &contentType,
                            bool authenticated)
{
    // Header order matters to the service's gateway; keep it.
    HttpConnection::Headers headers{ { "Content-Type", contentType },
                                     { "Accept", "application/json" },
                                     { "app-client", "linux" },
                                     { "X-App", "hr" } };
    if (authenticated) {
        if (const std::optional<Models::AuthTokens> tokens = loadTokens())
            headers.append({ "Authorization", "Bearer " + tokens->accessToken.toUtf8() });
    }

    logRequest(url, method, body, contentType);

    const auto warnRefused = [&](const char *what, const QString &reason) {
        qWarning().noquote() << u"API %1 refused: %2 %3: %4"_s.arg(
                QLatin1StringView(what), QString::fromLatin1(method),
                redactRecoveryPath(url.path(QUrl::FullyDecoded)), reason);
    };
    if (RawReply refused; HttpConnection::refusesHeaders(headers, refused)) {
        warnRefused("request", refused.errorString);
        return refused;
    }

    // Nothing goes out once the flag is up: the network access manager's own thread could send
    // the request before an abort reaches it.
    if (isAbortRequested()) {
        RawReply canceled;
        canceled.markCanceled(false);
        return canceled;
    }

    // A thread with no user interface to keep answering waits in place on its own connection;
    // the GUI thread, and anything a proxy must carry, goes through the network access manager.
    const QCoreApplication *application = QCoreApplication::instance();
    const bool inPlace = application && QThread::currentThread() != application->thread()
                         && HttpConnection::canSend(url);
    RawReply raw = inPlace ? HttpConnection::forThisThread().exchange(url, method, body, headers,
                                                                      requestTimeoutMs(),
                                                                      &APIClient::isAbortRequested)
                           : executeWithManager(url, method, body, headers);
    if (raw.refusedRedirectStatus > 0 || raw.tooLarge) {
        const ReplyGuard::Refusal refusal
                = raw.tooLarge ? ReplyGuard::Refusal::TooLarge : ReplyGuard::Refusal::Redirect;
        warnRefused("answer", ReplyGuard::refusalText(refusal, raw.refusedRedirectStatus,
                                                      ReplyGuard::maximumAnswerBytes));
    }
    return raw;
}

RawReply APIClient::executeWithManager(const QUrl &url, const QByteArray &method,
                                       const std::optional<QByteArray> &body,
                                       const HttpConnection::Headers &headers)
{
    QNetworkRequest request(url);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    ReplyGuard::prepare(request);

    // The loop comes first: on a thread Qt did not start it also creates the event dispatcher
    // that the timers need.
    QEventLoop loop;
    QNetworkAccessManager &manager = networkAccessManager();
    QNetworkReply *reply = nullptr;
    if (method == "GET")
        reply = manager.get(request);
    else if (method == "POST")
        reply = manager.post(request, body.value_or(QByteArray()));
    else
        reply = manager.sendCustomRequest(request, method, body.value_or(QByteArray()));

    RawReply raw;
    const ReplyGuard *guard = ReplyGuard::watch(reply);
    const QPointer<QNetworkReply> guarded(reply);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this, [&] { onRequestTimeout(guarded, raw); });
    QTimer abortPoll;
    abortPoll.setInterval(abortPollIntervalMs);
    connect(&abortPoll, &QTimer::timeout, this, [&] { onAbortPollTick(guarded); });
    timeout.start(requestTimeoutMs());
    abortPoll.start();
    // A request started after the flag went up ends at once instead of racing the first poll.
    onAbortPollTick(guarded);
    if (!reply->isFinished())
        loop.exec();
    timeout.stop();
    abortPoll.stop();

    raw.statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An aborted reply is closed; reading it would only warn. A refused one is not read at all.
    if (reply->isOpen() && guard->refusal() == ReplyGuard::Refusal::None) {
        // A finished reply holds its whole answer: reading exactly that much spares readAll's
        // guessed buffer, which is allocated and then cut back for every answer.
        raw.body = reply->read(reply->bytesAvailable());
        if (reply->bytesAvailable() > 0)
            raw.body += reply->readAll();
    }
    raw.networkError = reply->error();
    raw.errorString = reply->errorString();
    if (guard->refusal() != ReplyGuard::Refusal::None) {
        raw.refusedRedirectStatus = guard->redirectStatus();
        raw.tooLarge = guard->refusal() == ReplyGuard::Refusal::TooLarge;
    }
    reply->deleteLater();
    return raw;
}

void APIClient::onRequestTimeout(const QPointer<QNetworkReply> &reply, RawReply &raw)
{
    if (reply && reply->isRunning()) {
        raw.timedOut = true;
        reply->abort();
    }
}

void APIClient::onAbortPollTick(const QPointer<QNetworkReply> &reply)
{
    if (isAbortRequested() && reply && reply->isRunning())
        reply->abort();
}

QString APIClient::serverMessageFromBody(const QByteArray &body)
{
    if (body.isEmpty() || body.size() >= serverMessageBodyLimit)
        return {};
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonValue message = document.object().value("message"_L1);
    return message.isString() ? message.toString().trimmed() : QString();
}

QString APIClient::truncateForLog(const QString &text, int maximum)
{
    if (text.size() <= maximum)
        return text;
    return leftWholeCharacters(text, maximum) + u"…(%1 chars total)"_s.arg(text.size());
}

QString APIClient::describePayloadForLog(const std::optional<QByteArray> &body, int maximum)
{
    if (!body)
        return u"nil"_s;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*body, &parseError);
    if (parseError.error == QJsonParseError::NoError) {
        const QString indented = QString::fromUtf8(document.toJson(QJsonDocument::Indented));
        return truncateForLog(redactForLog(indented), maximum);
    }
    // Stateless, so that a body ending inside a character counts as invalid instead of losing it.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(*body);
    if (!decoder.hasError())
        return truncateForLog(redactForLog(text), maximum);
    return u"Non-UTF8 binary payload (%1 bytes)"_s.arg(body->size());
}

namespace APIClientTestHooks {

void setRequestTimeoutMs(int milliseconds)
{
    s_requestTimeoutMs = milliseconds > 0 ? milliseconds : defaultRequestTimeoutMs;
}

} // namespace APIClientTestHooks

} // namespace Networking
