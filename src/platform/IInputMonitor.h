#pragma once

#include <QObject>

namespace Platform {

// One signal per observed input event. Signals may be emitted on the back end's own thread;
// receivers on the GUI thread get them queued.
class IInputMonitor : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A second start without a stop, and a stop without a start, do nothing.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isAvailable() { return true; }

Q_SIGNALS:
    void keyPressed();
    void mouseMoved();
    void mouseClicked();
    // Only an estimate can be delivered; emitted at most once per monitor.
    void degraded();
};

} // namespace Platform
