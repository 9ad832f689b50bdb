#include "models/UploadTaskType.h"

#include "models/JsonDecodingError.h"

namespace Models {

QString uploadTaskTypeToString(UploadTaskType type)
{
    switch (type) {
    case UploadTaskType::metadata:
        break;
    case UploadTaskType::heartbeat:
        return QStringLiteral("heartbeat");
    case UploadTaskType::screenshot:
        return QStringLiteral("screenshot");
    case UploadTaskType::activitySegment:
        return QStringLiteral("activitySegment");
    case UploadTaskType::startSession:
        return QStringLiteral("startSession");
    }
    return QStringLiteral("metadata");
}

UploadTaskType uploadTaskTypeFromString(const QString &text)
{
    if (text == u"metadata")
        return UploadTaskType::metadata;
    if (text == u"heartbeat")
        return UploadTaskType::heartbeat;
    if (text == u"screenshot")
        return UploadTaskType::screenshot;
    if (text == u"activitySegment")
        return UploadTaskType::activitySegment;
    if (text == u"startSession")
        return UploadTaskType::startSession;
    throw JsonDecodingError(QStringLiteral("Unknown UploadTaskType: %1").arg(text));
}

} // namespace Models
