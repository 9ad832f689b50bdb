#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// Body of the token refresh: {"refresh_token": refreshToken}.
QJsonObject refreshRequestJson(const QString &refreshToken);

} // namespace Models
