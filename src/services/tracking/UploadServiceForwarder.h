#pragma once

#include "services/tracking/ITrackingUploads.h"

namespace Services {

// The program's uploads: every call goes to the process-wide upload service.
class UploadServiceForwarder final : public ITrackingUploads
{
public:
    void enqueueSessionStart(const Models::Session &session) override;
    void enqueueSessionStop(const Models::Session &session) override;
    void enqueueScreenshotsForSession(const Models::Session &session) override;
    HeartbeatResult uploadHeartbeatNow(const Models::Session &session) override;
    void wakeWorker() override;
};

} // namespace Services
