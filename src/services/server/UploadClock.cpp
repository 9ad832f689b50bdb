#include "services/server/UploadClock.h"

#include <atomic>

namespace Services::UploadClock {

namespace {

std::atomic<qint64> s_offsetMs{ 0 };

} // namespace

QDateTime now()
{
    return QDateTime::currentDateTimeUtc().addMSecs(s_offsetMs.load());
}

void setOffsetMs(qint64 offsetMs)
{
    s_offsetMs = offsetMs;
}

void advance(qint64 seconds)
{
    s_offsetMs += seconds * 1000;
}

} // namespace Services::UploadClock
