#include "models/LoginTokens.h"

#include "models/JsonReaders.h"

namespace Models {

LoginTokens LoginTokens::fromJson(const QJsonObject &object)
{
    LoginTokens tokens;
    tokens.accessToken = requireString(object, QLatin1StringView("access_token"));
    tokens.refreshToken = requireString(object, QLatin1StringView("refresh_token"));
    tokens.tokenType = requireString(object, QLatin1StringView("token_type"));
    tokens.expiresAt = requireString(object, QLatin1StringView("expires_at"));
    tokens.refreshExpiresAt = requireString(object, QLatin1StringView("refresh_expires_at"));
    return tokens;
}

} // namespace Models
