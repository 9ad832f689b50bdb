#include "TestEnvironment.h"

#include "UploadFixture.h"

#include "networking/NetworkMonitor.h"
#include "services/server/AuthNotifications.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"
#include "storage/ApiTimezone.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "storage/SegmentKey.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QTest>
#include <QTimeZone>

using Models::UploadTaskType;
using Services::UploadCircuitBreaker;
using Services::UploadService;
using Services::UploadServiceTestHooks;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using namespace UploadFixture;
using namespace Qt::StringLiterals;

namespace {

const QUuid sessionId = QUuid::fromString(u"5b3c9a4e-0000-4000-8000-000000000001"_s);
const QString upperId = u"5B3C9A4E-0000-4000-8000-000000000001"_s;

UploadService &service()
{
    return UploadService::instance();
}

Models::UploadTask segmentTask(const QByteArray &body)
{
    return task(UploadTaskType::activitySegment, QUuid(), body);
}

Models::UploadTask screenshotTask(const QString &path)
{
    return task(UploadTaskType::screenshot, sessionId, std::nullopt, path);
}

// Sets a file's modification time to `days` days ago.
void age(const QString &path, int days)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addDays(-days),
                             QFileDevice::FileModificationTime));
}

QString writeIn(const QString &folder, const QString &name, int days)
{
    const QString path = QDir(folder).absoluteFilePath(name);
    QDir().mkpath(folder);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("\xff\xd8");
    file.close();
    age(path, days);
    return path;
}

QString pendingSegments(Storage::SQLiteStore &store)
{
    QStringList keys;
    for (const auto &row : store.pendingActivitySegments(u"2100-01-01"_s, 0))
        keys.append(u"%1/%2"_s.arg(row.segmentDate).arg(row.segmentNumber));
    return keys.join(u' ');
}

} // namespace

class TestUploadServiceFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void batchSendsClosedSegments();
    void batchMarksOnlyAcceptedRows();
    void batchReplyWithoutIndicesMarksNothing_data();
    void batchReplyWithoutIndicesMarksNothing();
    void batchWithUnreadableBodySendsSegmentsBeforeNow();
    void batchWithoutRowsSendsNothing();
    void passQueuesOneSegmentTask();

    void screenshotBodyIsExact();
    void screenshotNameNeverBreaksTheHeader();
    void screenshotFailureKeepsTheFile();
    void screenshotWithoutFileIsUnavailable();

    void restampsIntoTheCompanyZone_data();
    void restampsIntoTheCompanyZone();

    void sweepQueuesLostFilesOfThisDomain();
    void sweepDeletesOnlyStaleFilesElsewhere();
    void sweepDeletesStaleUnqueuedFiles();
    void sweepThatQueuesNothingLogsNothing();

private:
    std::unique_ptr<Bench> m_bench;
    std::unique_ptr<LogReader> m_log;
};

void TestUploadServiceFiles::initTestCase()
{
    prepareProcess();
    m_log = std::make_unique<LogReader>();
}

void TestUploadServiceFiles::init()
{
    m_bench = std::make_unique<Bench>();
    QVERIFY(m_bench->start());
    Services::ApiTimezone::clear();
    m_log->mark();
}

void TestUploadServiceFiles::cleanup()
{
    Services::ApiTimezone::clear();
    m_bench.reset();
}

void TestUploadServiceFiles::batchSendsClosedSegments()
{
    Storage::SQLiteStore &store = *m_bench->store;
    store.upsertActivitySegment(u"2025-03-04"_s, 7, 150, 1200, 11, 12);
    store.upsertActivitySegment(u"2025-03-04"_s, 8, 1200, 0, 21, 22);
    store.upsertActivitySegment(u"2025-03-04"_s, 9, 0, 30, 0, 1);
    // The open segment and later ones stay.
    store.upsertActivitySegment(u"2025-03-04"_s, 10, 60, 60, 1, 1);

    QVERIFY(!UploadServiceTestHooks::sendSegmentsBatch(
            service(),
            segmentTask(R"({"open_segment_date":"2025-03-04","open_segment_number":10})")));

    const QList<TestSupport::RecordedRequest> sent
            = m_bench->server.requests(FakeHrRoute::SegmentsBatch);
    QCOMPARE(sent.size(), 1);
    const QJsonObject body = sent.first().jsonObject();
    QCOMPARE(body.value("device_uuid"_L1).toString(), Storage::deviceId());
    const QJsonArray segments = body.value("segments"_L1).toArray();
    QCOMPARE(segments.size(), 3);
    const QString zone = Services::ApiTimezone::identifier();
    QCOMPARE(segments.at(0).toObject(), (QJsonObject{ { u"segment_date"_s, u"2025-03-04"_s },
                                                      { u"segment_number"_s, 7 },
                                                      { u"timezone"_s, zone },
                                                      { u"activity_rate"_s, 25 },
                                                      { u"mouse_movements"_s, 11 },
                                                      { u"key_press_count"_s, 12 },
                                                      { u"non_idle_percent"_s, 100 } }));
    QCOMPARE(segments.at(1)["activity_rate"_L1].toDouble(), 100.0);
    QCOMPARE(segments.at(1)["non_idle_percent"_L1].toDouble(), 0.0);
    QCOMPARE(segments.at(2)["activity_rate"_L1].toDouble(), 0.0);
    QCOMPARE(segments.at(2)["non_idle_percent"_L1].toDouble(), 5.0);
    QCOMPARE(pendingSegments(store), u"2025-03-04/10"_s);
}

