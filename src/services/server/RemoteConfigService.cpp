#include "services/server/RemoteConfigService.h"

#include "models/JsonReaders.h"
#include "networking/APIClient.h"
#include "services/server/ApiAnswer.h"
#include "services/server/GuiThread.h"
#include "services/server/RemoteConfigServiceTestHooks.h"
#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QThread>

#include <mutex>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Services {

namespace {

constexpr quint32 defaultBaseWaitSeconds = 1200;
constexpr unsigned long joinTimeoutMs = 5000;
constexpr int stuckExitStatus = 75;

std::atomic<quint32> s_baseWaitSeconds{ defaultBaseWaitSeconds };

const QString configPath = u"hr/clockwarden/employees/config"_s;

void logConfig(Core::Log::Level level, const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, level, message);
}

// seconds + floor(r * seconds / 2^32): a whole number in [seconds, 2 * seconds).
quint32 waitSecondsFor(quint32 r, quint32 baseSeconds)
{
    return baseSeconds + quint32((quint64(r) * baseSeconds) >> 32);
}

} // namespace

namespace RemoteConfigServiceTestHooks {

QThread *currentRefreshThread()
{
    RemoteConfigService &service = RemoteConfigService::instance();
    const QMutexLocker locker(&service.m_threadMutex);
    return service.m_currentThread;
}

void setRefreshBaseWaitSeconds(int seconds)
{
    s_baseWaitSeconds = seconds > 0 ? quint32(seconds) : defaultBaseWaitSeconds;
}

} // namespace RemoteConfigServiceTestHooks

RemoteConfigService::SessionEnded::SessionEnded()
    : std::runtime_error("config session ended while the fetch was in flight")
{
}

RemoteConfigService::FetchBusy::FetchBusy()
    : std::runtime_error("a configuration fetch is already running")
{
}

RemoteConfigService &RemoteConfigService::instance()
{
    static RemoteConfigService service;
    return service;
}

RemoteConfigService::~RemoteConfigService()
{
    // Stops nothing: a thread still running at exit is left alone rather than destroyed under
    // its own feet (QThread aborts when destroyed while running).
    if (m_currentThread && m_currentThread->isFinished())
        delete m_currentThread;
}

QString RemoteConfigService::cachePath()
{
    return Platform::Paths::configFilePath();
}

quint32 RemoteConfigService::refreshWaitSeconds(quint32 r)
{
    return waitSecondsFor(r, defaultBaseWaitSeconds);
}

Models::RemoteConfig RemoteConfigService::fetchConfig(const StillWanted &stillWanted)
{
    std::unique_lock<QMutex> lock(m_fetchMutex, std::defer_lock);
    if (isGuiThread()) {
        // The holder may be this very thread further down the stack (a fetch reached from the
        // nested event loop of another fetch), so waiting could never end.
        if (!lock.try_lock())
            throw FetchBusy();
    } else {
        lock.lock();
    }
    return fetchAndCacheLocked(stillWanted);
}

Models::RemoteConfig RemoteConfigService::fetchAndCacheLocked(const StillWanted &stillWanted)
{
    quint64 generation = 0;
    {
        const QMutexLocker sessionLocker(&m_sessionMutex);
        generation = m_sessionGeneration;
    }

    const Networking::APIResponse response
            = Networking::APIClient::instance().get(configPath, true, true);
    if (response.error)
        throw *response.error;
    const Models::RemoteConfig config
            = Models::RemoteConfig::fromJson(ApiAnswer::dataObject(response.body));

    const QMutexLocker sessionLocker(&m_sessionMutex);
    if (generation != m_sessionGeneration || (stillWanted && !stillWanted())) {
        logConfig(Core::Log::Level::Info,
                  u"Config reply arrived after its session ended; discarded"_s);
        throw SessionEnded();
    }

    Storage::saveUserProfile(config.name ? config.name : Storage::savedUserName(),
                             config.companyName ? config.companyName : Storage::savedCompanyName());

    QFile file(cachePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QJsonDocument(config.toJson()).toJson(QJsonDocument::Compact));
    return config;
}

Models::RemoteConfig RemoteConfigService::fetchConfigOrCached()
{
    try {
        return fetchConfig();
    } catch (const SessionEnded &) {
        throw;
    } catch (...) {
        if (std::optional<Models::RemoteConfig> cached = loadCachedConfig())
            return *cached;
        throw;
    }
}

