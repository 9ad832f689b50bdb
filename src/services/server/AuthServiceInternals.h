#pragma once

#include "networking/APIError.h"
#include "storage/Log.h"

#include <QString>

// Shared by the source files of Services::AuthService only.
namespace Services::AuthServiceInternals {

// When the service's expiry texts do not parse: an hour for the access token, 30 days for the
// refresh token.
inline constexpr double accessFallbackSeconds = 3600;
inline constexpr double refreshFallbackSeconds = 2592000;

inline void logAuth(Core::Log::Level level, const QString &message)
{
    Core::Log::write(Core::Log::Category::Auth, level, message);
}

// The error's HTTP status for the log, 0 when no answer arrived.
inline int httpStatusOf(const Networking::APIError &error)
{
    return error.httpStatus.value_or(0);
}

} // namespace Services::AuthServiceInternals