void TestUploadServiceFiles::batchMarksOnlyAcceptedRows()
{
    Storage::SQLiteStore &store = *m_bench->store;
    for (int number = 0; number < 3; ++number)
        store.upsertActivitySegment(u"2025-03-04"_s, number, 60, 60, 1, 1);
    m_bench->server.updateScenario([](TestSupport::FakeHrScenario &scenario) {
        scenario.acceptedSegmentIndices = QList<int>{ 0, 2, 7 };
    });

    QVERIFY(!UploadServiceTestHooks::sendSegmentsBatch(
            service(),
            segmentTask(R"({"open_segment_date":"2025-03-05","open_segment_number":0})")));
    QCOMPARE(pendingSegments(store), u"2025-03-04/1"_s);

    // The refused row goes out again with the next batch, alone.
    m_bench->server.updateScenario(
            [](TestSupport::FakeHrScenario &scenario) { scenario.acceptedSegmentIndices.reset(); });
    UploadServiceTestHooks::processQueue(service());
    const QList<TestSupport::RecordedRequest> sent
            = m_bench->server.requests(FakeHrRoute::SegmentsBatch);
    QCOMPARE(sent.size(), 2);
    const QJsonArray again = sent.last().jsonObject().value("segments"_L1).toArray();
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.first()["segment_number"_L1].toInt(), 1);
    QCOMPARE(pendingSegments(store), QString());
}

void TestUploadServiceFiles::batchReplyWithoutIndicesMarksNothing_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("array") << QByteArray("[0, 1]");
    QTest::newRow("no data") << QByteArray(R"({"accepted": [0]})");
    QTest::newRow("indices as text") << QByteArray(R"({"data": {"accepted": ["0"]}})");
}

void TestUploadServiceFiles::batchReplyWithoutIndicesMarksNothing()
{
    QFETCH(QByteArray, reply);
    m_bench->store->upsertActivitySegment(u"2025-03-04"_s, 0, 60, 60, 1, 1);
    m_bench->server.addFault(FakeHrRoute::SegmentsBatch, FakeHrFault::answer(200, reply));

    // The pass makes the task itself and removes it as a success.
    UploadServiceTestHooks::processQueue(service());

    QCOMPARE(m_bench->server.requestCount(FakeHrRoute::SegmentsBatch), 1);
    QCOMPARE(queuedCount(), 0);
    QCOMPARE(pendingSegments(*m_bench->store), u"2025-03-04/0"_s);
}

void TestUploadServiceFiles::batchWithUnreadableBodySendsSegmentsBeforeNow()
{
    const Services::SegmentKey open
            = Services::segmentKeyAt(Services::UploadClock::now(), Services::ApiTimezone::zone());
    Storage::SQLiteStore &store = *m_bench->store;
    store.upsertActivitySegment(u"2020-01-01"_s, 3, 60, 60, 1, 1);
    store.upsertActivitySegment(open.date, open.number, 60, 60, 1, 1);

    for (const QByteArray &body :
         { QByteArray("not json"), QByteArray(R"({"open_segment_date":"2025-03-04"})"),
           QByteArray(R"({"open_segment_date":"","open_segment_number":4})"),
           QByteArray(R"({"open_segment_date":"2030-01-01","open_segment_number":-1})") }) {
        m_bench->server.clearRequests();
        m_bench->server.updateScenario([](TestSupport::FakeHrScenario &scenario) {
            scenario.acceptedSegmentIndices = QList<int>{};
        });
        QVERIFY(!UploadServiceTestHooks::sendSegmentsBatch(service(), segmentTask(body)));
        const QJsonArray sent = m_bench->server.requests(FakeHrRoute::SegmentsBatch)
                                        .value(0)
                                        .jsonObject()
                                        .value("segments"_L1)
                                        .toArray();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first()["segment_date"_L1].toString(), u"2020-01-01"_s);
    }
}

