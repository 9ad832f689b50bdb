#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QUuid>

#include <optional>

// What the upload service's source files share; not for use outside them.
namespace Services::UploadInternals {

inline constexpr QLatin1StringView startPath("hr/clockwarden/employees/sessions/start");
inline constexpr QLatin1StringView heartbeatPath("hr/clockwarden/employees/sessions/heartbeat");
inline constexpr QLatin1StringView segmentsBatchPath("hr/clockwarden/employees/segments/batch");

// The upload log category at each level.
void info(const QString &message);
void warn(const QString &message);
void error(const QString &message);

// The access token of the record in the client's token store; none when no record is stored or
// no store is installed.
std::optional<QString> storedAccessToken();

// Lower case without braces, as every log line names tasks and sessions.
QString idText(const QUuid &id);

} // namespace Services::UploadInternals
