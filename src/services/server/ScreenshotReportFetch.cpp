#include "services/server/ScreenshotReportFetch.h"

#include "networking/APIClient.h"
#include "services/server/ApiAnswer.h"

using namespace Qt::StringLiterals;

namespace Services {

Models::ScreenshotReport fetchScreenshotReport(const QDateTime &day)
{
    const QString path = u"%1?date=%2"_s.arg(u"hr/clockwarden/reporting/screenshots/employees"_s,
                                             day.date().toString(u"yyyy-MM-dd"_s));
    const Networking::APIResponse response
            = Networking::APIClient::instance().get(path, true, true);
    if (response.error)
        throw *response.error;
    return Models::ScreenshotReport::fromJson(ApiAnswer::dataObject(response.body));
}

} // namespace Services
