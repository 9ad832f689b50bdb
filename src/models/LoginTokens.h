#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// A complete token set of a sign-in answer. The expiry fields are the service's texts, parsed
// only when the token record is built.
struct LoginTokens
{
    QString accessToken;
    QString refreshToken;
    QString tokenType;
    QString expiresAt;
    QString refreshExpiresAt;

    static LoginTokens fromJson(const QJsonObject &object);

    friend bool operator==(const LoginTokens &, const LoginTokens &) = default;
};

} // namespace Models
