#include "models/LoginInit.h"

#include "models/JsonReaders.h"

namespace Models {

LoginInit LoginInit::fromJson(const QJsonObject &object)
{
    return LoginInit{ requireString(object, QLatin1StringView("endpoint")) };
}

} // namespace Models
