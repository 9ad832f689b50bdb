#pragma once

#include <QDateTime>

#include <optional>

// Pure decisions of the session engine, kept apart so they can be checked in isolation.
namespace Core {

// The end of an interval a crash left open: the last heartbeat marker, never before the
// interval's start (zero length without a marker) and never after the fallback.
QDateTime resolveDanglingIntervalEnd(const QDateTime &start, const std::optional<QDateTime> &marker,
                                     const QDateTime &fallback);

// Whether a newly applied idle threshold restarts the idle detector: only a new or changed
// threshold, and only while a session runs (not paused, not idle).
bool shouldRestartIdleDetector(std::optional<int> oldThreshold, std::optional<int> newThreshold,
                               bool tracking, bool paused, bool idle);

} // namespace Core
