#include "services/server/UploadInternals.h"

#include "networking/APIClient.h"
#include "storage/Log.h"
#include "storage/TokenStore.h"

namespace Services::UploadInternals {

void info(const QString &message)
{
    Core::Log::write(Core::Log::Category::Upload, Core::Log::Level::Info, message);
}

void warn(const QString &message)
{
    Core::Log::write(Core::Log::Category::Upload, Core::Log::Level::Warn, message);
}

void error(const QString &message)
{
    Core::Log::write(Core::Log::Category::Upload, Core::Log::Level::Error, message);
}

std::optional<QString> storedAccessToken()
{
    Storage::TokenStore *store = Networking::APIClient::tokenStore();
    if (!store)
        return std::nullopt;
    const std::optional<Models::AuthTokens> tokens = store->load();
    if (!tokens)
        return std::nullopt;
    return tokens->accessToken;
}

QString idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

} // namespace Services::UploadInternals
