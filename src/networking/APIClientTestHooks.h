#pragma once

// For tests only: the program never calls these.
namespace Networking::APIClientTestHooks {

// Replaces the 120000 ms request timeout (which also sets the multipart pre-refresh window);
// a value of 0 or less restores it.
void setRequestTimeoutMs(int milliseconds);

} // namespace Networking::APIClientTestHooks
