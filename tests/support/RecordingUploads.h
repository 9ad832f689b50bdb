#pragma once

#include "models/Session.h"
#include "services/tracking/ITrackingUploads.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace TestSupport {

// Records every upload call of the tracking engine instead of queueing or sending anything.
// Installs itself for its lifetime. The live heartbeat answers the scripted result; when
// duringHeartbeat is set, it runs inside a nested event loop first, as the real request's wait
// does, so a test can stop or start sessions while the engine waits for the answer.
class RecordingUploads final : public Services::ITrackingUploads
{
public:
    enum class Kind { SessionStart, SessionStop, Screenshots, Heartbeat, Wake };

    struct Call
    {
        Kind kind;
        // Empty for Wake.
        Models::Session session;
    };

    RecordingUploads();
    ~RecordingUploads() override;

    RecordingUploads(const RecordingUploads &) = delete;
    RecordingUploads &operator=(const RecordingUploads &) = delete;

    void enqueueSessionStart(const Models::Session &session) override;
    void enqueueSessionStop(const Models::Session &session) override;
    void enqueueScreenshotsForSession(const Models::Session &session) override;
    HeartbeatResult uploadHeartbeatNow(const Models::Session &session) override;
    void wakeWorker() override;

    QList<Call> callsOf(Kind kind) const;
    // The kinds in call order without the wakes, e.g. "start", "heartbeat", "screenshots", "stop".
    QStringList kinds() const;
    void clear() { calls.clear(); }

    QList<Call> calls;
    HeartbeatResult heartbeatResult = HeartbeatResult::Ok;
    std::function<void(const Models::Session &)> duringHeartbeat;
};

} // namespace TestSupport
