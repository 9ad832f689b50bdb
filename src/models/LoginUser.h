#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace Models {

// The signed-in user as a sign-in answer describes them.
struct LoginUser
{
    QString email;
    std::optional<QString> name;

    static LoginUser fromJson(const QJsonObject &object);

    friend bool operator==(const LoginUser &, const LoginUser &) = default;
};

} // namespace Models
