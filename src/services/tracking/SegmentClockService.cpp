#include "services/tracking/SegmentClockService.h"

#include "core/Clock.h"
#include "models/UploadTask.h"
#include "services/tracking/ITrackingUploads.h"
#include "storage/ApiTimezone.h"
#include "storage/Log.h"
#include "storage/SQLiteStore.h"
#include "storage/SegmentKey.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QUuid>

#include <limits>

using namespace Qt::StringLiterals;

namespace Services {

namespace {

constexpr int tickIntervalMs = 1000;
constexpr int segmentsPerDay = 144;
constexpr int ticksPerFlush = 60;

void logInfo(const QString &message)
{
    Core::Log::write(Core::Log::Category::Upload, Core::Log::Level::Info, message);
}

// A sampler is the engine's code: a wild figure must not overflow the counter.
int saturatingAdd(int total, int addend)
{
    if (addend > 0 && total > std::numeric_limits<int>::max() - addend)
        return std::numeric_limits<int>::max();
    if (addend < 0 && total < std::numeric_limits<int>::min() - addend)
        return std::numeric_limits<int>::min();
    return total + addend;
}

} // namespace

SegmentClockService::SegmentClockService(Storage::SQLiteStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_timer(new QTimer(this))
    , m_zone(ApiTimezone::zone())
{
    m_timer->setObjectName(u"segmentClockTimer"_s);
    m_timer->setInterval(tickIntervalMs);
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] { tick(Core::Clock::nowUtc()); });
}

SegmentClockService::~SegmentClockService()
{
    m_timer->stop();
}

void SegmentClockService::setActivitySampler(ActivitySampler sampler)
{
    m_activitySampler = std::move(sampler);
}

void SegmentClockService::setTickObserver(TickObserver observer)
{
    m_tickObserver = std::move(observer);
}

void SegmentClockService::setTimeZone(const QTimeZone &zone)
{
    m_zone = zone;
}

void SegmentClockService::start()
{
    if (!m_timer->isActive())
        m_timer->start();
}

void SegmentClockService::stop()
{
    flushCurrentSegment();
    m_timer->stop();
}

void SegmentClockService::setRunning(bool running)
{
    if (running && !m_timer->isActive())
        start();
    else if (!running && m_timer->isActive())
        stop();
}

void SegmentClockService::flushCurrentSegment()
{
    if (!m_store || !isValidSegmentNumber(m_segmentNumber) || m_segmentDate.isEmpty())
        return;
    flushCounters(m_segmentDate, m_segmentNumber);
    m_ticksSinceFlush = 0;
}

void SegmentClockService::tick(const QDateTime &now)
{
    if (!m_store)
        return;
    // Copies: the sampler may replace either callback while it runs.
    const ActivitySampler sampler = m_activitySampler;
    const ActivitySample sample = sampler ? sampler(now) : ActivitySample{};
    const SegmentKey key = segmentKeyAt(now, m_zone);
    const QString domainKey = m_store->domainKey();

    bool begin = m_segmentDate.isEmpty();
    if (!m_segmentDate.isEmpty() && domainKey != m_segmentDomainKey) {
        // A sign-in moved the rows to another account: the old figures stay with the old one.
        if (isValidSegmentNumber(m_segmentNumber))
            flushCounters(m_segmentDate, m_segmentNumber);
        m_segmentDate.clear();
        m_segmentNumber = -1;
        begin = true;
    } else if (!begin && isValidSegmentNumber(m_segmentNumber)
               && (key.date != m_segmentDate || key.number != m_segmentNumber)) {
        // Also when the zone changed or the clock went back: when daylight saving ends, the
        // repeated hour maps to the same keys again and resumes their rows, so a segment can hold
        // more than 600 active seconds. The activity rate is clamped where it is computed.
        logInfo(u"Segment rollover: %1#%2 → %3#%4"_s.arg(m_segmentDate)
                        .arg(m_segmentNumber)
                        .arg(key.date)
                        .arg(key.number));
        if (hasCounts()) {
            flushCounters(m_segmentDate, m_segmentNumber);
            enqueueOpenSegmentUpload(key.date, key.number);
        }
        begin = true;
    }
    if (begin)
        beginSegment(key.date, key.number, domainKey);

    countSample(sample);
    if (m_ticksSinceFlush >= ticksPerFlush && isValidSegmentNumber(m_segmentNumber)) {
        flushCounters(m_segmentDate, m_segmentNumber);
        m_ticksSinceFlush = 0;
    }

    const TickObserver observer = m_tickObserver;
    if (observer)
        observer(sample.active);
}

