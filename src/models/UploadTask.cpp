#include "models/UploadTask.h"

#include "models/IsoDateTime.h"
#include "models/JsonReaders.h"

#include <utility>

namespace Models {

namespace {
constexpr QLatin1StringView idKey("id");
constexpr QLatin1StringView sessionIdKey("sessionId");
constexpr QLatin1StringView typeKey("type");
constexpr QLatin1StringView filePathKey("filePath");
constexpr QLatin1StringView jsonPayloadKey("jsonPayload");
constexpr QLatin1StringView retryCountKey("retryCount");
constexpr QLatin1StringView createdAtKey("createdAt");
constexpr QLatin1StringView statusKey("status");
constexpr QLatin1StringView priorityKey("priority");
} // namespace

UploadTask::UploadTask(QUuid id, QUuid sessionId, UploadTaskType type,
                       std::optional<QString> filePath, std::optional<QByteArray> jsonPayload,
                       int retryCount, QDateTime createdAt, UploadTaskStatus status, int priority)
    : id(id)
    , sessionId(sessionId)
    , type(type)
    , filePath(std::move(filePath))
    , jsonPayload(std::move(jsonPayload))
    , retryCount(retryCount)
    , createdAt(std::move(createdAt))
    , status(status)
    , priority(priority)
{
}

QJsonObject UploadTask::toJson() const
{
    QJsonObject object{
        { idKey, id.toString(QUuid::WithoutBraces) },
        { sessionIdKey, sessionId.toString(QUuid::WithoutBraces) },
        { typeKey, uploadTaskTypeToString(type) },
        { retryCountKey, retryCount },
        { createdAtKey, toIsoUtcMilliseconds(createdAt) },
        { statusKey, uploadTaskStatusToString(status) },
        { priorityKey, priority },
    };
    if (filePath)
        object.insert(filePathKey, *filePath);
    if (jsonPayload)
        object.insert(jsonPayloadKey, QString::fromLatin1(jsonPayload->toBase64()));
    return object;
}

UploadTask UploadTask::fromJson(const QJsonObject &object)
{
    UploadTask task;
    task.id = QUuid::fromString(requireString(object, idKey));
    task.sessionId = QUuid::fromString(requireString(object, sessionIdKey));
    task.type = uploadTaskTypeFromString(requireString(object, typeKey));
    task.filePath = optionalString(object, filePathKey);
    // Lenient on purpose: characters outside the Base64 alphabet are skipped, nothing fails.
    if (const auto payload = optionalString(object, jsonPayloadKey))
        task.jsonPayload = QByteArray::fromBase64(payload->toLatin1());
    task.retryCount = requireInt(object, retryCountKey);
    task.createdAt = fromIsoUtcMilliseconds(requireString(object, createdAtKey));
    task.status = uploadTaskStatusFromString(requireString(object, statusKey));
    task.priority = requireInt(object, priorityKey);
    return task;
}

} // namespace Models
