#pragma once

#include <QString>

// Request paths that carry a value, relative to the API base URL.
namespace Networking::ApiPaths {

QString passwordRecoveryCode(const QString &code);
// sessionId: the upper-case identifier without braces.
QString sessionScreenshots(const QString &sessionId);

} // namespace Networking::ApiPaths
