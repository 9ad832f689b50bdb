#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// Body asking the service to send an e-mail code.
struct GenerateOtpRequest
{
    QString email;
    QString via;

    GenerateOtpRequest(QString email, QString via);

    QJsonObject toJson() const;

    friend bool operator==(const GenerateOtpRequest &, const GenerateOtpRequest &) = default;
};

} // namespace Models
