#include "storage/SegmentKey.h"

using namespace Qt::StringLiterals;

namespace Services {

SegmentKey segmentKeyAt(const QDateTime &moment, const QTimeZone &zone)
{
    if (!moment.isValid())
        return {};
    const QDateTime local = moment.toTimeZone(zone);
    const QTime time = local.time();
    return { local.date().toString(u"yyyy-MM-dd"_s), (time.hour() * 60 + time.minute()) / 10 };
}

} // namespace Services
