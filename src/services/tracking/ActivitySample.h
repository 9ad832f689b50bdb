#pragma once

namespace Services {

// One second of activity, as the session engine hands it to the segment clock.
struct ActivitySample
{
    bool active = false;
    bool nonIdle = false;
    int mouseMovements = 0;
    int keyboardMovements = 0;

    friend bool operator==(const ActivitySample &, const ActivitySample &) = default;
};

} // namespace Services
