#pragma once

#include <QObject>

namespace Platform {

// Seconds since the last user input. Called on the GUI thread.
class IIdleProvider : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Whole seconds, never negative; 0 when the figure cannot be had.
    virtual qint64 idleSeconds() = 0;
    virtual bool isAvailable() { return true; }
};

} // namespace Platform