void TestUploadServiceFiles::batchWithoutRowsSendsNothing()
{
    m_bench->store->enqueueUpload(
            segmentTask(R"({"open_segment_date":"2025-03-04","open_segment_number":10})"));
    UploadServiceTestHooks::processQueue(service());
    QCOMPARE(m_bench->server.requestCount(), 0);
    QCOMPARE(queuedCount(), 0);
}

void TestUploadServiceFiles::passQueuesOneSegmentTask()
{
    // Noon in the company's zone, so that the pass 700 s later falls on the day the task was made.
    const QTimeZone zone = Services::ApiTimezone::zone();
    const QDateTime noon(QDateTime::currentDateTimeUtc().toTimeZone(zone).date(), QTime(12, 0),
                         zone);
    Services::UploadClock::setOffsetMs(QDateTime::currentDateTimeUtc().msecsTo(noon));
    const auto restoreClock = qScopeGuard([] { Services::UploadClock::setOffsetMs(0); });
    m_bench->store->upsertActivitySegment(u"2025-03-04"_s, 0, 60, 60, 1, 1);
    m_bench->server.addFault(FakeHrRoute::SegmentsBatch, FakeHrFault::answer(503).repeated(2));
    UploadServiceTestHooks::processQueue(service());
    Services::UploadClock::advance(700);
    UploadServiceTestHooks::processQueue(service());

    // The failed task is still queued: no second one is made beside it.
    QCOMPARE(queueRows(), QStringList{ u"activitySegment|failed|2|00000000-0000-0000-0000-"
                                       "000000000000"_s });
    const Models::UploadTask queued
            = m_bench->store->nextDueUpload(Services::UploadClock::now().addSecs(3600)).value();
    QCOMPARE(queued.priority, 40);
    const QJsonObject body = QJsonDocument::fromJson(queued.jsonPayload.value()).object();
    const Services::SegmentKey open = Services::segmentKeyAt(Services::UploadClock::now(), zone);
    QCOMPARE(body.value("open_segment_date"_L1).toString(), open.date);
    QVERIFY(body.value("open_segment_number"_L1).isDouble());
}

void TestUploadServiceFiles::screenshotBodyIsExact()
{
    Services::ApiTimezone::storeFromConfig(std::nullopt);
    const QByteArray bytes("\xff\xd8\x00\r\n--Boundary-x\r\n\xff\xd9", 19);
    const QString path = captureFile(sessionId, u"2025-03-04T09-15-00Z"_s, 1, bytes);

    const UploadService::ScreenshotUploadResult result
            = UploadServiceTestHooks::uploadScreenshot(service(), screenshotTask(path));

    QCOMPARE(result.outcome, UploadService::ScreenshotUploadOutcome::Uploaded);
    QVERIFY(!QFile::exists(path));
    const QList<TestSupport::RecordedRequest> sent
            = m_bench->server.requests(FakeHrRoute::Screenshots);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().apiPath,
             u"hr/clockwarden/employees/sessions/%1/screenshots"_s.arg(upperId));
    const QByteArray contentType = sent.first().header("Content-Type");
    QVERIFY(contentType.startsWith("multipart/form-data; boundary=Boundary-"));
    const QByteArray boundary = contentType.mid(contentType.indexOf('=') + 1);
    QCOMPARE(boundary.size(), 9 + 36);
    QCOMPARE(boundary, boundary.toLower().replace("boundary-", "Boundary-"));
    const QByteArray name = UploadServiceTestHooks::restampScreenshotName(
            QFileInfo(path).fileName(), sessionId, Services::ApiTimezone::zone());
    const QByteArray expected = "--" + boundary + "\r\n"
                                + "Content-Disposition: form-data; name=\"screenshots[]\"; "
                                  "filename=\""
                                + name + "\"\r\nContent-Type: image/jpeg\r\n\r\n" + bytes + "\r\n--"
                                + boundary + "--\r\n";
    QCOMPARE(sent.first().body, expected);
    QCOMPARE(m_bench->server.uploadedFiles().value(QString::fromUtf8(name)), bytes);
}

