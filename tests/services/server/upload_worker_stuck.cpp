// Helper program for tst_uploadworker: an upload worker stuck where no abort reaches it (here in
// the secret store), then stop. The program should end there with exit status 75 and without
// running its exit handlers; "returned" or "exit handler ran" on standard output means it did not.

#include "ApiClientFixture.h"
#include "FakeHrServer.h"

#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/UploadService.h"
#include "storage/Log.h"
#include "storage/SQLiteStore.h"

#include <QCoreApplication>
#include <QSemaphore>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// Once blocking, the next read never returns.
class BlockingCredentialStore final : public Storage::ICredentialStore
{
public:
    bool store(const QString &service, const QString &account, const QString &kind,
               const QByteArray &secret) override
    {
        return m_inner.store(service, account, kind, secret);
    }

    std::optional<QByteArray> load(const QString &service, const QString &account,
                                   const QString &kind) override
    {
        if (blocking) {
            entered.release();
            QSemaphore never;
            never.acquire();
        }
        return m_inner.load(service, account, kind);
    }

    bool remove(const QString &service, const QString &account, const QString &kind) override
    {
        return m_inner.remove(service, account, kind);
    }

    std::atomic_bool blocking{ false };
    QSemaphore entered;

private:
    MemoryCredentialStore m_inner;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Core::Log::install();
    std::atexit([] { std::puts("exit handler ran"); });

    TestSupport::FakeHrServer server;
    if (!server.start())
        return 2;
    BlockingCredentialStore credentials;
    Storage::TokenStore tokens(&credentials);
    Networking::APIClient::setTokenStore(&tokens);
    Networking::ApiEndpoint::saveOverride(server.baseUrl());
    signIn(server, tokens);
    Storage::SQLiteStore store(true);

    Services::UploadService &uploads = Services::UploadService::instance();
    uploads.start(&store);
    credentials.blocking = true;
    uploads.wakeWorker();
    if (!credentials.entered.tryAcquire(1, 10000))
        return 3;
    uploads.stop();
    std::puts("returned");
    return 0;
}
