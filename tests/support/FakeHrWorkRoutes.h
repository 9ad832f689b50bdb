#pragma once

#include "FakeHrState.h"
#include "RecordedRequest.h"

namespace TestSupport {

// The signed-in routes of the service: configuration, screenshot report, session start,
// heartbeat with today's total, segment batches, multipart screenshots, and the image files that
// the report points at. Same contract as FakeHrAuthRoutes: the caller holds the state's lock and
// has checked the bearer token.
class FakeHrWorkRoutes final
{
public:
    static FakeHrAnswer configuration(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer screenshotReport(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer startSession(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer heartbeat(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer segmentsBatch(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer screenshots(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer screenshotFile(FakeHrState &state, const RecordedRequest &request);

    // The file name under which the canned report's pictures are served.
    static QString sampleFileName();
};

} // namespace TestSupport