std::optional<Models::RemoteConfig> RemoteConfigService::loadCachedConfig() const
{
    QFile file(cachePath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return Models::decodeStoredObject<Models::RemoteConfig>(file.readAll());
}

void RemoteConfigService::endSession()
{
    const QMutexLocker locker(&m_sessionMutex);
    ++m_sessionGeneration;
    QFile::remove(cachePath());
}

void RemoteConfigService::startPeriodicRefresh(RefreshCallback callback)
{
    const QMutexLocker locker(&m_threadMutex);
    stopPeriodicRefreshLocked();

    StopFlag stopFlag = std::make_shared<std::atomic_bool>(false);
    m_stopFlag = stopFlag;
    QThread *thread = QThread::create([this, stopFlag, callback = std::move(callback)] {
        runRefreshLoop(this, stopFlag, callback);
    });
    // A retired thread is deleted through deleteLater, which needs its owner thread's event loop:
    // a thread object made on a pool thread would never be deleted.
    if (const QCoreApplication *application = QCoreApplication::instance())
        thread->moveToThread(application->thread());
    m_currentThread = thread;
    thread->start();
}

void RemoteConfigService::stopPeriodicRefresh()
{
    const QMutexLocker locker(&m_threadMutex);
    stopPeriodicRefreshLocked();
}

void RemoteConfigService::stopPeriodicRefreshLocked()
{
    if (m_stopFlag) {
        raiseStopFlag(m_stopFlag);
        m_stopFlag.reset();
    }
    if (!m_currentThread)
        return;

    QThread *thread = m_currentThread;
    m_currentThread = nullptr;
    m_retiredThreads.append(thread);
    connect(
            thread, &QObject::destroyed, this, [this, thread] { onRetiredThreadDestroyed(thread); },
            Qt::DirectConnection);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // Qt drops a second deferred-delete request for the same object, so a thread that finished
    // between the connection and this check is deleted once.
    if (thread->isFinished())
        thread->deleteLater();
}

void RemoteConfigService::raiseStopFlag(const StopFlag &stopFlag)
{
    *stopFlag = true;
    // Taken after the flag is set: a loop that saw it clear is already waiting, and is woken.
    const QMutexLocker locker(&m_stopMutex);
    m_stopRaised.wakeAll();
}

bool RemoteConfigService::waitForStop(const StopFlag &stopFlag, quint32 seconds)
{
    // One sleep for the whole wait rather than a look every second: the thread stays asleep for
    // the twenty-odd minutes between refreshes.
    const QDeadlineTimer deadline{ std::chrono::seconds(seconds) };
    QMutexLocker locker(&m_stopMutex);
    while (!*stopFlag && !deadline.hasExpired())
        m_stopRaised.wait(&m_stopMutex, deadline);
    return *stopFlag;
}

void RemoteConfigService::onRetiredThreadDestroyed(QThread *thread)
{
    const QMutexLocker locker(&m_threadMutex);
    m_retiredThreads.removeAll(thread);
}

void RemoteConfigService::shutdownAndJoin()
{
    QThread *current = nullptr;
    QList<QThread *> retired;
    {
        const QMutexLocker locker(&m_threadMutex);
        if (m_stopFlag) {
            raiseStopFlag(m_stopFlag);
            m_stopFlag.reset();
        }
        current = std::exchange(m_currentThread, nullptr);
        retired = std::exchange(m_retiredThreads, {});
    }

    const auto join = [](QThread *thread) {
        if (thread->wait(joinTimeoutMs))
            return;
        logConfig(Core::Log::Level::Warn,
                  u"RemoteConfigService::shutdownAndJoin: refresh thread stuck after 5s; exiting "
                  u"immediately without static destruction"_s);
        // A thread stuck in a request would abort the process when its QThread is destroyed;
        // _exit skips every destructor and exit handler.
        ::_exit(stuckExitStatus);
    };
    for (QThread *thread : std::as_const(retired))
        join(thread);
    if (current) {
        join(current);
        delete current;
    }
}

bool RemoteConfigService::isRefreshStillWanted(const StopFlag &stopFlag)
{
    return !stopFlag->load();
}

void RemoteConfigService::runRefreshLoop(RemoteConfigService *service, const StopFlag &stopFlag,
                                         const RefreshCallback &callback)
{
    for (;;) {
        if (*stopFlag)
            return;
        const quint32 waitSeconds
                = waitSecondsFor(QRandomGenerator::global()->generate(), s_baseWaitSeconds);
        if (service->waitForStop(stopFlag, waitSeconds))
            return;

        // Networking::APIError has no base class: only catch (...) reaches every failure.
        try {
            const Models::RemoteConfig config
                    = service->fetchConfig([stopFlag] { return isRefreshStillWanted(stopFlag); });
            if (*stopFlag)
                return;
            if (callback)
                callback(config);
        } catch (...) {
        }
    }
}

} // namespace Services