void TestUploadServiceFiles::screenshotNameNeverBreaksTheHeader()
{
    const QString path = captureFile(sessionId, u"x\"y\r\nX-Injected: 1\tz\x7f\\"_s, 0);
    QVERIFY(QFile::exists(path));

    const UploadService::ScreenshotUploadResult result
            = UploadServiceTestHooks::uploadScreenshot(service(), screenshotTask(path));

    QCOMPARE(result.outcome, UploadService::ScreenshotUploadOutcome::Uploaded);
    const TestSupport::RecordedRequest sent
            = m_bench->server.requests(FakeHrRoute::Screenshots).value(0);
    const QString safe = upperId + u"_x_y__X-Injected: 1_z___0.jpg"_s;
    QCOMPARE(sent.parts.size(), 1);
    QCOMPARE(sent.parts.first().fileName, safe);
    QVERIFY(sent.body.contains("filename=\"" + safe.toUtf8() + "\"\r\nContent-Type: image/jpeg"));
    QVERIFY(!sent.body.contains("\r\nX-Injected"));
}

void TestUploadServiceFiles::screenshotFailureKeepsTheFile()
{
    const QString path = captureFile(sessionId);
    m_bench->server.addFault(FakeHrRoute::Screenshots, FakeHrFault::answer(500));

    const UploadService::ScreenshotUploadResult result
            = UploadServiceTestHooks::uploadScreenshot(service(), screenshotTask(path));

    QCOMPARE(result.outcome, UploadService::ScreenshotUploadOutcome::Failed);
    QVERIFY(result.error);
    QCOMPARE(result.error->httpStatus, std::optional<int>(500));
    QVERIFY(QFile::exists(path));
}

void TestUploadServiceFiles::screenshotWithoutFileIsUnavailable()
{
    const UploadService::ScreenshotUploadResult missing = UploadServiceTestHooks::uploadScreenshot(
            service(), screenshotTask(capturesDir() + u"/gone.jpg"_s));
    QCOMPARE(missing.outcome, UploadService::ScreenshotUploadOutcome::FileUnavailable);

    const UploadService::ScreenshotUploadResult noPath = UploadServiceTestHooks::uploadScreenshot(
            service(), task(UploadTaskType::screenshot, sessionId));
    QCOMPARE(noPath.outcome, UploadService::ScreenshotUploadOutcome::Failed);
    QVERIFY(!noPath.error);
    QCOMPARE(m_bench->server.requestCount(), 0);
}

void TestUploadServiceFiles::restampsIntoTheCompanyZone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("sent");

    const QString id = upperId + u'_';
    QTest::newRow("offset to UTC") << id + u"2025-03-04T09-15-00+07-00_0.jpg"_s << u"UTC"_s
                                   << id + u"2025-03-04T02-15-00Z_0.jpg"_s;
    QTest::newRow("offset to Etc/UTC") << id + u"2025-03-04T09-15-00+07-00_1.jpg"_s << u"Etc/UTC"_s
                                       << id + u"2025-03-04T02-15-00Z_1.jpg"_s;
    QTest::newRow("fraction dropped") << id + u"2025-03-04T09-15-00.734+07-00_0.jpg"_s << u"UTC"_s
                                      << id + u"2025-03-04T02-15-00Z_0.jpg"_s;
    QTest::newRow("UTC to Bangkok") << id + u"2025-03-04T02-15-00Z_2.jpg"_s << u"Asia/Bangkok"_s
                                    << id + u"2025-03-04T09-15-00+07-00_2.jpg"_s;
    QTest::newRow("negative offset") << id + u"2025-03-04T23-30-00-05-00_0.jpg"_s << u"UTC"_s
                                     << id + u"2025-03-05T04-30-00Z_0.jpg"_s;
    QTest::newRow("same zone") << id + u"2025-03-04T09-15-00+07-00_0.jpg"_s << u"Asia/Bangkok"_s
                               << id + u"2025-03-04T09-15-00+07-00_0.jpg"_s;
    QTest::newRow("lower-case id")
            << upperId.toLower() + u"_2025-03-04T09-15-00+07-00_0.jpg"_s << u"UTC"_s
            << upperId.toLower() + u"_2025-03-04T09-15-00+07-00_0.jpg"_s;
    QTest::newRow("no T") << id + u"2025-03-04 09-15-00+07-00_0.jpg"_s << u"UTC"_s
                          << id + u"2025-03-04 09-15-00+07-00_0.jpg"_s;
    QTest::newRow("no screen part") << id + u"2025-03-04T09-15-00+07-00.jpg"_s << u"UTC"_s
                                    << id + u"2025-03-04T09-15-00+07-00.jpg"_s;
    QTest::newRow("impossible date") << id + u"2025-02-30T09-15-00+07-00_0.jpg"_s << u"UTC"_s
                                     << id + u"2025-02-30T09-15-00+07-00_0.jpg"_s;
    QTest::newRow("time without zone") << id + u"2025-03-04T09-15-00_0.jpg"_s << u"UTC"_s
                                       << id + u"2025-03-04T09-15-00_0.jpg"_s;
}

