#pragma once

#include "models/LoginCompany.h"
#include "models/LoginInit.h"
#include "models/LoginTokens.h"
#include "models/LoginUser.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace Models {

// The answer of a sign-in and of the two-factor verification. Every field is optional: which
// ones are present decides the next sign-in step.
struct SingleLoginResponse
{
    std::optional<int> otpRequired;
    std::optional<bool> is2faActive;
    std::optional<QString> pendingToken;
    std::optional<QString> message;
    std::optional<LoginUser> user;
    std::optional<LoginInit> init;
    // Absent when the answer has no "companies"; an empty list when it sends an empty array.
    std::optional<QList<LoginCompany>> companies;
    // A complete token set nested under "data".
    std::optional<LoginTokens> dataTokens;
    // Token texts the service may send loose, beside the other fields.
    std::optional<QString> accessToken;
    std::optional<QString> refreshToken;
    std::optional<QString> expiresAt;
    std::optional<QString> refreshExpiresAt;

    // Decodes the object found under the answer's "data".
    static SingleLoginResponse fromJson(const QJsonObject &object);
    // Decodes the answer's root, whose "data" object is required.
    static SingleLoginResponse fromEnvelope(const QJsonObject &root);

    // The nested set when present, else the four loose texts with the type "Bearer" when all
    // four are there, else none.
    std::optional<LoginTokens> tokens() const;

    friend bool operator==(const SingleLoginResponse &, const SingleLoginResponse &) = default;
};

} // namespace Models
