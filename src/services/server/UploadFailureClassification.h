#pragma once

#include <optional>

namespace Services {

// What the upload worker does with a queued task that failed.
enum class UploadFailureDisposition : int {
    Offline = 0,     // reschedule soon, retry count unchanged
    SessionGone = 1, // the server no longer takes the session's heartbeats
    Permanent = 2,   // drop the task
    Transient = 3,   // back off and retry, within the retry and age limits
};

struct UploadFailureClassification
{
    UploadFailureDisposition disposition = UploadFailureDisposition::Transient;
    // Only for a permanently failed screenshot task.
    bool deleteFile = false;
    // The server's status, when the disposition comes from an answer with one.
    std::optional<int> httpStatus;

    friend bool operator==(const UploadFailureClassification &, const UploadFailureClassification &)
            = default;
};

} // namespace Services
