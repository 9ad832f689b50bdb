#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// The company endpoint a sign-in answer hands over when the user belongs to one company.
struct LoginInit
{
    // The company's API endpoint as the service sends it, not yet normalised.
    QString endpoint;

    static LoginInit fromJson(const QJsonObject &object);

    friend bool operator==(const LoginInit &, const LoginInit &) = default;
};

} // namespace Models
