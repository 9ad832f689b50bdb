#include "core/SessionRules.h"

#include <algorithm>

namespace Core {

QDateTime resolveDanglingIntervalEnd(const QDateTime &start, const std::optional<QDateTime> &marker,
                                     const QDateTime &fallback)
{
    return std::max(start, std::min(marker.value_or(start), fallback));
}

bool shouldRestartIdleDetector(std::optional<int> oldThreshold, std::optional<int> newThreshold,
                               bool tracking, bool paused, bool idle)
{
    if (!newThreshold)
        return false;
    if (oldThreshold && *oldThreshold == *newThreshold)
        return false;
    return tracking && !paused && !idle;
}

} // namespace Core
