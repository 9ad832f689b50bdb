#include "FakeHrBackend.h"

#include "FakeHrAuthRoutes.h"
#include "FakeHrWorkRoutes.h"

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

bool expectsJsonBody(FakeHrRoute route)
{
    switch (route) {
    case FakeHrRoute::SignIn:
    case FakeHrRoute::TwoFactorVerify:
    case FakeHrRoute::GenerateOtp:
    case FakeHrRoute::PasswordRecovery:
    case FakeHrRoute::PasswordReset:
    case FakeHrRoute::Refresh:
    case FakeHrRoute::SessionStart:
    case FakeHrRoute::Heartbeat:
    case FakeHrRoute::SegmentsBatch:
        return true;
    default:
        return false;
    }
}

} // namespace

FakeHrPlan FakeHrBackend::receive(RecordedRequest request)
{
    QMutexLocker locker(&m_mutex);
    request.order = m_nextOrder++;
    m_log.append(request);

    FakeHrPlan plan;
    plan.order = request.order;
    applyBarrierLocked(request.route, plan);
    const std::optional<FakeHrFault> fault = takeFaultLocked(request.route);
    if (!fault) {
        plan.answer = answerLocked(request);
        return plan;
    }
    plan.delayMs = fault->delayMs;
    switch (fault->kind) {
    case FakeHrFault::Kind::Answer:
        plan.answer = FakeHrAnswer{ fault->status, fault->contentType, withOrigin(fault->body) };
        plan.location = fault->location;
        plan.announceLength = fault->announceLength;
        break;
    case FakeHrFault::Kind::Delay:
        plan.answer = answerLocked(request);
        break;
    case FakeHrFault::Kind::Hang:
        plan.action = FakeHrPlan::Action::Hang;
        break;
    case FakeHrFault::Kind::Partial:
        plan.action = FakeHrPlan::Action::Partial;
        plan.answer = fault->body.isEmpty()
                              ? answerLocked(request)
                              : FakeHrAnswer{ fault->status, fault->contentType, fault->body };
        break;
    case FakeHrFault::Kind::Close:
        plan.action = FakeHrPlan::Action::Close;
        break;
    }
    return plan;
}

std::optional<FakeHrFault> FakeHrBackend::takeFaultLocked(FakeHrRoute route)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        QueuedFault &queued = m_faults[i];
        if (!fakeHrRouteMatches(queued.route, route))
            continue;
        const FakeHrFault fault = queued.fault;
        if (queued.fault.times > 0 && --queued.fault.times == 0)
            m_faults.removeAt(i);
        return fault;
    }
    return std::nullopt;
}

void FakeHrBackend::applyBarrierLocked(FakeHrRoute route, FakeHrPlan &plan)
{
    for (qsizetype i = 0; i < m_barriers.size(); ++i) {
        Barrier &barrier = m_barriers[i];
        if (!fakeHrRouteMatches(barrier.route, route))
            continue;
        plan.barrierId = barrier.id;
        if (--barrier.remaining <= 0) {
            plan.opensBarrier = true;
            m_barriers.removeAt(i);
        }
        return;
    }
}

FakeHrAnswer FakeHrBackend::answerLocked(const RecordedRequest &request)
{
    FakeHrAnswer answer = dispatchLocked(request);
    answer.body = withOrigin(answer.body);
    return answer;
}

