#pragma once

namespace Models {
struct Session;
}

namespace Services {

// The upload calls the tracking engine makes. The program's implementation forwards each call to
// the process-wide upload service; tests install a recording stand-in through
// TrackingUploadsTestHooks.
class ITrackingUploads
{
public:
    enum class HeartbeatResult : int { Ok = 0, Deferred = 1, Failed = 2 };

    virtual ~ITrackingUploads() = default;

    virtual void enqueueSessionStart(const Models::Session &session) = 0;
    virtual void enqueueSessionStop(const Models::Session &session) = 0;
    virtual void enqueueScreenshotsForSession(const Models::Session &session) = 0;
    // Synchronous on the calling thread; runs a nested event loop until the answer arrives.
    virtual HeartbeatResult uploadHeartbeatNow(const Models::Session &session) = 0;
    virtual void wakeWorker() = 0;
};

// The uploads in force: the installed test stand-in, else the forwarder to the upload service.
ITrackingUploads &trackingUploads();

} // namespace Services
