#include "models/LoginCompany.h"

#include "models/JsonReaders.h"

namespace Models {

LoginCompany LoginCompany::fromJson(const QJsonObject &object)
{
    LoginCompany company;
    company.name = requireString(object, QLatin1StringView("name"));
    company.endpoint = requireString(object, QLatin1StringView("endpoint"));
    return company;
}

} // namespace Models
