#include "models/StartSessionPayload.h"

#include "models/IsoDateTime.h"
#include "models/Session.h"
#include "storage/ApiTimezone.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Models {

QByteArray StartSessionPayload::build(const Session &session)
{
    if (session.intervals.isEmpty())
        return {};
    const QJsonObject body{
        { u"device_uuid"_s, session.deviceId },
        { u"session_uuid"_s, session.id.toString(QUuid::WithoutBraces).toUpper() },
        { u"task_id"_s, session.projectId },
        { u"started_at"_s,
          toIsoWithOffset(session.intervals.first().startedAt, Services::ApiTimezone::zone()) },
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace Models
