#pragma once

#include <QString>
#include <QtGlobal>

namespace Models {

// Where an upload-queue task stands. A task that succeeds is deleted, so completed is never
// stored; it exists for the conversions.
enum class UploadTaskStatus : qint32 {
    pending = 0,
    inProgress = 1,
    failed = 2,
    completed = 3,
};

// Any value other than inProgress, failed or completed writes as "pending".
QString uploadTaskStatusToString(UploadTaskStatus status);
// Exact, case-sensitive; anything else throws Models::JsonDecodingError.
UploadTaskStatus uploadTaskStatusFromString(const QString &text);

} // namespace Models
