#include "models/UploadTaskStatus.h"

#include "models/EnumTexts.h"

using namespace Qt::StringLiterals;

namespace Models {

namespace {
// In value order.
constexpr std::array texts{ "pending"_L1, "inProgress"_L1, "failed"_L1, "completed"_L1 };
} // namespace

QString uploadTaskStatusToString(UploadTaskStatus status)
{
    return EnumTexts::toText(texts, status);
}

UploadTaskStatus uploadTaskStatusFromString(const QString &text)
{
    return EnumTexts::fromText<UploadTaskStatus>(texts, text, "UploadTaskStatus"_L1);
}

} // namespace Models
