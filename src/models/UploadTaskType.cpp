#include "models/UploadTaskType.h"

#include "models/EnumTexts.h"

using namespace Qt::StringLiterals;

namespace Models {

namespace {
// In value order.
constexpr std::array texts{ "metadata"_L1, "heartbeat"_L1, "screenshot"_L1, "activitySegment"_L1,
                            "startSession"_L1 };
} // namespace

QString uploadTaskTypeToString(UploadTaskType type)
{
    return EnumTexts::toText(texts, type);
}

UploadTaskType uploadTaskTypeFromString(const QString &text)
{
    return EnumTexts::fromText<UploadTaskType>(texts, text, "UploadTaskType"_L1);
}

} // namespace Models
