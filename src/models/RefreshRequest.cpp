#include "models/RefreshRequest.h"

namespace Models {

QJsonObject refreshRequestJson(const QString &refreshToken)
{
    return QJsonObject{ { QLatin1StringView("refresh_token"), refreshToken } };
}

} // namespace Models
