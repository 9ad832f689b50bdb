#pragma once

#include <QDateTime>
#include <QMutex>

#include <optional>

namespace Services {

// Pauses the whole upload queue while the service keeps failing with server errors: five counted
// failures in a row, the latest answered 500 or more, open it for 60 s, doubling with each
// reopening up to 600 s; one success closes it and resets everything. Only back-off failures
// count. Nothing is persisted: every run starts closed.
//
// Threading: the state operations take the breaker's own mutex; retryTime takes none.
class UploadCircuitBreaker final
{
public:
    struct Counters
    {
        int consecutiveFailures = 0;
        std::optional<QDateTime> openUntil;
        int trips = 0;
    };

    // Created on first use (on the upload worker), destroyed at exit.
    static UploadCircuitBreaker &instance();

    UploadCircuitBreaker() = default;
    Q_DISABLE_COPY_MOVE(UploadCircuitBreaker)

    bool isOpen(const QDateTime &now) const;
    void recordSuccess();
    void recordFailure(std::optional<int> httpStatus);
    Counters counters() const;

    // The next attempt after a back-off failure with this retry count: 2 x 2^min(n, 5) s plus a
    // random fraction of a second.
    static QDateTime retryTime(int retryCount);

private:
    mutable QMutex m_mutex;
    int m_consecutiveFailures = 0;
    std::optional<QDateTime> m_openUntil;
    int m_trips = 0;
};

} // namespace Services
