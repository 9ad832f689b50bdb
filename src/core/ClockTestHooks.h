#pragma once

#include <QDateTime>

// For tests only: the program never calls these. They fix the moment Core::Clock::nowUtc gives, so
// that a test steps time instead of waiting for it.
namespace Core::ClockTestHooks {

// From now on nowUtc() answers this moment (converted to UTC) until advanced or reset.
void set(const QDateTime &moment);
// Moves a fixed clock on by the given milliseconds; on the real clock, fixes it at the real moment
// plus the step first.
void advance(qint64 milliseconds);
// Back to the real clock.
void reset();

} // namespace Core::ClockTestHooks
