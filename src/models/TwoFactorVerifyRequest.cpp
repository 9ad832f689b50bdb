#include "models/TwoFactorVerifyRequest.h"

namespace Models {

QJsonObject TwoFactorVerifyRequest::toJson() const
{
    QJsonObject object{
        { QLatin1StringView("email"), email },
        { QLatin1StringView("code"), code },
        { QLatin1StringView("use_jwt"), useJwt },
        { QLatin1StringView("include_init"), includeInit },
    };
    if (pendingToken)
        object.insert(QLatin1StringView("pending_token"), *pendingToken);
    return object;
}

} // namespace Models