bool SegmentClockService::isValidSegmentNumber(int number)
{
    return unsigned(number) < unsigned(segmentsPerDay);
}

bool SegmentClockService::hasAnyCount(int active, int nonIdle, int mouse, int keyboard)
{
    return active > 0 || nonIdle > 0 || mouse > 0 || keyboard > 0;
}

void SegmentClockService::beginSegment(const QString &date, int number, const QString &domainKey)
{
    m_segmentDate = date;
    m_segmentNumber = number;
    m_segmentDomainKey = domainKey;
    m_activeSeconds = 0;
    m_nonIdleSeconds = 0;
    m_mouseMovements = 0;
    m_keyboardMovements = 0;
    m_ticksSinceFlush = 0;
    if (!m_store || !isValidSegmentNumber(number))
        return;

    const auto row = m_store->activitySegment(date, number, domainKey);
    if (!row)
        return;
    m_activeSeconds = row->activeSeconds;
    m_nonIdleSeconds = row->nonIdleSeconds;
    m_mouseMovements = row->mouseMovements;
    m_keyboardMovements = row->keyboardMovements;
    logInfo(u"Resumed segment %1#%2 from stored row (active=%3s)"_s.arg(date).arg(number).arg(
            row->activeSeconds));
}

void SegmentClockService::countSample(const ActivitySample &sample)
{
    if (sample.active)
        m_activeSeconds = saturatingAdd(m_activeSeconds, 1);
    if (sample.nonIdle)
        m_nonIdleSeconds = saturatingAdd(m_nonIdleSeconds, 1);
    m_mouseMovements = saturatingAdd(m_mouseMovements, sample.mouseMovements);
    m_keyboardMovements = saturatingAdd(m_keyboardMovements, sample.keyboardMovements);
    ++m_ticksSinceFlush;
}

void SegmentClockService::flushCounters(const QString &date, int number)
{
    if (!m_store || !hasCounts())
        return;
    // Absolute figures: a write replaces the row's totals and makes it wait for upload again.
    m_store->upsertActivitySegment(date, number, m_activeSeconds, m_nonIdleSeconds,
                                   m_mouseMovements, m_keyboardMovements, m_segmentDomainKey);
}

void SegmentClockService::enqueueOpenSegmentUpload(const QString &date, int number)
{
    // One task sends every finished segment before the open one, so one pending task is enough.
    if (m_store->hasPendingActivitySegmentUpload())
        return;
    const QJsonObject body{ { u"open_segment_date"_s, date },
                            { u"open_segment_number"_s, number } };
    const Models::UploadTask task(
            QUuid::createUuid(), QUuid(), Models::UploadTaskType::activitySegment, std::nullopt,
            QJsonDocument(body).toJson(QJsonDocument::Compact), 0, Core::Clock::nowUtc(),
            Models::UploadTaskStatus::pending, Models::UploadTask::activitySegmentPriority);
    m_store->enqueueUpload(task);
    trackingUploads().wakeWorker();
}

bool SegmentClockService::hasCounts() const
{
    return hasAnyCount(m_activeSeconds, m_nonIdleSeconds, m_mouseMovements, m_keyboardMovements);
}

} // namespace Services
