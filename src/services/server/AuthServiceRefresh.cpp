#include "services/server/AuthService.h"

#include "models/JsonDecodingError.h"
#include "models/RefreshRequest.h"
#include "models/ServerDateTime.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthNotifications.h"
#include "services/server/AuthServiceInternals.h"
#include "services/server/AuthServiceTestHooks.h"
#include "services/server/GuiThread.h"
#include "services/server/RemoteConfigService.h"
#include "storage/ApiTimezone.h"
#include "storage/Log.h"
#include "storage/LogRedaction.h"
#include "storage/Preferences.h"
#include "storage/TokenStore.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QThread>

#include <mutex>

using namespace Qt::StringLiterals;
using namespace Services::AuthServiceInternals;

namespace Services {

namespace {

constexpr int defaultRefreshWaitLimitMs = 130000;

std::atomic_int s_refreshWaitLimitMs{ defaultRefreshWaitLimitMs };

// Ends the refresh in flight on every way out, exceptions included (a throwing credential store):
// a flag left set would park every later caller for good. Runs with the refresh mutex held,
// taking it back first when the exception came while the request was on the wire.
class RefreshInFlightGuard final
{
public:
    RefreshInFlightGuard(std::unique_lock<QMutex> &lock, bool &inFlight, Qt::HANDLE &thread,
                         QWaitCondition &finished)
        : m_lock(lock)
        , m_inFlight(inFlight)
        , m_thread(thread)
        , m_finished(finished)
    {
    }
    ~RefreshInFlightGuard()
    {
        if (!m_lock.owns_lock())
            m_lock.lock();
        m_inFlight = false;
        m_thread = nullptr;
        m_finished.wakeAll();
    }
    RefreshInFlightGuard(const RefreshInFlightGuard &) = delete;
    RefreshInFlightGuard &operator=(const RefreshInFlightGuard &) = delete;

private:
    std::unique_lock<QMutex> &m_lock;
    bool &m_inFlight;
    Qt::HANDLE &m_thread;
    QWaitCondition &m_finished;
};

} // namespace

namespace AuthServiceTestHooks {

void setRefreshWaitLimitMs(int milliseconds)
{
    s_refreshWaitLimitMs = milliseconds > 0 ? milliseconds : defaultRefreshWaitLimitMs;
}

} // namespace AuthServiceTestHooks

AuthService::RefreshDecision
AuthService::refreshDecision(bool inFlight, bool callerIsRefreshingThread, bool callerIsGuiThread)
{
    if (!inFlight)
        return RefreshDecision::RefreshHere;
    if (callerIsRefreshingThread || callerIsGuiThread)
        return RefreshDecision::Defer;
    return RefreshDecision::Wait;
}

Networking::ITokenRefresher::Result AuthService::refreshTokens()
{
    std::unique_lock<QMutex> lock(m_refreshMutex);
    const bool gui = isGuiThread();
    const bool refreshing = m_refreshInFlight && m_refreshingThread == QThread::currentThreadId();

    switch (refreshDecision(m_refreshInFlight, refreshing, gui)) {
    case RefreshDecision::Defer:
        logAuth(Core::Log::Level::Info,
                u"Token refresh in flight; deferring instead of blocking (gui=%1)"_s.arg(gui ? 1
                                                                                             : 0));
        return Result::Deferred;
    case RefreshDecision::Wait:
        while (m_refreshInFlight) {
            if (!m_refreshFinished.wait(lock.mutex(),
                                        QDeadlineTimer(s_refreshWaitLimitMs.load()))) {
                logAuth(Core::Log::Level::Warn,
                        u"Timed out waiting for in-flight token refresh; deferring"_s);
                return Result::Deferred;
            }
        }
        return m_lastRefreshSucceeded ? Result::Refreshed : Result::Failed;
    case RefreshDecision::RefreshHere:
        break;
    }

    m_refreshInFlight = true;
    m_lastRefreshSucceeded = false;
    m_refreshingThread = QThread::currentThreadId();
    const RefreshInFlightGuard guard(lock, m_refreshInFlight, m_refreshingThread,
                                     m_refreshFinished);

    const std::optional<Models::AuthTokens> stored = currentTokens();
    if (!stored) {
        logAuth(Core::Log::Level::Info, u"No tokens to refresh"_s);
        return Result::Failed;
    }

    // Unlocked on the wire: a nested refresh from this thread's event loop must reach "defer",
    // and other threads must reach their wait.
    lock.unlock();
    const Networking::APIResponse response = Networking::APIClient::instance().postJson(
            u"authentication/refresh"_s, Models::refreshRequestJson(stored->refreshToken), false,
            false);
    lock.lock();
    return finishRefresh(response, *stored);
}

Networking::ITokenRefresher::Result
AuthService::finishRefresh(const Networking::APIResponse &response,
                           const Models::AuthTokens &stored)
{
    if (response.error) {
        if (response.error->kind == Networking::APIError::Kind::Unauthorized) {
            logAuth(Core::Log::Level::Error, u"Token refresh rejected (401); clearing session"_s);
            if (Storage::TokenStore *store = m_tokenStore.load())
                store->clear();
            clearLocalSessionData();
            postSessionInvalidated();
        } else {
            logAuth(Core::Log::Level::Error,
                    u"Token refresh failed transiently, keeping tokens: %1"_s.arg(
                            Networking::redactForLog(response.error->message)));
        }
        return Result::Failed;
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(response.body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return Result::Failed;
    Models::TokenResponse reply;
    try {
        reply = Models::TokenResponse::fromEnvelope(document.object());
    } catch (const Models::JsonDecodingError &) {
        logAuth(Core::Log::Level::Error, u"Token refresh response decode failed"_s);
        return Result::Failed;
    }

    const Models::AuthTokens tokens
            = tokensFromRefreshReply(reply, stored.refreshToken, stored.refreshExpiresAtRaw);
    if (Storage::TokenStore *store = m_tokenStore.load())
        store->save(tokens);
    logAuth(Core::Log::Level::Info, u"Token refresh succeeded"_s);
    m_lastRefreshSucceeded = true;
    return Result::Refreshed;
}

void AuthService::postSessionInvalidated()
{
    // Queued onto the notifier's (the GUI) thread: receivers never run under the refresh mutex,
    // and a refresh on the GUI thread has returned before they do.
    AuthNotifications &notifications = AuthNotifications::instance();
    QMetaObject::invokeMethod(
            &notifications, [&notifications] { Q_EMIT notifications.authSessionDidInvalidate(); },
            Qt::QueuedConnection);
}

Models::AuthTokens AuthService::tokensFromRefreshReply(const Models::TokenResponse &reply,
                                                       const QString &previousRefreshToken,
                                                       const QString &previousRefreshExpiresAtRaw)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Models::AuthTokens tokens;
    tokens.accessToken = reply.accessToken;
    tokens.refreshToken = reply.refreshToken.value_or(previousRefreshToken);
    tokens.expiresAt = Models::parseServerDateTime(reply.expiresAt, accessFallbackSeconds, now);
    tokens.refreshExpiresAtRaw = reply.refreshExpiresAt.value_or(previousRefreshExpiresAtRaw);
    tokens.refreshExpiresAt
            = Models::parseServerDateTime(tokens.refreshExpiresAtRaw, refreshFallbackSeconds, now);
    tokens.expiresAtRaw = reply.expiresAt;
    return tokens;
}

void AuthService::logout()
{
    if (const std::optional<Models::AuthTokens> tokens = currentTokens()) {
        // Signed in, but never refreshed: a rejected logout changes nothing here.
        const Networking::APIResponse response = Networking::APIClient::instance().postJson(
                u"authentication/logout"_s, Models::refreshRequestJson(tokens->refreshToken), true,
                false);
        if (response.error) {
            logAuth(Core::Log::Level::Error,
                    u"Logout failed: %1"_s.arg(Networking::redactForLog(response.error->message)));
        } else {
            logAuth(Core::Log::Level::Info, u"Logout succeeded"_s);
        }
    }
    clearLocalSessionData();
    if (Storage::TokenStore *store = m_tokenStore.load())
        store->clear();
}

void AuthService::clearLocalSessionData()
{
    RemoteConfigService::instance().endSession();
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    Storage::clearUserProfile();
    Services::ApiTimezone::clear();
}

} // namespace Services
