#pragma once

#include "FakeHrFault.h"
#include "FakeHrState.h"
#include "RecordedRequest.h"

#include <QList>
#include <QMutex>

#include <functional>
#include <optional>

namespace TestSupport {

// What the connection does with one request, decided when it arrives.
struct FakeHrPlan
{
    enum class Action { Answer, Hang, Partial, Close };

    int order = 0; // the request's place in the log
    Action action = Action::Answer;
    FakeHrAnswer answer;
    int delayMs = 0;
    int barrierId = 0;          // held until that barrier opens; 0 when no barrier applies
    bool opensBarrier = false;  // this request was the last one its barrier waited for
    QByteArray location;        // the Location header of a redirect; none when empty
    bool announceLength = true; // without Content-Length the body ends where the connection does
};

using FakeHrRequestFilter = std::function<bool(const RecordedRequest &)>;

// The stand-in's memory and judgement: the request log, the service state, the fault queue and the
// barriers. Every operation takes one mutex, so the server thread and the tests' threads may call
// any of them at any time.
class FakeHrBackend final
{
public:
    // Records the request (assigning its order) and decides its answer and any fault. The
    // route's own answer is computed now, so a delayed or held answer reflects the state at
    // arrival, and a fault that replaces the answer leaves the state alone (a refresh answered
    // 500 rotates no token).
    FakeHrPlan receive(RecordedRequest request);

    QList<RecordedRequest> requests() const;
    int count(const FakeHrRequestFilter &filter) const;
    void clearRequests();

    void setOrigin(const QString &origin);
    FakeHrScenario scenario() const;
    void updateScenario(const std::function<void(FakeHrScenario &)> &change);
    FakeHrTokens issueTokens();
    std::optional<FakeHrTokens> currentTokens() const;
    void expireAccessToken();
    QHash<QString, QByteArray> uploadedFiles() const;
    void serveFile(const QString &name, const QByteArray &bytes);

    void addFault(FakeHrRoute route, const FakeHrFault &fault);
    void clearFaults();
    // A one-shot barrier: answers of matching requests wait until `count` of them have arrived.
    void addBarrier(FakeHrRoute route, int count);
    // Forgets the barriers still waiting and returns their ids, so held answers can go out.
    QList<int> clearBarriers();

    // Back to a fresh service: default scenario, no tokens, no log, no faults, no barriers.
    QList<int> reset();

private:
    struct QueuedFault
    {
        FakeHrRoute route;
        FakeHrFault fault;
    };
    struct Barrier
    {
        int id = 0;
        FakeHrRoute route = FakeHrRoute::Any;
        int remaining = 0;
    };

    std::optional<FakeHrFault> takeFaultLocked(FakeHrRoute route);
    void applyBarrierLocked(FakeHrRoute route, FakeHrPlan &plan);
    FakeHrAnswer answerLocked(const RecordedRequest &request);
    FakeHrAnswer dispatchLocked(const RecordedRequest &request);
    QByteArray withOrigin(const QByteArray &body) const;

    mutable QMutex m_mutex;
    FakeHrState m_state;
    QList<RecordedRequest> m_log;
    int m_nextOrder = 1;
    QList<QueuedFault> m_faults;
    QList<Barrier> m_barriers;
    int m_nextBarrierId = 1;
};

} // namespace TestSupport
