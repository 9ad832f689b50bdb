#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace Core {

// Makes concurrent calls with the same key share one run of their work: the first caller runs it,
// the others wait for its outcome, the same result or the same exception object. A caller with
// another key never takes that outcome (another user's or a wrong password's sign-in must not
// succeed on somebody else's answer): it waits until the run ends and then runs its own work.
//
// Threading: any thread. The mutex guards only the bookkeeping; it is never held while the work
// runs. Waiters block without a time limit, so the work must end by itself (the HTTP client's
// timeout sees to that for sign-ins). The key lives only as long as its run.
template<typename T, typename Key>
class SingleFlight final
{
public:
    class Reset : public std::runtime_error
    {
    public:
        Reset()
            : std::runtime_error("SingleFlight reset before completion")
        {
        }
    };

    SingleFlight() = default;
    SingleFlight(const SingleFlight &) = delete;
    SingleFlight &operator=(const SingleFlight &) = delete;

    // Callers blocked in run() right now, sharing a run or waiting for their turn; for tests.
    int waitingCallers() const
    {
        const std::lock_guard<QMutex> lock(m_mutex);
        return m_waiting;
    }

    template<typename Work>
    T run(const Key &key, Work &&work)
    {
        std::unique_lock<QMutex> lock(m_mutex);
        for (;;) {
            if (!m_current) {
                const std::shared_ptr<Flight> flight = std::make_shared<Flight>(key);
                m_current = flight;
                lock.unlock();
                runWork(*flight, std::forward<Work>(work));
                lock.lock();
                return finish(flight);
            }
            if (m_current->key == key) {
                // Keep this run's record: a later run may replace m_current before we wake.
                const std::shared_ptr<Flight> flight = m_current;
                ++m_waiting;
                while (!flight->done)
                    m_finished.wait(lock.mutex());
                --m_waiting;
                return outcomeOf(*flight);
            }
            ++m_waiting;
            while (m_current)
                m_finished.wait(lock.mutex());
            --m_waiting;
        }
    }

private:
    struct Flight
    {
        explicit Flight(const Key &flightKey)
            : key(flightKey)
        {
        }

        Key key;
        bool done = false;
        std::optional<T> result;
        std::exception_ptr failure;
    };

    template<typename Work>
    static void runWork(Flight &flight, Work &&work)
    {
        try {
            // Written before done is set under the mutex, so no reader races it.
            flight.result.emplace(work());
        } catch (...) {
            flight.failure = std::current_exception();
        }
    }

    // Called with the mutex held.
    T finish(const std::shared_ptr<Flight> &flight)
    {
        flight->done = true;
        m_current.reset();
        m_finished.wakeAll();
        return outcomeOf(*flight);
    }

    static T outcomeOf(const Flight &flight)
    {
        if (flight.failure)
            std::rethrow_exception(flight.failure);
        if (!flight.result)
            throw Reset();
        return *flight.result;
    }

    mutable QMutex m_mutex;
    QWaitCondition m_finished;
    int m_waiting = 0;
    // The run in flight; none when idle.
    std::shared_ptr<Flight> m_current;
};

} // namespace Core
