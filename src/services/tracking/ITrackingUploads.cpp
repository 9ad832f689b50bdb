#include "services/tracking/ITrackingUploads.h"

#include "services/tracking/TrackingUploadsTestHooks.h"
#include "services/tracking/UploadServiceForwarder.h"

#include <atomic>

namespace Services {

namespace {
std::atomic<ITrackingUploads *> installed{ nullptr };
} // namespace

ITrackingUploads &trackingUploads()
{
    if (ITrackingUploads *uploads = installed.load())
        return *uploads;
    static UploadServiceForwarder forwarder;
    return forwarder;
}

void TrackingUploadsTestHooks::install(ITrackingUploads *uploads)
{
    installed.store(uploads);
}

} // namespace Services
