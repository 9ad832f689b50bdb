#pragma once

#include "ApiClientFixture.h"
#include "FakeHrServer.h"

#include "core/AppStateManager.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "storage/TokenStore.h"

#include <QTest>

namespace TestSupport {

// A client signed in on a running stand-in that is stored as the company endpoint; undone when
// it goes.
struct SignedInClient
{
    FakeHrServer server;
    MemoryCredentialStore credentials;
    Storage::TokenStore tokens{ &credentials };

    SignedInClient()
    {
        QVERIFY(server.start());
        Networking::APIClient::setTokenStore(&tokens);
        Networking::ApiEndpoint::saveOverride(server.baseUrl());
        signIn(server, tokens);
        Core::AppStateManager::instance().setIsAuthenticated(true);
    }
    ~SignedInClient()
    {
        Networking::ApiEndpoint::saveOverride(std::nullopt);
        Networking::APIClient::setTokenStore(nullptr);
    }
    void setLatestVersion(const QString &version)
    {
        server.updateScenario([&](FakeHrScenario &scenario) {
            scenario.configuration.insert(QStringLiteral("latest_client_version_linux"), version);
        });
    }
};

} // namespace TestSupport
