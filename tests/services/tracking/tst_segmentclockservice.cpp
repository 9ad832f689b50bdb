#include "TestEnvironment.h"

#include "FileFixtures.h"
#include "RecordingUploads.h"
#include "models/UploadTask.h"
#include "services/tracking/SegmentClockService.h"
#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"
#include "storage/SegmentKey.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
using Services::ActivitySample;
using Services::SegmentClockService;
using Storage::SQLiteStore;
using TestSupport::RecordingUploads;
using Segment = Storage::SQLiteStore::ActivitySegmentRow;

namespace {

const QTimeZone bangkok("Asia/Bangkok");

// A wall-clock time in the company zone, as the UTC moment the clock's timer would give.
QDateTime bangkokTime(const QDate &date, const QTime &time)
{
    return QDateTime(date, time, bangkok).toUTC();
}

const QDate day(2025, 3, 4);

} // namespace

// The company zone is Asia/Bangkok; the TIME_ZONES runs vary the machine's zone underneath it.
class TestSegmentClockService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rolloverWritesClosedSegmentAndQueuesOneTask_data();
    void rolloverWritesClosedSegmentAndQueuesOneTask();
    void rolloverOfEmptySegmentOnlyLogs();
    void secondRolloverWhileTaskPendingQueuesNothing();
    void zoneChangeMidSegmentRollsOver();
    void repeatedHourAtDaylightSavingEndMergesCounts();
    void domainChangeMovesToOtherAccountsRow();
    void flushesOnSixtiethCountedTick();
    void newClockResumesStoredRow();
    void stoppingTwiceFlushesOnce();
    void timerTicksEverySecondOnceStarted();
    void withoutStoreCountsNothing();
    void observerHearsEachSample();
    void validSegmentNumbers_data();
    void validSegmentNumbers();

private:
    // Counts the given number of seconds from start, one tick each.
    void tickSeconds(const QDateTime &start, int seconds);
    std::optional<Segment> row(const QString &date, int number,
                               const std::optional<QString> &domain = std::nullopt);
    QList<Models::UploadTask> segmentTasks();
    // Log lines written since init(), without their time, level and category.
    QStringList logLines(const QString &prefix);

    SQLiteStore *m_store = nullptr;
    std::unique_ptr<RecordingUploads> m_uploads;
    std::unique_ptr<SegmentClockService> m_clock;
    ActivitySample m_sample{ true, true, 2, 3 };
    int m_samplerCalls = 0;
    qint64 m_logStart = 0;
};

void TestSegmentClockService::initTestCase()
{
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::apiTimezoneIdentifier,
                                              u"Asia/Bangkok"_s);
    Core::Log::install();
    m_store = SQLiteStore::instance();
}

void TestSegmentClockService::init()
{
    m_store->clearAll();
    m_store->setDomainKey(u"global"_s);
    m_uploads = std::make_unique<RecordingUploads>();
    m_sample = ActivitySample{ true, true, 2, 3 };
    m_samplerCalls = 0;
    m_logStart = QFileInfo(Platform::Paths::logFilePath()).size();
    m_clock = std::make_unique<SegmentClockService>(m_store);
    m_clock->setActivitySampler([this](const QDateTime &) {
        ++m_samplerCalls;
        return m_sample;
    });
}

void TestSegmentClockService::cleanup()
{
    m_clock.reset();
    m_uploads.reset();
}

void TestSegmentClockService::tickSeconds(const QDateTime &start, int seconds)
{
    for (int i = 0; i < seconds; ++i)
        m_clock->tick(start.addSecs(i));
}

std::optional<Segment> TestSegmentClockService::row(const QString &date, int number,
                                                    const std::optional<QString> &domain)
{
    return m_store->activitySegment(date, number, domain);
}

QList<Models::UploadTask> TestSegmentClockService::segmentTasks()
{
    QList<Models::UploadTask> tasks;
    const QDateTime future = QDateTime::currentDateTimeUtc().addYears(100);
    // Taking each due task out of the queue lists them all.
    while (const auto task = m_store->nextDueUpload(future)) {
        tasks.append(*task);
        m_store->removeUpload(task->id);
    }
    for (const Models::UploadTask &task : tasks)
        m_store->enqueueUpload(task);
    return tasks;
}

