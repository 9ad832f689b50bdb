#pragma once

#include <QString>

// Redaction for request logging; the HTTP client and the authentication service apply it to what
// they write to the log. Thread-safe; the patterns are compiled once per process.
namespace Networking {

// Hides the string values of secret JSON fields (escaped quotes inside a value included), written
// back as "key":"<redacted>", and bearer credentials (case-sensitive "Bearer").
QString redactForLog(const QString &text);
// Hides the path segment after "authentication/password/recovery/" unless it is "reset".
QString redactRecoveryPath(const QString &text);

} // namespace Networking