void TestUploadServiceFiles::restampsIntoTheCompanyZone()
{
    QFETCH(QString, name);
    QFETCH(QString, zone);
    QFETCH(QString, sent);
    const QTimeZone timeZone(zone.toLatin1());
    QVERIFY(timeZone.isValid());
    QCOMPARE(QString::fromUtf8(
                     UploadServiceTestHooks::restampScreenshotName(name, sessionId, timeZone)),
             sent);
}

void TestUploadServiceFiles::sweepQueuesLostFilesOfThisDomain()
{
    const QString lost = captureFile(sessionId, u"2025-03-04T09-15-00+07-00"_s, 0);
    const QString queued = captureFile(sessionId, u"2025-03-04T09-25-00+07-00"_s, 0);
    service().enqueueScreenshotsForSession(sessionId);
    m_bench->store->removeUpload(
            m_bench->store->nextDueUpload(QDateTime::currentDateTimeUtc()).value().id);
    QCOMPARE(queuedCount(), 1);
    m_log->mark();

    UploadServiceTestHooks::enqueueOrphanedScreenshots(service());

    QCOMPARE(m_bench->store->pendingUploadFilePaths(), (QSet<QString>{ lost, queued }));
    QCOMPARE(queuedCount(), 2);
    QCOMPARE(m_log->linesContaining(
                          u"[INFO] [upload] Orphan sweeper: enqueued 1 stranded screenshot(s)"_s)
                     .size(),
             1);
}

void TestUploadServiceFiles::sweepDeletesOnlyStaleFilesElsewhere()
{
    const QString other = Platform::Paths::capturesRoot() + u"/other.example.com"_s;
    const QString stale = writeIn(other, upperId + u"_2025-03-04T09-15-00Z_0.jpg"_s, 8);
    const QString recent = writeIn(other, upperId + u"_2025-03-04T09-25-00Z_0.jpg"_s, 2);

    UploadServiceTestHooks::enqueueOrphanedScreenshots(service());

    QVERIFY(!QFile::exists(stale));
    QVERIFY(QFile::exists(recent));
    QCOMPARE(queuedCount(), 0);
}

void TestUploadServiceFiles::sweepDeletesStaleUnqueuedFiles()
{
    const QString folder = capturesDir();
    const QString staleUnqueued = writeIn(folder, upperId + u"_2025-03-04T09-15-00Z_0.jpg"_s, 8);
    const QString staleQueued = writeIn(folder, upperId + u"_2025-03-04T09-25-00Z_0.jpg"_s, 8);
    m_bench->store->enqueueUpload(screenshotTask(staleQueued));
    const QString withoutId = writeIn(folder, u"capture_0.JPG"_s, 8);
    const QString text = writeIn(folder, upperId + u"_notes.txt"_s, 8);
    const QString hidden = writeIn(folder, u"."_s + upperId + u"_2025-03-04T09-35-00Z_0.jpg"_s, 1);

    UploadServiceTestHooks::enqueueOrphanedScreenshots(service());

    QVERIFY(!QFile::exists(staleUnqueued));
    QVERIFY(QFile::exists(staleQueued));
    QVERIFY(!QFile::exists(withoutId));
    QVERIFY(QFile::exists(text));
    QVERIFY(QFile::exists(hidden));
    QCOMPARE(queuedCount(), 1);
}

void TestUploadServiceFiles::sweepThatQueuesNothingLogsNothing()
{
    writeIn(capturesDir(), u"capture_0.jpg"_s, 1);
    UploadServiceTestHooks::enqueueOrphanedScreenshots(service());
    QCOMPARE(queuedCount(), 0);
    QVERIFY(m_log->lines().isEmpty());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestUploadServiceFiles)
#include "tst_uploadservice_files.moc"