QStringList TestSegmentClockService::logLines(const QString &prefix)
{
    const QByteArray text = TestSupport::readFile(Platform::Paths::logFilePath()).mid(m_logStart);
    QStringList lines;
    for (const QString &line : QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype start = line.indexOf(u"] [upload] "_s);
        if (start < 0)
            continue;
        const QString message = line.mid(start + 11);
        if (message.startsWith(prefix))
            lines.append(message);
    }
    return lines;
}

void TestSegmentClockService::rolloverWritesClosedSegmentAndQueuesOneTask_data()
{
    QTest::addColumn<QDateTime>("lastSecond");
    QTest::addColumn<QString>("oldDate");
    QTest::addColumn<int>("oldNumber");
    QTest::addColumn<QString>("newDate");
    QTest::addColumn<int>("newNumber");

    QTest::newRow("ten past midnight")
            << bangkokTime(day, QTime(0, 9, 59)) << u"2025-03-04"_s << 0 << u"2025-03-04"_s << 1;
    QTest::newRow("midnight") << bangkokTime(day, QTime(23, 59, 59)) << u"2025-03-04"_s << 143
                              << u"2025-03-05"_s << 0;
}

void TestSegmentClockService::rolloverWritesClosedSegmentAndQueuesOneTask()
{
    QFETCH(QDateTime, lastSecond);
    QFETCH(QString, oldDate);
    QFETCH(int, oldNumber);
    QFETCH(QString, newDate);
    QFETCH(int, newNumber);

    tickSeconds(lastSecond.addSecs(-2), 3);
    QCOMPARE(row(oldDate, oldNumber), std::nullopt);
    m_sample = ActivitySample{ true, false, 7, 0 };
    m_clock->tick(lastSecond.addSecs(1));

    QCOMPARE(logLines(u"Segment rollover"_s),
             QStringList{ u"Segment rollover: %1#%2 → %3#%4"_s.arg(oldDate)
                                  .arg(oldNumber)
                                  .arg(newDate)
                                  .arg(newNumber) });
    QCOMPARE(row(oldDate, oldNumber), (Segment{ oldDate, oldNumber, 3, 3, 6, 9 }));
    const QList<Models::UploadTask> tasks = segmentTasks();
    QCOMPARE(tasks.size(), 1);
    const Models::UploadTask &task = tasks.first();
    QCOMPARE(task.type, Models::UploadTaskType::activitySegment);
    QCOMPARE(task.sessionId.toString(QUuid::WithoutBraces),
             u"00000000-0000-0000-0000-000000000000"_s);
    QCOMPARE(task.priority, 40);
    QCOMPARE(task.status, Models::UploadTaskStatus::pending);
    QCOMPARE(task.retryCount, 0);
    QCOMPARE(task.filePath, std::nullopt);
    QVERIFY(!task.id.isNull());
    QVERIFY(task.jsonPayload.has_value());
    QCOMPARE(QJsonDocument::fromJson(*task.jsonPayload).object(),
             (QJsonObject{ { u"open_segment_date"_s, newDate },
                           { u"open_segment_number"_s, newNumber } }));
    QVERIFY(!task.jsonPayload->contains(' '));
    QCOMPARE(m_uploads->callsOf(RecordingUploads::Kind::Wake).size(), 1);
    QCOMPARE(m_uploads->kinds(), QStringList());

    // The first second of the new segment is counted there.
    QCOMPARE(row(newDate, newNumber), std::nullopt);
    m_clock->flushCurrentSegment();
    QCOMPARE(row(newDate, newNumber), (Segment{ newDate, newNumber, 1, 0, 7, 0 }));
}

void TestSegmentClockService::rolloverOfEmptySegmentOnlyLogs()
{
    m_sample = ActivitySample{};
    tickSeconds(bangkokTime(day, QTime(0, 9, 58)), 3);

    QCOMPARE(logLines(u"Segment rollover"_s),
             QStringList{ u"Segment rollover: 2025-03-04#0 → 2025-03-04#1"_s });
    QCOMPARE(row(u"2025-03-04"_s, 0), std::nullopt);
    QCOMPARE(segmentTasks().size(), 0);
    QCOMPARE(m_uploads->callsOf(RecordingUploads::Kind::Wake).size(), 0);
    m_clock->stop();
    QCOMPARE(row(u"2025-03-04"_s, 1), std::nullopt);
}

