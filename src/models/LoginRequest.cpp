#include "models/LoginRequest.h"

#include <utility>

namespace Models {

LoginRequest::LoginRequest(QString email, QString password, int rememberMe, int useJwt,
                           std::optional<int> isOtp)
    : email(std::move(email))
    , password(std::move(password))
    , rememberMe(rememberMe)
    , useJwt(useJwt)
    , isOtp(isOtp)
{
}

QJsonObject LoginRequest::toJson() const
{
    QJsonObject object{
        { QLatin1StringView("email"), email },
        { QLatin1StringView("password"), password },
        { QLatin1StringView("remember_me"), rememberMe },
        { QLatin1StringView("use_jwt"), useJwt },
    };
    if (isOtp)
        object.insert(QLatin1StringView("is_otp"), *isOtp);
    return object;
}

} // namespace Models
