#pragma once

// For tests only: the program never calls these.
namespace Services::RemoteConfigServiceTestHooks {

// Replaces the 1200 s base of the refresh wait (the wait becomes seconds + a random share of
// another `seconds`); a value of 0 or less restores it.
void setRefreshBaseWaitSeconds(int seconds);

} // namespace Services::RemoteConfigServiceTestHooks
