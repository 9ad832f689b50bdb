#pragma once

#include <QString>
#include <QtGlobal>

namespace Models {

// What an upload-queue task sends. metadata is never built; it is the fallback of the
// conversions, so that an unreadable stored row still maps to a value.
enum class UploadTaskType : qint32 {
    metadata = 0,
    heartbeat = 1,
    screenshot = 2,
    activitySegment = 3,
    startSession = 4,
};

// A value outside the enumeration, negative ones included, writes as "metadata".
QString uploadTaskTypeToString(UploadTaskType type);
// Exact, case-sensitive; anything else throws Models::JsonDecodingError.
UploadTaskType uploadTaskTypeFromString(const QString &text);

} // namespace Models
