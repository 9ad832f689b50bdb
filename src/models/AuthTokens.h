#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace Models {

// The stored sign-in tokens. The raw texts keep the expiries exactly as the service sent them,
// beside the parsed times.
struct AuthTokens
{
    QString accessToken;
    QString refreshToken;
    QDateTime expiresAt;
    QDateTime refreshExpiresAt;
    QString expiresAtRaw;
    QString refreshExpiresAtRaw;

    // Times in UTC with milliseconds; every key is required when read back.
    QJsonObject toJson() const;
    static AuthTokens fromJson(const QJsonObject &object);

    friend bool operator==(const AuthTokens &, const AuthTokens &) = default;
};

} // namespace Models
