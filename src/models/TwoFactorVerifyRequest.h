#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace Models {

// Body of the two-factor verification. Unlike the sign-in body, its flags are JSON bools.
struct TwoFactorVerifyRequest
{
    QString email;
    QString code;
    std::optional<QString> pendingToken;
    bool useJwt = false;
    bool includeInit = false;

    QJsonObject toJson() const;

    friend bool operator==(const TwoFactorVerifyRequest &, const TwoFactorVerifyRequest &)
            = default;
};

} // namespace Models
