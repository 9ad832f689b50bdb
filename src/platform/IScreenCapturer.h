#pragma once

#include <QImage>
#include <QList>
#include <QObject>

namespace Platform {

// One image per screen (or per shared stream). Called on the GUI thread.
class IScreenCapturer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // An empty list means nothing could be captured; no error for the caller.
    virtual QList<QImage> captureScreens() = 0;
    virtual bool isAvailable() = 0;
    // The user asked to grant capture; back ends that need no grant do nothing.
    virtual void requestAccess() = 0;
    virtual void onSystemResumed() { }
    virtual void onPermissionRevoked() { }

Q_SIGNALS:
    void availabilityChanged();
};

} // namespace Platform
