#include "models/PasswordResetCodeCheckResponse.h"

#include "models/JsonReaders.h"

namespace Models {

PasswordResetCodeCheckResponse PasswordResetCodeCheckResponse::fromJson(const QJsonObject &root)
{
    const QJsonObject data
            = optionalObject(root, QLatin1StringView("data")).value_or(QJsonObject());
    PasswordResetCodeCheckResponse response;
    response.valid = optionalFlag(data, QLatin1StringView("valid"));
    if (auto email = optionalString(data, QLatin1StringView("email")); email && !email->isEmpty())
        response.email = std::move(email);
    return response;
}

} // namespace Models
