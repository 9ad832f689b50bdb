#include "models/TokenResponse.h"

#include "models/JsonDecodingError.h"
#include "models/JsonReaders.h"

namespace Models {

namespace {
constexpr QLatin1StringView dataKey("data");
} // namespace

TokenResponse TokenResponse::fromJson(const QJsonObject &object)
{
    TokenResponse response;
    response.accessToken = requireString(object, QLatin1StringView("access_token"));
    response.refreshToken = optionalString(object, QLatin1StringView("refresh_token"));
    response.tokenType = optionalString(object, QLatin1StringView("token_type"));
    response.expiresAt = requireString(object, QLatin1StringView("expires_at"));
    response.refreshExpiresAt = optionalString(object, QLatin1StringView("refresh_expires_at"));
    return response;
}

TokenResponse TokenResponse::fromEnvelope(const QJsonObject &root)
{
    const QJsonObject outer = requireObject(root, dataKey);
    if (const auto inner = optionalObject(outer, dataKey)) {
        try {
            return fromJson(*inner);
        } catch (const JsonDecodingError &) {
            // Not a token set after all: the outer object decides.
        }
    }
    return fromJson(outer);
}

} // namespace Models
