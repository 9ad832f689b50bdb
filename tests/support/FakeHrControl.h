#pragma once

#include "FakeHrState.h"
#include "RecordedRequest.h"

namespace TestSupport {

class FakeHrConnection;
class FakeHrListener;

// The JSON control interface under "/__control/" on the stand-in's own port, for driving it from
// another process (end-to-end tests, a developer with curl). Control calls are not recorded, meet
// no faults and close their connection after the answer.
//
//   GET    /__control/requests            {"requests": [recorded request, ...]}
//   DELETE /__control/requests            forget the log
//   POST   /__control/reset               default scenario; no tokens, log, faults or barriers
//   GET    /__control/scenario            the scenario as JSON
//   POST   /__control/scenario            change the fields given (see FakeHrScenario::applyJson)
//   POST   /__control/faults              {"route": "heartbeat", "kind": "answer", "status": 503,
//                                         "times": 3, ...} (see FakeHrFault::fromJson)
//   DELETE /__control/faults              drop every queued fault
//   POST   /__control/barriers            {"route": "refresh", "count": 2}
//   DELETE /__control/barriers            drop the barriers and send what they held
//   GET    /__control/tokens              the current token set (404 when none)
//   POST   /__control/tokens              issue a new set, as a sign-in would, and return it
//   POST   /__control/tokens/expire       the access token answers 401 from now on
//   POST   /__control/refuse              {"durationMs": 2000}: refuse connections for that long
class FakeHrControl final
{
public:
    static FakeHrAnswer handle(const RecordedRequest &request, FakeHrListener &listener,
                               FakeHrConnection *caller);

private:
    static FakeHrAnswer handleFaults(const RecordedRequest &request, FakeHrListener &listener);
    static FakeHrAnswer handleTokens(const RecordedRequest &request, FakeHrListener &listener);
};

} // namespace TestSupport
