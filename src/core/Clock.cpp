#include "core/Clock.h"

#include "core/ClockTestHooks.h"

#include <atomic>
#include <limits>

namespace Core {

namespace {

// Milliseconds since the epoch of a fixed test moment; this sentinel means the real clock.
constexpr qint64 realClock = std::numeric_limits<qint64>::min();
std::atomic<qint64> fixedMsecs{ realClock };

} // namespace

QDateTime Clock::nowUtc()
{
    const qint64 fixed = fixedMsecs.load(std::memory_order_relaxed);
    if (fixed == realClock)
        return QDateTime::currentDateTimeUtc();
    return QDateTime::fromMSecsSinceEpoch(fixed, Qt::UTC);
}

namespace ClockTestHooks {

void set(const QDateTime &moment)
{
    fixedMsecs.store(moment.toMSecsSinceEpoch(), std::memory_order_relaxed);
}

void advance(qint64 milliseconds)
{
    qint64 current = fixedMsecs.load(std::memory_order_relaxed);
    if (current == realClock)
        current = QDateTime::currentMSecsSinceEpoch();
    fixedMsecs.store(current + milliseconds, std::memory_order_relaxed);
}

void reset()
{
    fixedMsecs.store(realClock, std::memory_order_relaxed);
}

} // namespace ClockTestHooks

} // namespace Core
