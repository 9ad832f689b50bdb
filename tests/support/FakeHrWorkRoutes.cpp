#include "FakeHrWorkRoutes.h"

#include "FakeHrReport.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

// The heartbeat's intervals; an open one ends where the session's total does.
QList<FakeHrInterval> workedIntervals(const QJsonObject &body)
{
    QList<FakeHrInterval> intervals;
    qint64 closedSeconds = 0;
    QDateTime openStart;
    for (const QJsonValue &value : body.value("intervals"_L1).toArray()) {
        const QDateTime from
                = QDateTime::fromString(value["started_at"_L1].toString(), Qt::ISODateWithMs);
        const QDateTime to
                = QDateTime::fromString(value["stopped_at"_L1].toString(), Qt::ISODateWithMs);
        if (!from.isValid())
            continue;
        if (!to.isValid()) {
            openStart = from;
            continue;
        }
        intervals.append({ from, to });
        closedSeconds += std::max<qint64>(0, from.secsTo(to));
    }
    if (openStart.isValid()) {
        const qint64 open = body.value("total_seconds"_L1).toInteger() - closedSeconds;
        intervals.append({ openStart, openStart.addSecs(std::max<qint64>(0, open)) });
    }
    return intervals;
}

QString requiredKeyMessage(const QString &key)
{
    return u"The %1 field is required."_s.arg(key);
}

} // namespace

QString FakeHrWorkRoutes::sampleFileName()
{
    return u"sample-screenshot.jpg"_s;
}

FakeHrAnswer FakeHrWorkRoutes::configuration(FakeHrState &state, const RecordedRequest &)
{
    QJsonObject data = state.scenario.configuration;
    if (!data.contains("today_total_seconds"_L1))
        data.insert(u"today_total_seconds"_s, state.todayTotalSeconds());
    if (!data.contains("today_date"_L1))
        data.insert(u"today_date"_s, state.todayDate());
    return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrWorkRoutes::screenshotReport(FakeHrState &state, const RecordedRequest &request)
{
    const QString date = request.query.queryItemValue(u"date"_s);
    if (date.isEmpty())
        return FakeHrAnswer::validation(u"date"_s, requiredKeyMessage(u"date"_s));
    if (!QDate::fromString(date, Qt::ISODate).isValid())
        return FakeHrAnswer::validation(u"date"_s, u"The date is not a valid date."_s);
    QJsonObject data = state.scenario.screenshotReport;
    if (data.isEmpty()) {
        data = state.scenario.reportFromUploads ? FakeHrReport::fromUploads(state, date)
                                                : FakeHrReport::canned(state, date);
    }
    return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrWorkRoutes::startSession(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    const QString missing = FakeHrState::missingKey(
            body, { "device_uuid", "session_uuid", "task_id", "started_at" });
    if (!missing.isEmpty())
        return FakeHrAnswer::validation(missing, requiredKeyMessage(missing));
    const QString session = body.value("session_uuid"_L1).toString().toUpper();
    state.startedSessions.insert(session);
    const QJsonObject data{ { u"session_uuid"_s, session }, { u"status"_s, u"active"_s } };
    return FakeHrAnswer::json(201, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrWorkRoutes::heartbeat(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    const QString missing = FakeHrState::missingKey(
            body, { "device_uuid", "session_uuid", "task_id", "started_at", "total_seconds",
                    "status", "intervals" });
    if (!missing.isEmpty())
        return FakeHrAnswer::validation(missing, requiredKeyMessage(missing));
    const QString status = body.value("status"_L1).toString();
    if (status != "active"_L1 && status != "completed"_L1)
        return FakeHrAnswer::validation(u"status"_s, u"The selected status is invalid."_s);
    const QString session = body.value("session_uuid"_L1).toString().toUpper();
    state.sessionTotals.insert(session, body.value("total_seconds"_L1).toInt());
    state.sessionIntervals.insert(session, workedIntervals(body));
    state.lastHeartbeats.insert(session, body);
    const QJsonObject data{ { u"session_uuid"_s, session },
                            { u"status"_s, status },
                            { u"today_total_seconds"_s, state.todayTotalSeconds() },
                            { u"today_date"_s, state.todayDate() } };
    return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrWorkRoutes::segmentsBatch(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    if (const QString missing = FakeHrState::missingKey(body, { "device_uuid", "segments" });
        !missing.isEmpty()) {
        return FakeHrAnswer::validation(missing, requiredKeyMessage(missing));
    }
    if (!body.value("segments"_L1).isArray())
        return FakeHrAnswer::validation(u"segments"_s, u"The segments must be an array."_s);
    const QJsonArray rows = body.value("segments"_L1).toArray();
    QList<int> indices;
    if (state.scenario.acceptedSegmentIndices) {
        indices = *state.scenario.acceptedSegmentIndices;
    } else {
        for (int index = 0; index < rows.size(); ++index)
            indices.append(index);
    }
    QJsonArray accepted;
    for (int index : indices) {
        accepted.append(index);
        if (index < 0 || index >= rows.size())
            continue;
        const QJsonObject row = rows.at(index).toObject();
        if (row.value("segment_number"_L1).isDouble())
            state.uploadedSegments.insert(u"%1/%2"_s.arg(row.value("segment_date"_L1).toString())
                                                  .arg(row.value("segment_number"_L1).toInt()),
                                          row);
    }
    return FakeHrAnswer::json(
            200, QJsonObject{ { u"data"_s, QJsonObject{ { u"accepted"_s, accepted } } } });
}

FakeHrAnswer FakeHrWorkRoutes::screenshots(FakeHrState &state, const RecordedRequest &request)
{
    if (!request.header("Content-Type").toLower().startsWith("multipart/form-data"))
        return FakeHrAnswer::message(415, u"Expected multipart/form-data."_s);
    QJsonArray stored;
    for (const MultipartPart &part : request.parts) {
        if (part.name != "screenshots[]"_L1 || part.fileName.isEmpty())
            continue;
        if (part.data.isEmpty())
            return FakeHrAnswer::validation(u"screenshots"_s, u"The screenshot is empty."_s);
        state.uploadedFiles.insert(part.fileName, part.data);
        stored.append(part.fileName);
    }
    if (stored.isEmpty())
        return FakeHrAnswer::validation(u"screenshots"_s, requiredKeyMessage(u"screenshots"_s));
    const QString session = request.apiPath.section(u'/', -2, -2).toUpper();
    const QJsonObject data{ { u"session_uuid"_s, session }, { u"stored"_s, stored } };
    return FakeHrAnswer::json(201, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrWorkRoutes::screenshotFile(FakeHrState &state, const RecordedRequest &request)
{
    const QString name = request.path.section(u'/', -1);
    QByteArray bytes = state.uploadedFiles.value(name);
    if (bytes.isEmpty() && name == sampleFileName()) {
        QFile sample(u":/clockwarden-fake-hr/sample-screenshot.jpg"_s);
        if (sample.open(QIODevice::ReadOnly))
            bytes = sample.readAll();
    }
    if (bytes.isEmpty())
        return FakeHrAnswer::message(404, u"No such file."_s);
    return FakeHrAnswer{ 200, "image/jpeg", bytes };
}

} // namespace TestSupport