void TestSegmentClockService::secondRolloverWhileTaskPendingQueuesNothing()
{
    tickSeconds(bangkokTime(day, QTime(0, 9, 59)), 602);

    QCOMPARE(logLines(u"Segment rollover"_s).size(), 2);
    QCOMPARE(row(u"2025-03-04"_s, 0)->activeSeconds, 1);
    QCOMPARE(row(u"2025-03-04"_s, 1)->activeSeconds, 600);
    const QList<Models::UploadTask> tasks = segmentTasks();
    QCOMPARE(tasks.size(), 1);
    QCOMPARE(QJsonDocument::fromJson(*tasks.first().jsonPayload)
                     .object()
                     .value(u"open_segment_number"_s),
             1);
    QCOMPARE(m_uploads->callsOf(RecordingUploads::Kind::Wake).size(), 1);
}

void TestSegmentClockService::zoneChangeMidSegmentRollsOver()
{
    const QDateTime start = bangkokTime(day, QTime(9, 5, 0));
    tickSeconds(start, 2);

    // The same moment in a zone of the same offset keeps the segment.
    m_clock->setTimeZone(QTimeZone("Asia/Jakarta"));
    m_clock->tick(start.addSecs(2));
    QCOMPARE(logLines(u"Segment rollover"_s), QStringList());

    // 02:05:03 UTC is 21:05:03 of the previous day in New York (winter time).
    m_clock->setTimeZone(QTimeZone("America/New_York"));
    m_clock->tick(start.addSecs(3));

    QCOMPARE(logLines(u"Segment rollover"_s),
             QStringList{ u"Segment rollover: 2025-03-04#54 → 2025-03-03#126"_s });
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 3);
    QCOMPARE(segmentTasks().size(), 1);
    m_clock->stop();
    QCOMPARE(row(u"2025-03-03"_s, 126)->activeSeconds, 1);
}

void TestSegmentClockService::repeatedHourAtDaylightSavingEndMergesCounts()
{
    const QTimeZone newYork("America/New_York");
    m_clock->setTimeZone(newYork);
    // 2 November 2025: 01:00 to 01:59 EDT (05:00Z to 05:59Z), then again in EST (06:00Z on).
    const QDateTime firstPass(QDate(2025, 11, 2), QTime(5, 5, 0), Qt::UTC);
    tickSeconds(firstPass, 3);
    m_clock->tick(QDateTime(QDate(2025, 11, 2), QTime(5, 59, 59), Qt::UTC));
    const QDateTime secondPass(QDate(2025, 11, 2), QTime(6, 5, 0), Qt::UTC);
    QCOMPARE(Services::segmentKeyAt(secondPass, newYork).number, 6);

    m_clock->tick(secondPass);
    m_clock->stop();

    QCOMPARE(logLines(u"Segment rollover"_s),
             (QStringList{ u"Segment rollover: 2025-11-02#6 → 2025-11-02#11"_s,
                           u"Segment rollover: 2025-11-02#11 → 2025-11-02#6"_s }));
    QCOMPARE(logLines(u"Resumed segment"_s),
             QStringList{ u"Resumed segment 2025-11-02#6 from stored row (active=3s)"_s });
    QCOMPARE(row(u"2025-11-02"_s, 11)->activeSeconds, 1);
    QCOMPARE(row(u"2025-11-02"_s, 6)->activeSeconds, 4);
}

void TestSegmentClockService::domainChangeMovesToOtherAccountsRow()
{
    const QString company = u"acme.example.com"_s;
    m_store->upsertActivitySegment(u"2025-03-04"_s, 54, 100, 90, 80, 70, company);
    const QDateTime start = bangkokTime(day, QTime(9, 5, 0));
    tickSeconds(start, 2);

    m_store->setDomainKey(company);
    m_clock->tick(start.addSecs(2));
    m_clock->stop();

    QCOMPARE(row(u"2025-03-04"_s, 54, u"global"_s), (Segment{ u"2025-03-04"_s, 54, 2, 2, 4, 6 }));
    QCOMPARE(row(u"2025-03-04"_s, 54, company), (Segment{ u"2025-03-04"_s, 54, 101, 91, 82, 73 }));
    QCOMPARE(logLines(u"Segment rollover"_s), QStringList());
    QCOMPARE(logLines(u"Resumed segment"_s),
             QStringList{ u"Resumed segment 2025-03-04#54 from stored row (active=100s)"_s });
    QCOMPARE(segmentTasks().size(), 0);
    m_store->setDomainKey(u"global"_s);
    QCOMPARE(segmentTasks().size(), 0);
    QCOMPARE(m_uploads->callsOf(RecordingUploads::Kind::Wake).size(), 0);
}

