#include "RecordingUploads.h"

#include "services/tracking/TrackingUploadsTestHooks.h"

#include <QEventLoop>
#include <QTimer>

namespace TestSupport {

RecordingUploads::RecordingUploads()
{
    Services::TrackingUploadsTestHooks::install(this);
}

RecordingUploads::~RecordingUploads()
{
    Services::TrackingUploadsTestHooks::install(nullptr);
}

void RecordingUploads::enqueueSessionStart(const Models::Session &session)
{
    calls.append({ Kind::SessionStart, session });
}

void RecordingUploads::enqueueSessionStop(const Models::Session &session)
{
    calls.append({ Kind::SessionStop, session });
}

void RecordingUploads::enqueueScreenshotsForSession(const Models::Session &session)
{
    calls.append({ Kind::Screenshots, session });
}

Services::ITrackingUploads::HeartbeatResult
RecordingUploads::uploadHeartbeatNow(const Models::Session &session)
{
    calls.append({ Kind::Heartbeat, session });
    if (duringHeartbeat) {
        // Copies: the test code may replace the member while it runs.
        const auto work = duringHeartbeat;
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&loop, &work, session] {
            work(session);
            loop.quit();
        });
        loop.exec();
    }
    return heartbeatResult;
}

void RecordingUploads::wakeWorker()
{
    calls.append({ Kind::Wake, {} });
}

QList<RecordingUploads::Call> RecordingUploads::callsOf(Kind kind) const
{
    QList<Call> matching;
    for (const Call &call : calls) {
        if (call.kind == kind)
            matching.append(call);
    }
    return matching;
}

QStringList RecordingUploads::kinds() const
{
    QStringList names;
    for (const Call &call : calls) {
        switch (call.kind) {
        case Kind::SessionStart:
            names.append(QStringLiteral("start"));
            break;
        case Kind::SessionStop:
            names.append(QStringLiteral("stop"));
            break;
        case Kind::Screenshots:
            names.append(QStringLiteral("screenshots"));
            break;
        case Kind::Heartbeat:
            names.append(QStringLiteral("heartbeat"));
            break;
        case Kind::Wake:
            break;
        }
    }
    return names;
}

} // namespace TestSupport
