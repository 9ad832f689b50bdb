#include "models/ResetPasswordRequest.h"

namespace Models {

QJsonObject ResetPasswordRequest::toJson() const
{
    return QJsonObject{
        { QLatin1StringView("token"), token },
        { QLatin1StringView("password"), password },
        { QLatin1StringView("appCode"), appCode },
    };
}

} // namespace Models