void TestSegmentClockService::flushesOnSixtiethCountedTick()
{
    const QDateTime start = bangkokTime(day, QTime(9, 0, 0));
    tickSeconds(start, 59);
    QCOMPARE(row(u"2025-03-04"_s, 54), std::nullopt);

    m_clock->tick(start.addSecs(59));
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 60);

    // The count starts again after the flush.
    tickSeconds(start.addSecs(60), 59);
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 60);
    m_clock->tick(start.addSecs(119));
    QCOMPARE(row(u"2025-03-04"_s, 54), (Segment{ u"2025-03-04"_s, 54, 120, 120, 240, 360 }));
}

void TestSegmentClockService::newClockResumesStoredRow()
{
    const QDateTime start = bangkokTime(day, QTime(9, 5, 0));
    tickSeconds(start, 5);
    m_clock->stop();
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 5);
    QCOMPARE(logLines(u"Resumed segment"_s), QStringList());

    // As after a restart within the same ten minutes.
    m_clock = std::make_unique<SegmentClockService>(m_store);
    m_clock->tick(start.addSecs(30));
    m_clock->stop();

    QCOMPARE(logLines(u"Resumed segment"_s),
             QStringList{ u"Resumed segment 2025-03-04#54 from stored row (active=5s)"_s });
    // A clock without a sampler counts an all-zero second: the figures stay.
    QCOMPARE(row(u"2025-03-04"_s, 54), (Segment{ u"2025-03-04"_s, 54, 5, 5, 10, 15 }));
    QCOMPARE(logLines(u"Segment rollover"_s), QStringList());
}

void TestSegmentClockService::stoppingTwiceFlushesOnce()
{
    m_clock->setRunning(true);
    tickSeconds(bangkokTime(day, QTime(9, 5, 0)), 3);
    m_clock->setRunning(false);
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 3);

    // Something else rewrites the row: a second switch-off must not overwrite it.
    m_store->upsertActivitySegment(u"2025-03-04"_s, 54, 9, 9, 9, 9);
    m_clock->setRunning(false);
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 9);

    m_clock->stop();
    QCOMPARE(row(u"2025-03-04"_s, 54)->activeSeconds, 3);
}

void TestSegmentClockService::timerTicksEverySecondOnceStarted()
{
    auto *timer = m_clock->findChild<QTimer *>(u"segmentClockTimer"_s);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QCOMPARE(timer->timerType(), Qt::CoarseTimer);
    QVERIFY(!timer->isSingleShot());
    QVERIFY(!timer->isActive());

    m_clock->start();
    m_clock->start();
    QVERIFY(timer->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(m_samplerCalls, 1, 3000);
    m_clock->setRunning(false);
    QVERIFY(!timer->isActive());
    m_clock->setRunning(true);
    QVERIFY(timer->isActive());
}

void TestSegmentClockService::withoutStoreCountsNothing()
{
    SegmentClockService clock(nullptr);
    int observed = 0;
    clock.setActivitySampler([this](const QDateTime &) {
        ++m_samplerCalls;
        return m_sample;
    });
    clock.setTickObserver([&observed](bool) { ++observed; });

    clock.tick(bangkokTime(day, QTime(9, 5, 0)));
    clock.stop();

    QCOMPARE(m_samplerCalls, 0);
    QCOMPARE(observed, 0);
}

void TestSegmentClockService::observerHearsEachSample()
{
    QList<bool> observed;
    m_clock->setTickObserver([&observed](bool active) { observed.append(active); });
    const QDateTime start = bangkokTime(day, QTime(9, 5, 0));

    m_clock->tick(start);
    m_sample.active = false;
    m_clock->tick(start.addSecs(1));

    QCOMPARE(observed, (QList<bool>{ true, false }));
}

void TestSegmentClockService::validSegmentNumbers_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("valid");

    QTest::newRow("first") << 0 << true;
    QTest::newRow("last") << 143 << true;
    QTest::newRow("one past the day") << 144 << false;
    QTest::newRow("none open") << -1 << false;
    QTest::newRow("lowest int") << std::numeric_limits<int>::min() << false;
}

void TestSegmentClockService::validSegmentNumbers()
{
    QFETCH(int, number);
    QFETCH(bool, valid);

    QCOMPARE(SegmentClockService::isValidSegmentNumber(number), valid);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSegmentClockService)
#include "tst_segmentclockservice.moc"
