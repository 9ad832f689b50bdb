#pragma once

#include "models/UploadTaskStatus.h"
#include "models/UploadTaskType.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace Models {

// One entry of the upload queue. The queue keeps it in its own columns; the JSON form below is
// for diagnostics and tests only and is neither stored nor sent.
struct UploadTask
{
    // The queue serves higher priorities first: a session start before its heartbeats, and
    // segment figures before the bulky screenshot files.
    static constexpr int startSessionPriority = 110;
    static constexpr int heartbeatPriority = 100;
    static constexpr int activitySegmentPriority = 40;
    static constexpr int screenshotPriority = 10;

    QUuid id;
    // The null UUID for activity-segment tasks, which belong to no session.
    QUuid sessionId;
    UploadTaskType type = UploadTaskType::metadata;
    // Absolute path of the capture file; screenshot tasks only.
    std::optional<QString> filePath;
    // Compact JSON: the request body of a start or heartbeat, or the open segment's key.
    std::optional<QByteArray> jsonPayload;
    int retryCount = 0;
    QDateTime createdAt;
    UploadTaskStatus status = UploadTaskStatus::pending;
    int priority = 0;

    UploadTask() = default;
    UploadTask(QUuid id, QUuid sessionId, UploadTaskType type, std::optional<QString> filePath,
               std::optional<QByteArray> jsonPayload, int retryCount, QDateTime createdAt,
               UploadTaskStatus status, int priority);

    QJsonObject toJson() const;
    static UploadTask fromJson(const QJsonObject &object);

    friend bool operator==(const UploadTask &, const UploadTask &) = default;
};

} // namespace Models
