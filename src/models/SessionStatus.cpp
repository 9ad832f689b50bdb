#include "models/SessionStatus.h"

#include "models/EnumTexts.h"

using namespace Qt::StringLiterals;

namespace Models {

namespace {
// In value order.
constexpr std::array texts{ "active"_L1, "paused"_L1, "completed"_L1 };
} // namespace

QString sessionStatusToString(SessionStatus status)
{
    return EnumTexts::toText(texts, status);
}

SessionStatus sessionStatusFromString(const QString &text)
{
    return EnumTexts::fromText<SessionStatus>(texts, text, "SessionStatus"_L1);
}

} // namespace Models
