#pragma once

#include <QDateTime>

namespace Core {

// The one source of "now" for the tracking engine and its services. The real clock unless a test
// has fixed it through ClockTestHooks. Any thread may call it.
class Clock final
{
public:
    Clock() = delete;

    // The current moment as a UTC date-time with millisecond precision.
    static QDateTime nowUtc();
};

} // namespace Core
