#include "models/UploadTaskStatus.h"

#include "models/JsonDecodingError.h"

namespace Models {

QString uploadTaskStatusToString(UploadTaskStatus status)
{
    switch (status) {
    case UploadTaskStatus::pending:
        break;
    case UploadTaskStatus::inProgress:
        return QStringLiteral("inProgress");
    case UploadTaskStatus::failed:
        return QStringLiteral("failed");
    case UploadTaskStatus::completed:
        return QStringLiteral("completed");
    }
    return QStringLiteral("pending");
}

UploadTaskStatus uploadTaskStatusFromString(const QString &text)
{
    if (text == u"pending")
        return UploadTaskStatus::pending;
    if (text == u"inProgress")
        return UploadTaskStatus::inProgress;
    if (text == u"failed")
        return UploadTaskStatus::failed;
    if (text == u"completed")
        return UploadTaskStatus::completed;
    throw JsonDecodingError(QStringLiteral("Unknown UploadTaskStatus: %1").arg(text));
}

} // namespace Models
