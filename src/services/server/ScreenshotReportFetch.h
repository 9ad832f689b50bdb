#pragma once

#include "models/ScreenshotReport.h"

#include <QDateTime>

namespace Services {

// One day of the employee's screenshots and activity figures. The day is the date of `day` in
// its own time zone; its time never reaches the request. Blocks the calling thread for the whole
// request through that thread's HTTP client. Throws Networking::APIError (kind Decoding for a
// malformed answer) or Models::JsonDecodingError.
Models::ScreenshotReport fetchScreenshotReport(const QDateTime &day);

} // namespace Services
