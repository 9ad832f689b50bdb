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
// it goes. Without tokens it stands for a sign-in whose token record is lost.
struct SignedInClient
{
    FakeHrServer server;
    MemoryCredentialStore credentials;
    Storage::TokenStore tokens{ &credentials };

    explicit SignedInClient(bool withTokens = true)
    {
        QVERIFY(server.start());
        Networking::APIClient::setTokenStore(&tokens);
        Networking::ApiEndpoint::saveOverride(server.baseUrl());
        if (withTokens)
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
