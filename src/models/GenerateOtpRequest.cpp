#include "models/GenerateOtpRequest.h"

#include <utility>

namespace Models {

GenerateOtpRequest::GenerateOtpRequest(QString email, QString via)
    : email(std::move(email))
    , via(std::move(via))
{
}

QJsonObject GenerateOtpRequest::toJson() const
{
    return QJsonObject{
        { QLatin1StringView("email"), email },
        { QLatin1StringView("via"), via },
    };
}

} // namespace Models
