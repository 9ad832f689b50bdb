#include "services/server/UploadCircuitBreaker.h"

#include "services/server/UploadClock.h"

#include <QMutexLocker>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace Services {

namespace {

constexpr int openingThreshold = 5;
constexpr int firstStatusThatOpens = 500;
constexpr double firstOpenSeconds = 60.0;
constexpr double longestOpenSeconds = 600.0;
constexpr int backOffExponentLimit = 5;
constexpr double longestBackOffSeconds = 300.0;

} // namespace

UploadCircuitBreaker &UploadCircuitBreaker::instance()
{
    static UploadCircuitBreaker breaker;
    return breaker;
}

bool UploadCircuitBreaker::isOpen(const QDateTime &now) const
{
    const QMutexLocker locker(&m_mutex);
    return m_openUntil && now < *m_openUntil;
}

void UploadCircuitBreaker::recordSuccess()
{
    const QMutexLocker locker(&m_mutex);
    m_consecutiveFailures = 0;
    m_openUntil.reset();
    m_trips = 0;
}

void UploadCircuitBreaker::recordFailure(std::optional<int> httpStatus)
{
    const QMutexLocker locker(&m_mutex);
    ++m_consecutiveFailures;
    if (!httpStatus || *httpStatus < firstStatusThatOpens
        || m_consecutiveFailures < openingThreshold) {
        return;
    }
    // Capped before it is computed, so a long-running outage cannot overflow the power.
    const double delay
            = std::min(longestOpenSeconds, firstOpenSeconds * std::pow(2.0, std::min(m_trips, 10)));
    ++m_trips;
    m_openUntil = UploadClock::now().addMSecs(static_cast<qint64>(delay * 1000.0));
}

UploadCircuitBreaker::Counters UploadCircuitBreaker::counters() const
{
    const QMutexLocker locker(&m_mutex);
    return { m_consecutiveFailures, m_openUntil, m_trips };
}

QDateTime UploadCircuitBreaker::retryTime(int retryCount)
{
    const int exponent = std::clamp(retryCount, 0, backOffExponentLimit);
    const double jitter = QRandomGenerator::global()->generateDouble();
    const double delay = std::min(longestBackOffSeconds, 2.0 * std::pow(2.0, exponent) + jitter);
    return UploadClock::now().addMSecs(static_cast<qint64>(delay * 1000.0));
}

} // namespace Services
