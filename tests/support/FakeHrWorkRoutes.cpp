#include "FakeHrWorkRoutes.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

QJsonObject stats(int seconds, int mouse, int keys, double rate)
{
    return QJsonObject{ { u"total_seconds"_s, seconds },
                        { u"total_seconds_formatted"_s,
                          u"%1h %2m"_s.arg(seconds / 3600).arg(seconds % 3600 / 60) },
                        { u"mouse_movements"_s, mouse },
                        { u"key_press_count"_s, keys },
                        { u"activity_rate"_s, rate } };
}

QJsonObject screenshot(const QString &fileName, const QString &capturedAt)
{
    const QString url = u"{origin}/files/"_s + fileName;
    return QJsonObject{ { u"url"_s, url },
                        { u"url_available"_s, true },
                        { u"thumbnail_url"_s, url },
                        { u"thumbnail_url_available"_s, true },
                        { u"captured_at"_s, capturedAt } };
}

QJsonObject segment(int number, const QString &color, const QJsonArray &screenshots, int seconds)
{
    const QTime from = QTime(0, 0).addSecs(number * 600);
    return QJsonObject{ { u"segment_number"_s, number },
                        { u"segment_number_from"_s, from.toString(u"HH:mm"_s) },
                        { u"segment_number_to"_s, from.addSecs(600).toString(u"HH:mm"_s) },
                        { u"indicator_color"_s, color },
                        { u"stats"_s, stats(seconds, 180, 90, seconds / 6.0) },
                        { u"screenshots"_s, screenshots } };
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

QJsonObject FakeHrWorkRoutes::cannedReport(const FakeHrState &state, const QString &date)
{
    QJsonArray uploaded;
    QStringList names = state.uploadedFiles.keys();
    std::sort(names.begin(), names.end());
    for (const QString &name : names)
        uploaded.append(screenshot(name, date + " 09:14:30"_L1));
    uploaded.prepend(screenshot(sampleFileName(), date + " 09:12:05"_L1));
    const QJsonArray segments{
        segment(54, u"green"_s, QJsonArray{ screenshot(sampleFileName(), date + " 09:03:41"_L1) },
                540),
        segment(55, u"orange"_s, uploaded, 300),
    };
    const QJsonObject hour{ { u"hour"_s, 9 },
                            { u"stats"_s, stats(840, 360, 180, 70.0) },
                            { u"segments"_s, segments } };
    return QJsonObject{ { u"summary"_s, QJsonObject{ { u"stats"_s, stats(840, 360, 180, 70.0) } } },
                        { u"hours"_s, QJsonArray{ hour } } };
}

FakeHrAnswer FakeHrWorkRoutes::screenshotReport(FakeHrState &state, const RecordedRequest &request)
{
    const QString date = request.query.queryItemValue(u"date"_s);
    if (date.isEmpty())
        return FakeHrAnswer::validation(u"date"_s, requiredKeyMessage(u"date"_s));
    if (!QDate::fromString(date, Qt::ISODate).isValid())
        return FakeHrAnswer::validation(u"date"_s, u"The date is not a valid date."_s);
    const QJsonObject data = state.scenario.screenshotReport.isEmpty()
                                     ? cannedReport(state, date)
                                     : state.scenario.screenshotReport;
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
    QJsonArray accepted;
    if (state.scenario.acceptedSegmentIndices) {
        for (int index : *state.scenario.acceptedSegmentIndices)
            accepted.append(index);
    } else {
        for (qsizetype index = 0; index < body.value("segments"_L1).toArray().size(); ++index)
            accepted.append(index);
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
