#pragma once

#include <QString>

#include <optional>

namespace Models {

// Sign-in outcome: the user must give an authenticator or recovery code next.
struct SingleLoginTwoFactorRequired
{
    // The e-mail as the caller gave it.
    QString email;
    // The e-mail of the answer's user; empty when the answer has no user.
    QString userEmail;
    // Hand it back with the code.
    std::optional<QString> pendingToken;
    // The service's own message.
    std::optional<QString> message;

    friend bool operator==(const SingleLoginTwoFactorRequired &,
                           const SingleLoginTwoFactorRequired &)
            = default;
};

} // namespace Models
