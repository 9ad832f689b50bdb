#include "models/LoginUser.h"

#include "models/JsonReaders.h"

namespace Models {

LoginUser LoginUser::fromJson(const QJsonObject &object)
{
    LoginUser user;
    user.email = requireString(object, QLatin1StringView("email"));
    user.name = optionalString(object, QLatin1StringView("name"));
    return user;
}

} // namespace Models
