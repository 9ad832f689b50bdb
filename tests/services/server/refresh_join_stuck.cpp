// Helper program for tst_remoteconfigservice: a refresh thread whose fetch never gets an answer,
// then shutdownAndJoin. The program should end there with exit status 75 and without running its
// exit handlers; "returned" or "exit handler ran" on standard output means it did not.

#include "ApiClientFixture.h"
#include "FakeHrServer.h"

#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/RemoteConfigService.h"
#include "services/server/RemoteConfigServiceTestHooks.h"
#include "storage/Log.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Core::Log::install();
    std::atexit([] { std::puts("exit handler ran"); });

    TestSupport::FakeHrServer server;
    if (!server.start())
        return 2;
    MemoryCredentialStore credentials;
    Storage::TokenStore tokens(&credentials);
    Networking::APIClient::setTokenStore(&tokens);
    Networking::ApiEndpoint::saveOverride(server.baseUrl());
    signIn(server, tokens);
    server.addFault(TestSupport::FakeHrRoute::Configuration, TestSupport::FakeHrFault::hang());

    Services::RemoteConfigServiceTestHooks::setRefreshBaseWaitSeconds(1);
    Services::RemoteConfigService::instance().startPeriodicRefresh({});
    if (!server.waitForRequests(1, TestSupport::FakeHrRoute::Configuration))
        return 3;
    Services::RemoteConfigService::instance().shutdownAndJoin();
    std::puts("returned");
    return 0;
}
