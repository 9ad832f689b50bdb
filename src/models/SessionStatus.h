#pragma once

#include <QString>

namespace Models {

enum class SessionStatus { active = 0, paused = 1, completed = 2 };

// A value outside the enumeration writes as "active".
QString sessionStatusToString(SessionStatus status);
// Exact, case-sensitive; anything else throws Models::JsonDecodingError.
SessionStatus sessionStatusFromString(const QString &text);

} // namespace Models
