#include "models/AuthTokens.h"

#include "models/IsoDateTime.h"
#include "models/JsonReaders.h"

namespace Models {

namespace {
constexpr QLatin1StringView accessTokenKey("accessToken");
constexpr QLatin1StringView refreshTokenKey("refreshToken");
constexpr QLatin1StringView expiresAtKey("expiresAt");
constexpr QLatin1StringView refreshExpiresAtKey("refreshExpiresAt");
constexpr QLatin1StringView expiresAtRawKey("expiresAtRaw");
constexpr QLatin1StringView refreshExpiresAtRawKey("refreshExpiresAtRaw");
} // namespace

QJsonObject AuthTokens::toJson() const
{
    return QJsonObject{
        { accessTokenKey, accessToken },
        { refreshTokenKey, refreshToken },
        { expiresAtKey, toIsoUtcMilliseconds(expiresAt) },
        { refreshExpiresAtKey, toIsoUtcMilliseconds(refreshExpiresAt) },
        { expiresAtRawKey, expiresAtRaw },
        { refreshExpiresAtRawKey, refreshExpiresAtRaw },
    };
}

AuthTokens AuthTokens::fromJson(const QJsonObject &object)
{
    AuthTokens tokens;
    tokens.accessToken = requireString(object, accessTokenKey);
    tokens.refreshToken = requireString(object, refreshTokenKey);
    tokens.expiresAt = fromIsoUtcMilliseconds(requireString(object, expiresAtKey));
    tokens.refreshExpiresAt = fromIsoUtcMilliseconds(requireString(object, refreshExpiresAtKey));
    tokens.expiresAtRaw = requireString(object, expiresAtRawKey);
    tokens.refreshExpiresAtRaw = requireString(object, refreshExpiresAtRawKey);
    return tokens;
}

} // namespace Models
