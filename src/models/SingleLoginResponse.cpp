#include "models/SingleLoginResponse.h"

#include "models/JsonReaders.h"

namespace Models {

namespace {
constexpr QLatin1StringView dataKey("data");
constexpr QLatin1StringView accessTokenKey("access_token");
} // namespace

SingleLoginResponse SingleLoginResponse::fromJson(const QJsonObject &object)
{
    SingleLoginResponse response;
    response.otpRequired = optionalInt(object, QLatin1StringView("otp_required"));
    response.is2faActive = optionalFlag(object, QLatin1StringView("is_2fa_active"));
    response.pendingToken = optionalString(object, QLatin1StringView("pending_token"));
    response.message = optionalString(object, QLatin1StringView("message"));
    if (const auto user = optionalObject(object, QLatin1StringView("user")))
        response.user = LoginUser::fromJson(*user);
    if (const auto init = optionalObject(object, QLatin1StringView("init")))
        response.init = LoginInit::fromJson(*init);
    if (const auto companies = optionalArray(object, QLatin1StringView("companies")))
        response.companies = decodeObjectList<LoginCompany>(*companies);
    // A nested object counts as a token set only when it names an access token; then it must
    // be complete.
    if (const auto data = optionalObject(object, dataKey); data && data->contains(accessTokenKey))
        response.dataTokens = LoginTokens::fromJson(*data);
    response.accessToken = optionalString(object, accessTokenKey);
    response.refreshToken = optionalString(object, QLatin1StringView("refresh_token"));
    response.expiresAt = optionalString(object, QLatin1StringView("expires_at"));
    response.refreshExpiresAt = optionalString(object, QLatin1StringView("refresh_expires_at"));
    return response;
}

SingleLoginResponse SingleLoginResponse::fromEnvelope(const QJsonObject &root)
{
    return fromJson(requireObject(root, dataKey));
}

std::optional<LoginTokens> SingleLoginResponse::tokens() const
{
    if (dataTokens)
        return dataTokens;
    if (!accessToken || !refreshToken || !expiresAt || !refreshExpiresAt)
        return std::nullopt;
    return LoginTokens{ *accessToken, *refreshToken, QStringLiteral("Bearer"), *expiresAt,
                        *refreshExpiresAt };
}

} // namespace Models
