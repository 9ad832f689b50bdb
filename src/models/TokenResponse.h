#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace Models {

// The answer of a token refresh. The expiry texts are the service's, parsed only when the token
// record is built.
struct TokenResponse
{
    QString accessToken;
    std::optional<QString> refreshToken;
    std::optional<QString> tokenType;
    QString expiresAt;
    std::optional<QString> refreshExpiresAt;

    static TokenResponse fromJson(const QJsonObject &object);
    // Decodes the answer's root. The service nests the tokens either in "data" or in "data"
    // inside "data"; an inner object that does not decode falls back to the outer one.
    static TokenResponse fromEnvelope(const QJsonObject &root);

    friend bool operator==(const TokenResponse &, const TokenResponse &) = default;
};

} // namespace Models
