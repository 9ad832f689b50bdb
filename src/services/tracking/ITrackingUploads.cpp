#include "services/tracking/ITrackingUploads.h"

#include "services/tracking/TrackingUploadsTestHooks.h"

#include <atomic>

namespace Services {

namespace {

std::atomic<ITrackingUploads *> installed{ nullptr };

// Stands in until the upload service is part of the build.
class NoUploads final : public ITrackingUploads
{
public:
    void enqueueSessionStart(const Models::Session &) override { }
    void enqueueSessionStop(const Models::Session &) override { }
    void enqueueScreenshotsForSession(const Models::Session &) override { }
    HeartbeatResult uploadHeartbeatNow(const Models::Session &) override
    {
        return HeartbeatResult::Failed;
    }
    void wakeWorker() override { }
};

} // namespace

ITrackingUploads &trackingUploads()
{
    if (ITrackingUploads *uploads = installed.load())
        return *uploads;
    static NoUploads forwarder;
    return forwarder;
}

void TrackingUploadsTestHooks::install(ITrackingUploads *uploads)
{
    installed.store(uploads);
}

} // namespace Services
