#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace Models {

// The answer of a reset-code check. Decoding never fails: a malformed answer leaves both
// fields absent.
struct PasswordResetCodeCheckResponse
{
    std::optional<bool> valid;
    // Absent when the service sends none or an empty text.
    std::optional<QString> email;

    // Decodes the answer's root.
    static PasswordResetCodeCheckResponse fromJson(const QJsonObject &root);

    friend bool operator==(const PasswordResetCodeCheckResponse &,
                           const PasswordResetCodeCheckResponse &)
            = default;
};

} // namespace Models
