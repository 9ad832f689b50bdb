#pragma once

// For tests only: the program never calls these.
namespace Services::AuthServiceTestHooks {

// Replaces the 130000 ms limit of one wait for another thread's token refresh; a value of 0 or
// less restores it.
void setRefreshWaitLimitMs(int milliseconds);

} // namespace Services::AuthServiceTestHooks
