#pragma once

#include <QObject>

namespace Platform {

// The system's sleep notices.
class ISleepWatcher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;
    virtual void stop() = 0;

Q_SIGNALS:
    void aboutToSleep();
    void awoke();
};

} // namespace Platform
