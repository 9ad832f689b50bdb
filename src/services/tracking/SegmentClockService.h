#pragma once

#include "services/tracking/ActivitySample.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimeZone>

#include <functional>

class QTimer;

namespace Storage {
class SQLiteStore;
}

namespace Services {

// Cuts tracked time into the company day's 144 ten-minute segments and keeps four counters for the
// open one. Once a second it asks the session engine for a sample, counts it, writes the open
// segment's figures to the store every 60 counted seconds and when the segment closes, and when a
// segment with figures closes, queues one activity-segment upload task. Stored rows survive
// restarts: a segment opened again resumes from its stored figures.
//
// GUI thread only; the clock holds no lock of its own (the sampler and the observer take the
// engine's). The store is not owned; without one the clock counts and writes nothing.
class SegmentClockService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentClockService)

public:
    using ActivitySampler = std::function<ActivitySample(const QDateTime &)>;
    using TickObserver = std::function<void(bool active)>;

    explicit SegmentClockService(Storage::SQLiteStore *store, QObject *parent = nullptr);
    ~SegmentClockService() override;

    // Without a sampler every second counts as a sample of all false and zero.
    void setActivitySampler(ActivitySampler sampler);
    // Told after each tick whether its sample was active.
    void setTickObserver(TickObserver observer);
    // Takes effect at the next tick.
    void setTimeZone(const QTimeZone &zone);

    void start();
    // Writes the open segment's figures, then stops the timer. The open segment stays open.
    void stop();
    // Starts an inactive clock, or stops an active one; an inactive clock is not flushed again.
    void setRunning(bool running);
    void flushCurrentSegment();

    // One second of counting at now (UTC). The timer calls it with the current time.
    void tick(const QDateTime &now);

    static bool isValidSegmentNumber(int number);
    static bool hasAnyCount(int active, int nonIdle, int mouse, int keyboard);

private:
    void beginSegment(const QString &date, int number, const QString &domainKey);
    void countSample(const ActivitySample &sample);
    void flushCounters(const QString &date, int number);
    void enqueueOpenSegmentUpload(const QString &date, int number);
    bool hasCounts() const;

    Storage::SQLiteStore *m_store = nullptr;
    QTimer *m_timer = nullptr;
    QTimeZone m_zone;
    QString m_segmentDate;
    int m_segmentNumber = -1;
    QString m_segmentDomainKey;
    int m_activeSeconds = 0;
    int m_nonIdleSeconds = 0;
    int m_mouseMovements = 0;
    int m_keyboardMovements = 0;
    int m_ticksSinceFlush = 0;
    ActivitySampler m_activitySampler;
    TickObserver m_tickObserver;
};

} // namespace Services
