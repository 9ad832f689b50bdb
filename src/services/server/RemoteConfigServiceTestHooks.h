#pragma once

class QThread;

// For tests only: the program never calls these.
namespace Services::RemoteConfigServiceTestHooks {

// The refresh thread that runs now, or nullptr.
QThread *currentRefreshThread();

// Replaces the 1200 s base of the refresh wait (the wait becomes seconds + a random share of
// another `seconds`); a value of 0 or less restores it.
void setRefreshBaseWaitSeconds(int seconds);

} // namespace Services::RemoteConfigServiceTestHooks
