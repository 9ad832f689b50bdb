#include "networking/ApiPaths.h"

using namespace Qt::StringLiterals;

namespace Networking::ApiPaths {

QString passwordRecoveryCode(const QString &code)
{
    return u"authentication/password/recovery/%1"_s.arg(code);
}

QString sessionScreenshots(const QString &sessionId)
{
    return u"hr/clockwarden/employees/sessions/%1/screenshots"_s.arg(sessionId);
}

} // namespace Networking::ApiPaths
