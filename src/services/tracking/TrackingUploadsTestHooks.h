#pragma once

namespace Services {
class ITrackingUploads;
}

// For tests only: the program never calls these.
namespace Services::TrackingUploadsTestHooks {

// Routes every upload call of the tracking engine to uploads (not owned) until reset; null puts
// back the forwarder to the upload service.
void install(ITrackingUploads *uploads);

} // namespace Services::TrackingUploadsTestHooks
