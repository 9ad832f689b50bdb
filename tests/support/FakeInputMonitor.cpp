#include "FakeInputMonitor.h"

#include <thread>

namespace TestSupport {

void FakeInputMonitor::emitEvents(Event event, int count)
{
    for (int i = 0; i < count; ++i) {
        switch (event) {
        case Event::KeyPress:
            Q_EMIT keyPressed();
            break;
        case Event::MouseMove:
            Q_EMIT mouseMoved();
            break;
        case Event::MouseClick:
            Q_EMIT mouseClicked();
            break;
        case Event::Degraded:
            Q_EMIT degraded();
            break;
        }
    }
}

void FakeInputMonitor::emitEventsFromThread(Event event, int count)
{
    std::thread emitter([this, event, count] { emitEvents(event, count); });
    emitter.join();
}

} // namespace TestSupport
