#pragma once

// What the authentication service's tests share: the stand-in, a real token store over an
// in-memory credential store linked to both the service and the HTTP client, and a way to hand a
// call's outcome back from a worker thread.

#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "TokenCredentialKey.h"

#include "models/SingleLoginResult.h"
#include "networking/APIClient.h"
#include "networking/APIError.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthService.h"
#include "services/server/PasswordChangedButSignInFailed.h"
#include "services/server/RemoteConfigService.h"
#include "storage/LastLoginStore.h"
#include "storage/Preferences.h"
#include "storage/StoreTestHooks.h"

#include <QFile>
#include <QTest>

#include <optional>

// What one call ended with.
struct CallOutcome
{
    std::optional<Models::SingleLoginResult> result;
    std::optional<Networking::APIError> apiError;
    // The text of any other exception.
    QString failure;

    int index() const { return result ? int(result->index()) : -1; }
    const Models::AuthTokens *tokens() const
    {
        if (!result)
            return nullptr;
        if (const auto *direct = std::get_if<Models::SingleLoginDirectConfig>(&*result))
            return &direct->tokens;
        if (const auto *selection = std::get_if<Models::SingleLoginCompanySelection>(&*result))
            return &selection->tokens;
        return nullptr;
    }
};

// A result of another type than a sign-in outcome is dropped.
template<typename Call>
CallOutcome callOutcome(Call call)
{
    CallOutcome outcome;
    try {
        if constexpr (std::is_same_v<decltype(call()), Models::SingleLoginResult>)
            outcome.result = call();
        else
            call();
    } catch (const Networking::APIError &error) {
        outcome.apiError = error;
    } catch (const std::exception &error) {
        outcome.failure = QString::fromUtf8(error.what());
    }
    return outcome;
}

class AuthBench final
{
public:
    // Call from initTestCase, on the GUI thread.
    void start()
    {
        QVERIFY(server.start());
        Services::AuthService::instance().setTokenStore(&tokenStore);
        Networking::APIClient::setTokenStore(&tokenStore);
    }

    // Call from init: a fresh stand-in, no tokens, and requests going to the stand-in.
    void reset()
    {
        server.reset();
        credentials.failing = false;
        tokenStore.clear();
        Storage::LastLoginStore::clear();
        Storage::clearUserProfile();
        Networking::ApiEndpoint::saveOverride(server.baseUrl());
        Networking::APIClient::setTokenRefresher(nullptr);
    }

    std::optional<Models::AuthTokens> storedTokens() const { return tokenStore.load(); }

    bool credentialEntryExists()
    {
        return credentials
                .load(TestSupport::TokenCredentialKey::service,
                      TestSupport::TokenCredentialKey::account,
                      TestSupport::TokenCredentialKey::kind)
                .has_value();
    }

    // The normalised company base for a path under the stand-in's origin.
    QUrl baseFor(const QString &prefix) const
    {
        return QUrl(server.origin().toString() + prefix + QStringLiteral("/api/v1/"));
    }

    TestSupport::FakeHrServer server;
    MemoryCredentialStore credentials;
    Storage::TokenStore tokenStore{ &credentials };
};
