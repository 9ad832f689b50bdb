#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace Models {

// Body of a sign-in with a password, or with an e-mail code in place of the password. The
// service wants the flags as the numbers 1, never as JSON true.
struct LoginRequest
{
    QString email;
    // The e-mail code in the code step.
    QString password;
    int rememberMe = 0;
    int useJwt = 0;
    // 1 only in the e-mail-code step; left out of the body otherwise.
    std::optional<int> isOtp;

    LoginRequest(QString email, QString password, int rememberMe, int useJwt,
                 std::optional<int> isOtp);

    QJsonObject toJson() const;

    friend bool operator==(const LoginRequest &, const LoginRequest &) = default;
};

} // namespace Models
