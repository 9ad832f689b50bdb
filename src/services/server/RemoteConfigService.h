#pragma once

#include "models/RemoteConfig.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QThread;

namespace Services {

namespace RemoteConfigServiceTestHooks {
QThread *currentRefreshThread(); // see RemoteConfigServiceTestHooks.h
} // namespace RemoteConfigServiceTestHooks

// The company's configuration for the signed-in employee: fetched from the server, cached in
// "config.json" for when the server cannot be reached, and refreshed periodically on a thread of
// its own. It also separates sign-in sessions: an answer to a fetch that began before the session
// ended (sign-out, or a stopped refresh) never reaches the profile names, the cache or its caller.
//
// Threading: one process-wide instance; every operation may be called from any thread. Fetches
// run one at a time under the fetch mutex, held for the whole request. Other threads wait their
// turn; the GUI thread never waits (its fetch would stall the interface for up to the request
// timeout, and a second fetch started from the nested event loop of the first would deadlock):
// there a fetch that finds one running fails at once with FetchBusy. Lock order: fetch mutex, the
// token refresh (inside the HTTP client), session mutex; the thread mutex is never held with
// either of the others.
class RemoteConfigService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteConfigService)

public:
    // The answer arrived after its configuration session had ended; nothing was written.
    class SessionEnded : public std::runtime_error
    {
    public:
        SessionEnded();
    };

    // A fetch on the GUI thread found another fetch running; nothing was sent or written.
    class FetchBusy : public std::runtime_error
    {
    public:
        FetchBusy();
    };

    // Empty means always wanted.
    using StillWanted = std::function<bool()>;
    // Runs on the refresh thread; move work to your own thread yourself.
    using RefreshCallback = std::function<void(const Models::RemoteConfig &)>;

    static RemoteConfigService &instance();
    // "config.json" in the configuration directory.
    static QString cachePath();

    // Blocks for the whole request. Throws Networking::APIError (the client's error, or kind
    // Decoding for a malformed answer), Models::JsonDecodingError, SessionEnded or FetchBusy.
    Models::RemoteConfig fetchConfig(const StillWanted &stillWanted = {});
    // fetchConfig(); on any failure but SessionEnded the cached configuration when one loads,
    // else the failure.
    Models::RemoteConfig fetchConfigOrCached();
    // None when the file is missing, unreadable or does not decode.
    std::optional<Models::RemoteConfig> loadCachedConfig() const;
    // Starts the next configuration session: a fetch in flight is discarded, the cache deleted.
    void endSession();

    // Replaces any running refresh thread by a new one; the first fetch comes after one full wait.
    void startPeriodicRefresh(RefreshCallback callback);
    // Stops the current refresh thread without waiting for it: it ends within a second while it
    // waits, or when its fetch returns (that answer is discarded).
    void stopPeriodicRefresh();
    // Stops every refresh thread and joins each for up to 5 s; one that hangs ends the process
    // with exit status 75 and without static destruction.
    void shutdownAndJoin();

    // Seconds between two refreshes for a random draw r: at least 1200 and below 2400.
    static quint32 refreshWaitSeconds(quint32 r);

private:
    using StopFlag = std::shared_ptr<std::atomic_bool>;

    RemoteConfigService() = default;
    ~RemoteConfigService() override;

    Models::RemoteConfig fetchAndCacheLocked(const StillWanted &stillWanted);
    void stopPeriodicRefreshLocked();
    void onRetiredThreadDestroyed(QThread *thread);
    static void runRefreshLoop(RemoteConfigService *service, const StopFlag &stopFlag,
                               const RefreshCallback &callback);
    static bool isRefreshStillWanted(const StopFlag &stopFlag);
    // Sets the flag and wakes a refresh loop waiting on it.
    void raiseStopFlag(const StopFlag &stopFlag);
    // Sleeps until the time is up or the flag is raised; true when it was raised.
    bool waitForStop(const StopFlag &stopFlag, quint32 seconds);

    friend QThread *RemoteConfigServiceTestHooks::currentRefreshThread();

    QMutex m_fetchMutex;
    QMutex m_sessionMutex;
    quint64 m_sessionGeneration = 0;
    QMutex m_threadMutex;
    QThread *m_currentThread = nullptr;
    QList<QThread *> m_retiredThreads;
    StopFlag m_stopFlag;
    QMutex m_stopMutex;
    QWaitCondition m_stopRaised;
};

} // namespace Services
