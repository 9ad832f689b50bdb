#pragma once

#include <QString>

namespace Models {

// Sign-in outcome: the service sent an e-mail code that the user must type next.
struct SingleLoginOtpRequired
{
    // The e-mail as the caller gave it.
    QString email;
    // The e-mail of the answer's user; empty when the answer has no user.
    QString userEmail;

    friend bool operator==(const SingleLoginOtpRequired &, const SingleLoginOtpRequired &)
            = default;
};

} // namespace Models
