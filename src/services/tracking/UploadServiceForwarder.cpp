#include "services/tracking/UploadServiceForwarder.h"

#include "services/server/UploadService.h"

namespace Services {

static_assert(int(ITrackingUploads::HeartbeatResult::Ok) == int(UploadService::HeartbeatResult::Ok)
              && int(ITrackingUploads::HeartbeatResult::Deferred)
                         == int(UploadService::HeartbeatResult::Deferred)
              && int(ITrackingUploads::HeartbeatResult::Failed)
                         == int(UploadService::HeartbeatResult::Failed));

void UploadServiceForwarder::enqueueSessionStart(const Models::Session &session)
{
    UploadService::instance().enqueueSessionStart(session);
}

void UploadServiceForwarder::enqueueSessionStop(const Models::Session &session)
{
    UploadService::instance().enqueueSessionStop(session);
}

void UploadServiceForwarder::enqueueScreenshotsForSession(const Models::Session &session)
{
    UploadService::instance().enqueueScreenshotsForSession(session);
}

ITrackingUploads::HeartbeatResult
UploadServiceForwarder::uploadHeartbeatNow(const Models::Session &session)
{
    return HeartbeatResult(int(UploadService::instance().uploadHeartbeatNow(session)));
}

void UploadServiceForwarder::wakeWorker()
{
    UploadService::instance().wakeWorker();
}

} // namespace Services
