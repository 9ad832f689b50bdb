#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// Body setting a new password with a reset code.
struct ResetPasswordRequest
{
    // The digits of the typed reset code.
    QString token;
    QString password;
    QString appCode;

    QJsonObject toJson() const;

    friend bool operator==(const ResetPasswordRequest &, const ResetPasswordRequest &) = default;
};

} // namespace Models
