#pragma once

#include <QDateTime>

// The one clock of the upload queue: the failure policy, the circuit breaker and the queue pass
// read the time here, so tests can move it on instead of waiting. Any thread may call.
namespace Services::UploadClock {

// The current UTC time plus the offset set for tests (none in the program).
QDateTime now();

// For tests only: moves the clock by the given amount from the real time; 0 restores it.
void setOffsetMs(qint64 offsetMs);
void advance(qint64 seconds);

} // namespace Services::UploadClock