FakeHrAnswer FakeHrBackend::dispatchLocked(const RecordedRequest &request)
{
    const FakeHrRoute route = request.route;
    if (route == FakeHrRoute::Unknown)
        return FakeHrAnswer::message(404, u"The route %1 could not be found."_s.arg(request.path));
    if (fakeHrRouteIsAuthenticated(route)
        && (!m_state.tokens || m_state.accessTokenExpired
            || request.bearerToken != m_state.tokens->accessToken)) {
        return FakeHrAnswer::message(401, u"Unauthenticated."_s);
    }
    if (expectsJsonBody(route) && !request.json.isObject())
        return FakeHrAnswer::message(400, u"The request body is not a JSON object."_s);

    switch (route) {
    case FakeHrRoute::SignIn:
        return FakeHrAuthRoutes::signIn(m_state, request);
    case FakeHrRoute::TwoFactorVerify:
        return FakeHrAuthRoutes::verifyTwoFactor(m_state, request);
    case FakeHrRoute::GenerateOtp:
        return FakeHrAuthRoutes::generateOtp(m_state, request);
    case FakeHrRoute::PasswordRecovery:
        return FakeHrAuthRoutes::requestPasswordRecovery(m_state, request);
    case FakeHrRoute::PasswordRecoveryCheck:
        return FakeHrAuthRoutes::checkPasswordResetCode(m_state, request);
    case FakeHrRoute::PasswordReset:
        return FakeHrAuthRoutes::resetPassword(m_state, request);
    case FakeHrRoute::Refresh:
        return FakeHrAuthRoutes::refresh(m_state, request);
    case FakeHrRoute::Logout:
        return FakeHrAuthRoutes::logout(m_state, request);
    case FakeHrRoute::Configuration:
        return FakeHrWorkRoutes::configuration(m_state, request);
    case FakeHrRoute::ScreenshotReport:
        return FakeHrWorkRoutes::screenshotReport(m_state, request);
    case FakeHrRoute::SessionStart:
        return FakeHrWorkRoutes::startSession(m_state, request);
    case FakeHrRoute::Heartbeat:
        return FakeHrWorkRoutes::heartbeat(m_state, request);
    case FakeHrRoute::SegmentsBatch:
        return FakeHrWorkRoutes::segmentsBatch(m_state, request);
    case FakeHrRoute::Screenshots:
        return FakeHrWorkRoutes::screenshots(m_state, request);
    case FakeHrRoute::ScreenshotFile:
        return FakeHrWorkRoutes::screenshotFile(m_state, request);
    case FakeHrRoute::Any:
    case FakeHrRoute::Unknown:
        break;
    }
    return FakeHrAnswer::message(404, u"Not found."_s);
}

QByteArray FakeHrBackend::withOrigin(const QByteArray &body) const
{
    if (!body.contains("{origin}"))
        return body;
    return QByteArray(body).replace("{origin}", m_state.origin.toUtf8());
}

QList<RecordedRequest> FakeHrBackend::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_log;
}

int FakeHrBackend::count(const FakeHrRequestFilter &filter) const
{
    QMutexLocker locker(&m_mutex);
    return int(std::count_if(m_log.cbegin(), m_log.cend(), [&](const RecordedRequest &request) {
        return !filter || filter(request);
    }));
}

void FakeHrBackend::clearRequests()
{
    QMutexLocker locker(&m_mutex);
    m_log.clear();
}

void FakeHrBackend::setOrigin(const QString &origin)
{
    QMutexLocker locker(&m_mutex);
    m_state.origin = origin;
}

FakeHrScenario FakeHrBackend::scenario() const
{
    QMutexLocker locker(&m_mutex);
    return m_state.scenario;
}

void FakeHrBackend::updateScenario(const std::function<void(FakeHrScenario &)> &change)
{
    QMutexLocker locker(&m_mutex);
    change(m_state.scenario);
}

FakeHrTokens FakeHrBackend::issueTokens()
{
    QMutexLocker locker(&m_mutex);
    return m_state.issueTokens();
}

std::optional<FakeHrTokens> FakeHrBackend::currentTokens() const
{
    QMutexLocker locker(&m_mutex);
    return m_state.tokens;
}

void FakeHrBackend::expireAccessToken()
{
    QMutexLocker locker(&m_mutex);
    m_state.accessTokenExpired = true;
}

QHash<QString, QByteArray> FakeHrBackend::uploadedFiles() const
{
    QMutexLocker locker(&m_mutex);
    return m_state.uploadedFiles;
}

void FakeHrBackend::serveFile(const QString &name, const QByteArray &bytes)
{
    QMutexLocker locker(&m_mutex);
    m_state.uploadedFiles.insert(name, bytes);
}

void FakeHrBackend::addFault(FakeHrRoute route, const FakeHrFault &fault)
{
    QMutexLocker locker(&m_mutex);
    if (fault.times != 0)
        m_faults.append({ route, fault });
}

void FakeHrBackend::clearFaults()
{
    QMutexLocker locker(&m_mutex);
    m_faults.clear();
}

void FakeHrBackend::addBarrier(FakeHrRoute route, int count)
{
    QMutexLocker locker(&m_mutex);
    if (count > 0)
        m_barriers.append({ m_nextBarrierId++, route, count });
}

QList<int> FakeHrBackend::clearBarriers()
{
    QMutexLocker locker(&m_mutex);
    QList<int> ids;
    for (const Barrier &barrier : std::as_const(m_barriers))
        ids.append(barrier.id);
    m_barriers.clear();
    return ids;
}

QList<int> FakeHrBackend::reset()
{
    const QList<int> barrierIds = clearBarriers();
    QMutexLocker locker(&m_mutex);
    const QString origin = m_state.origin;
    m_state = FakeHrState{};
    m_state.origin = origin;
    m_log.clear();
    m_faults.clear();
    return barrierIds;
}

} // namespace TestSupport
