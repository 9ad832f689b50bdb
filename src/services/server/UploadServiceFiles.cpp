// Bulk uploads: activity-segment batches, screenshot files, and the sweep that finds capture files
// the queue has lost.

#include "services/server/UploadService.h"

#include "models/IsoDateTime.h"
#include "models/UploadTask.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "networking/ApiPaths.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadInternals.h"
#include "storage/ApiTimezone.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"
#include "storage/SegmentKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Services {

namespace {

constexpr double segmentSeconds = 600.0;
constexpr qint64 staleFileSeconds = 604800;

double percentOfSegment(int seconds)
{
    return std::clamp(seconds * 100.0 / segmentSeconds, 0.0, 100.0);
}

Models::UploadTask screenshotTask(const QUuid &sessionId, const QString &path, const QDateTime &now)
{
    return Models::UploadTask(QUuid::createUuid(), sessionId, Models::UploadTaskType::screenshot,
                              path, std::nullopt, 0, now, Models::UploadTaskStatus::pending,
                              Models::UploadTask::screenshotPriority);
}

// The open segment the task was made for, or none when its body does not say.
std::optional<SegmentKey> openSegmentOf(const Models::UploadTask &task)
{
    if (!task.jsonPayload)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*task.jsonPayload);
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue date = document.object().value("open_segment_date"_L1);
    const QJsonValue number = document.object().value("open_segment_number"_L1);
    if (!date.isString() || !number.isDouble())
        return std::nullopt;
    const SegmentKey key{ date.toString(), number.toInt(-1) };
    if (key.date.isEmpty() || key.number < 0)
        return std::nullopt;
    return key;
}

// The multipart header carries the name between double quotes, one header a line: a quote, a
// line break or another control character in it would end the name early or forge a header, and
// a backslash would escape the closing quote for a server that reads quoted strings.
QByteArray safeMultipartName(const QByteArray &name)
{
    QByteArray safe = name;
    for (char &byte : safe) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x20 || value == 0x7f || byte == '"' || byte == '\\')
            byte = '_';
    }
    return safe;
}

} // namespace

void UploadService::queueSegmentTaskIfNeeded()
{
    if (m_store->hasPendingActivitySegmentUpload())
        return;
    const SegmentKey open = segmentKeyAt(UploadClock::now(), ApiTimezone::zone());
    if (m_store->pendingActivitySegments(open.date, open.number).isEmpty())
        return;
    const QJsonObject body{ { u"open_segment_date"_s, open.date },
                            { u"open_segment_number"_s, open.number } };
    m_store->enqueueUpload(Models::UploadTask(
            QUuid::createUuid(), QUuid(), Models::UploadTaskType::activitySegment, std::nullopt,
            QJsonDocument(body).toJson(QJsonDocument::Compact), 0, UploadClock::now(),
            Models::UploadTaskStatus::pending, Models::UploadTask::activitySegmentPriority));
}

std::optional<Networking::APIError> UploadService::sendSegmentsBatch(const Models::UploadTask &task)
{
    const SegmentKey open
            = openSegmentOf(task).value_or(segmentKeyAt(UploadClock::now(), ApiTimezone::zone()));
    if (!m_store)
        return Networking::APIError::decodingFailed({});
    // The reply's indices refer to these rows as sent, so they are kept as they are.
    const QList<Storage::SQLiteStore::ActivitySegmentRow> rows
            = m_store->pendingActivitySegments(open.date, open.number);
    if (rows.isEmpty())
        return std::nullopt;

    const QString zone = ApiTimezone::identifier();
    QJsonArray segments;
    for (const Storage::SQLiteStore::ActivitySegmentRow &row : rows) {
        segments.append(
                QJsonObject{ { u"segment_date"_s, row.segmentDate },
                             { u"segment_number"_s, row.segmentNumber },
                             { u"timezone"_s, zone },
                             { u"activity_rate"_s, percentOfSegment(row.activeSeconds) },
                             { u"mouse_movements"_s, row.mouseMovements },
                             { u"key_press_count"_s, row.keyboardMovements },
                             { u"non_idle_percent"_s, percentOfSegment(row.nonIdleSeconds) } });
    }
    const QJsonObject body{ { u"device_uuid"_s, Storage::deviceId() },
                            { u"segments"_s, segments } };
    const Networking::APIResponse response = Networking::APIClient::instance().postJson(
            UploadInternals::segmentsBatchPath, body, true, true);
    if (response.error)
        return response.error;

    const QJsonDocument reply = QJsonDocument::fromJson(response.body);
    if (!reply.isObject())
        return std::nullopt;
    const QJsonArray accepted
            = reply.object().value("data"_L1).toObject().value("accepted"_L1).toArray();
    for (const QJsonValue &value : accepted) {
        const int index = value.isDouble() ? value.toInt(-1) : -1;
        if (index >= 0 && index < rows.size())
            m_store->markActivitySegmentUploaded(rows.at(index).segmentDate,
                                                 rows.at(index).segmentNumber);
    }
    return std::nullopt;
}

