#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// A company the user may sign in to.
struct LoginCompany
{
    QString name;
    QString endpoint;

    static LoginCompany fromJson(const QJsonObject &object);

    friend bool operator==(const LoginCompany &, const LoginCompany &) = default;
};

} // namespace Models
