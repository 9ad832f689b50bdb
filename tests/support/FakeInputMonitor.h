#pragma once

#include "platform/IInputMonitor.h"

namespace TestSupport {

// An input monitor that counts start and stop and emits on demand, from the calling thread or
// from a plain std::thread (as the X11 input thread does).
class FakeInputMonitor final : public Platform::IInputMonitor
{
    Q_OBJECT

public:
    enum class Event { KeyPress, MouseMove, MouseClick, Degraded };

    using Platform::IInputMonitor::IInputMonitor;

    void start() override { ++starts; }
    void stop() override { ++stops; }
    bool isAvailable() override
    {
        ++availabilityCalls;
        return available;
    }

    // Emits the event count times on the calling thread.
    void emitEvents(Event event, int count = 1);
    // Emits the event count times from a new std::thread and waits for that thread to end.
    void emitEventsFromThread(Event event, int count);

    bool available = true;
    int starts = 0;
    int stops = 0;
    int availabilityCalls = 0;
};

} // namespace TestSupport