UploadService::ScreenshotUploadResult
UploadService::uploadScreenshot(const Models::UploadTask &task)
{
    if (!task.filePath)
        return { ScreenshotUploadOutcome::Failed, std::nullopt };
    QFile file(*task.filePath);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return { ScreenshotUploadOutcome::FileUnavailable, std::nullopt };
    const QByteArray bytes = file.readAll();
    file.close();

    const QByteArray boundary
            = "Boundary-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    const QByteArray name = safeMultipartName(restampScreenshotName(
            QFileInfo(*task.filePath).fileName(), task.sessionId, ApiTimezone::zone()));
    QByteArray body;
    body.reserve(bytes.size() + 256);
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"screenshots[]\"; filename=\"" + name + "\"\r\n";
    body += "Content-Type: image/jpeg\r\n\r\n";
    body += bytes;
    body += "\r\n--" + boundary + "--\r\n";

    const Networking::APIResponse response = Networking::APIClient::instance().postMultipart(
            Networking::ApiPaths::sessionScreenshots(
                    task.sessionId.toString(QUuid::WithoutBraces).toUpper()),
            body, boundary, true, true);
    if (response.error)
        return { ScreenshotUploadOutcome::Failed, response.error };
    file.remove();
    return { ScreenshotUploadOutcome::Uploaded, std::nullopt };
}

QByteArray UploadService::restampScreenshotName(const QString &fileName, const QUuid &sessionId,
                                                const QTimeZone &zone)
{
    static const QRegularExpression withOffset(
            u"^(\\d\\d)-(\\d\\d)-(\\d\\d)(\\.\\d+)?([+-])(\\d\\d)-(\\d\\d)$"_s);
    static const QRegularExpression inUtc(u"^(\\d\\d)-(\\d\\d)-(\\d\\d)(\\.\\d+)?Z$"_s);

    const QByteArray unchanged = fileName.toUtf8();
    const QString base = fileName.endsWith(".jpg"_L1) ? fileName.chopped(4) : fileName;
    const QString prefix = sessionId.toString(QUuid::WithoutBraces).toUpper() + u'_';
    if (!base.startsWith(prefix))
        return unchanged;
    const QString rest = base.mid(prefix.size());
    const qsizetype lastUnderscore = rest.lastIndexOf(u'_');
    if (lastUnderscore <= 0)
        return unchanged;
    const QString stamp = rest.left(lastUnderscore);
    const QString screen = rest.mid(lastUnderscore + 1);
    const qsizetype t = stamp.indexOf(u'T');
    if (t <= 0)
        return unchanged;
    const QString datePart = stamp.left(t);
    const QString timePart = stamp.mid(t + 1);

    QString text;
    if (const QRegularExpressionMatch match = withOffset.match(timePart); match.hasMatch()) {
        text = u"%1T%2:%3:%4%5%6%7:%8"_s.arg(
                datePart, match.captured(1), match.captured(2), match.captured(3),
                match.captured(4), match.captured(5), match.captured(6), match.captured(7));
    } else if (const QRegularExpressionMatch utc = inUtc.match(timePart); utc.hasMatch()) {
        text = u"%1T%2:%3:%4%5Z"_s.arg(datePart, utc.captured(1), utc.captured(2), utc.captured(3),
                                       utc.captured(4));
    } else {
        return unchanged;
    }
    const QDateTime moment = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!moment.isValid())
        return unchanged;
    const QString newStamp = Models::toIsoSecondsInZone(moment, zone).replace(u':', u'-');
    return (prefix + newStamp + u'_' + screen + ".jpg"_L1).toUtf8();
}

QList<Models::UploadTask> UploadService::scanCaptureFolder(const QString &folder,
                                                           const QueuedPredicate &isQueued,
                                                           const QDateTime &now)
{
    QList<Models::UploadTask> tasks;
    const QDir dir(folder);
    if (!dir.exists())
        return tasks;
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Unsorted);
    for (const QFileInfo &info : files) {
        if (info.suffix().compare("jpg"_L1, Qt::CaseInsensitive) != 0)
            continue;
        const QDateTime modified = info.lastModified().toUTC();
        const bool stale = modified.isValid() && modified.msecsTo(now) > staleFileSeconds * 1000;
        const QString name = info.fileName();
        const qsizetype underscore = name.indexOf(u'_');
        const QUuid sessionId
                = underscore > 0 ? QUuid::fromString(QStringView(name).left(underscore)) : QUuid();
        // Built as the enqueue operation builds it, or the duplicate check would miss.
        const QString path = dir.absoluteFilePath(name);
        if (sessionId.isNull()) {
            if (stale)
                QFile::remove(path);
            continue;
        }
        if (isQueued(sessionId, path))
            continue;
        if (stale)
            QFile::remove(path);
        else
            tasks.append(screenshotTask(sessionId, path, now));
    }
    return tasks;
}

void UploadService::enqueueOrphanedScreenshots()
{
    if (!m_store)
        return;
    const QString currentDomain = Networking::ApiEndpoint::domainKey();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDir root(Platform::Paths::capturesRoot());
    const QStringList folders = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    const auto neverQueued = [](const QUuid &, const QString &) { return false; };
    for (const QString &folder : folders) {
        // Another account's files are never sent from here; only the stale ones go.
        if (folder != currentDomain)
            scanCaptureFolder(root.absoluteFilePath(folder), neverQueued, now);
    }

    const QList<Models::UploadTask> tasks = scanCaptureFolder(
            Platform::Paths::capturesDirFor(currentDomain),
            [this](const QUuid &sessionId, const QString &path) {
                return m_store->hasPendingScreenshotUpload(sessionId, path);
            },
            now);
    for (const Models::UploadTask &task : tasks)
        m_store->enqueueUpload(task);
    if (!tasks.isEmpty())
        UploadInternals::info(
                u"Orphan sweeper: enqueued %1 stranded screenshot(s)"_s.arg(tasks.size()));
}

} // namespace Services
