#pragma once

// Pieces the tests of the HTTP client and the server services share: an in-memory credential store
// under a real token store, and a scripted token refresher. Header-only: a test that includes it
// links Clockwarden::Server and Clockwarden::FakeHrServer.

#include "FakeHrServer.h"

#include "models/AuthTokens.h"
#include "networking/APIClient.h"
#include "networking/ITokenRefresher.h"
#include "storage/ICredentialStore.h"
#include "storage/TokenStore.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

// The secret service's part in the token store, kept in memory. With failing set, every operation
// throws, as a back end that breaks in an unexpected way would.
class MemoryCredentialStore final : public Storage::ICredentialStore
{
public:
    bool store(const QString &service, const QString &account, const QString &kind,
               const QByteArray &secret) override
    {
        throwWhenFailing();
        QMutexLocker locker(&m_mutex);
        m_secrets.insert(key(service, account, kind), secret);
        return true;
    }

    std::optional<QByteArray> load(const QString &service, const QString &account,
                                   const QString &kind) override
    {
        throwWhenFailing();
        QMutexLocker locker(&m_mutex);
        const auto found = m_secrets.constFind(key(service, account, kind));
        if (found == m_secrets.cend())
            return std::nullopt;
        return *found;
    }

    bool remove(const QString &service, const QString &account, const QString &kind) override
    {
        throwWhenFailing();
        QMutexLocker locker(&m_mutex);
        return m_secrets.remove(key(service, account, kind)) > 0;
    }

    std::atomic_bool failing{ false };

private:
    void throwWhenFailing() const
    {
        if (failing)
            throw std::runtime_error("credential store failed");
    }

    static QString key(const QString &service, const QString &account, const QString &kind)
    {
        return service + u'|' + account + u'|' + kind;
    }

    QMutex m_mutex;
    QHash<QString, QByteArray> m_secrets;
};

// Answers every refresh with `result` after running `action`, and counts the calls.
class RefresherStub final : public Networking::ITokenRefresher
{
public:
    Result refreshTokens() override
    {
        ++calls;
        if (action)
            action();
        return result;
    }

    Result result = Result::Refreshed;
    std::function<void()> action;
    int calls = 0;
};

inline Models::AuthTokens authTokens(const TestSupport::FakeHrTokens &issued,
                                     const QDateTime &expiresAt)
{
    Models::AuthTokens tokens;
    tokens.accessToken = issued.accessToken;
    tokens.refreshToken = issued.refreshToken;
    tokens.expiresAt = expiresAt;
    tokens.refreshExpiresAt = expiresAt.addDays(30);
    tokens.expiresAtRaw = issued.expiresAt;
    tokens.refreshExpiresAtRaw = issued.refreshExpiresAt;
    return tokens;
}

// Signs in on the stand-in and stores the tokens as the authentication service would; the access
// token expires after `lifetimeSeconds` as far as the client can tell.
inline TestSupport::FakeHrTokens signIn(TestSupport::FakeHrServer &server,
                                        Storage::TokenStore &store, int lifetimeSeconds = 3600)
{
    const TestSupport::FakeHrTokens issued = server.issueTokens();
    store.save(authTokens(issued, QDateTime::currentDateTimeUtc().addSecs(lifetimeSeconds)));
    return issued;
}

// Runs body on a fresh thread, which has its own client and connection, as the upload worker and
// the pool's threads do, and waits for it to end.
template<typename Body>
bool runOnWorkerThread(Body body, int timeoutMs = 60000)
{
    std::unique_ptr<QThread> worker(QThread::create(body));
    worker->start();
    return worker->wait(timeoutMs);
}

// One call of the client on the test's own thread, or on a worker thread.
template<typename Call>
auto callOn(bool onWorker, Call call)
{
    if (!onWorker)
        return call();
    decltype(call()) result{};
    runOnWorkerThread([&] { result = call(); });
    return result;
}
