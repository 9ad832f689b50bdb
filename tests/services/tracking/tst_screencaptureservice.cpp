#include "TestEnvironment.h"

#include "FakeScreenCapturer.h"

#include "core/ClockTestHooks.h"
#include "models/UploadTask.h"
#include "services/tracking/ScreenCaptureService.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;
using Services::ScreenCaptureService;
using Storage::SQLiteStore;
using TestSupport::FakeScreenCapturer;

namespace {

const QUuid sessionId(u"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"_s);
const QUuid otherSessionId(u"{0b1c2d3e-0000-4000-8000-00000000abcd}"_s);
// 09:05:00.250 in Bangkok.
const QDateTime captureMoment(QDate(2025, 1, 31), QTime(2, 5, 0, 250), Qt::UTC);
const QString sessionPrefix = u"3F2504E0-4F89-11D3-9A0C-0305E82C3301_"_s;

QImage imageOfSize(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

void setZone(const QString &identifier)
{
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::apiTimezoneIdentifier,
                                              identifier);
}

// A file in folder whose modification time is the given number of minutes after 2020-01-01.
void writeAgedFile(const QString &folder, const QString &name, int minutes)
{
    QFile file(folder + u'/' + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    // Written out first: data still buffered would stamp the file again when it closes.
    QVERIFY(file.flush());
    const QDateTime modified
            = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(minutes) * 60);
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

Models::UploadTask screenshotTask(const QString &path)
{
    return Models::UploadTask(QUuid::createUuid(), sessionId, Models::UploadTaskType::screenshot,
                              path, std::nullopt, 0, captureMoment,
                              Models::UploadTaskStatus::pending,
                              Models::UploadTask::screenshotPriority);
}

} // namespace

// The company zone is Asia/Bangkok; the TIME_ZONES runs vary the machine's zone underneath it.
class TestScreenCaptureService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void capturesEachScreenIntoNamedJpegs_data();
    void capturesEachScreenIntoNamedJpegs();
    void unavailableCapturerIsNotAsked();
    void nullSessionCapturesNothing();
    void unwritableFileIsSkippedAndFolderStillPruned();
    void emptyDomainWritesGlobalFolder();
    void receiverStartingAnotherSessionKeepsFirstId();
    void startArmsOneCoarseFirstCapture();
    void stopCancelsPendingFirstCapture();
    void startTwiceGivesOneFirstCapture();
    void periodicIntervalFollowsMinutes_data();
    void periodicIntervalFollowsMinutes();
    void receiverStoppingDuringFirstCaptureKeepsPeriodicOff();
    void pruneSparesQueuedFiles_data();
    void pruneSparesQueuedFiles();
    void pruneLeavesSmallOrMissingFolderAlone();
    void clampCaptureSize_data();
    void clampCaptureSize();
    void fileNameUsesCompanyZone_data();
    void fileNameUsesCompanyZone();

private:
    QString folder(const QString &domain) const { return Platform::Paths::capturesDirFor(domain); }
    QTimer *firstCaptureTimer() const;
    QTimer *captureTimer() const;

    SQLiteStore *m_store = nullptr;
    std::unique_ptr<FakeScreenCapturer> m_capturer;
    std::unique_ptr<ScreenCaptureService> m_service;
};

void TestScreenCaptureService::initTestCase()
{
    m_store = SQLiteStore::instance();
}

void TestScreenCaptureService::init()
{
    setZone(u"Asia/Bangkok"_s);
    m_store->clearAll();
    m_store->setDomainKey(u"global"_s);
    QVERIFY(QDir(Platform::Paths::capturesRoot()).removeRecursively());
    Core::ClockTestHooks::set(captureMoment);
    m_capturer = std::make_unique<FakeScreenCapturer>();
    m_service = std::make_unique<ScreenCaptureService>(m_capturer.get());
}

void TestScreenCaptureService::cleanup()
{
    m_service.reset();
    m_capturer.reset();
    Core::ClockTestHooks::reset();
}

QTimer *TestScreenCaptureService::firstCaptureTimer() const
{
    return m_service->findChild<QTimer *>(u"firstCaptureTimer"_s);
}

QTimer *TestScreenCaptureService::captureTimer() const
{
    return m_service->findChild<QTimer *>(u"captureTimer"_s);
}

void TestScreenCaptureService::capturesEachScreenIntoNamedJpegs_data()
{
    QTest::addColumn<QList<QSize>>("screens");
    QTest::addColumn<QList<QSize>>("saved");

    QTest::newRow("no screen") << QList<QSize>() << QList<QSize>();
    QTest::newRow("one 4K screen")
            << QList<QSize>{ { 3840, 2160 } } << QList<QSize>{ { 1920, 1080 } };
    QTest::newRow("two screens, one within the cap")
            << QList<QSize>{ { 2560, 1440 }, { 1920, 1200 } }
            << QList<QSize>{ { 1920, 1080 }, { 1920, 1200 } };
    QTest::newRow("portrait and a one-pixel strip") << QList<QSize>{ { 1080, 2400 }, { 2000, 1 } }
                                                    << QList<QSize>{ { 864, 1920 }, { 1920, 1 } };
}

void TestScreenCaptureService::capturesEachScreenIntoNamedJpegs()
{
    QFETCH(QList<QSize>, screens);
    QFETCH(QList<QSize>, saved);
    for (const QSize &size : screens)
        m_capturer->images.append(imageOfSize(size));
    // The capture time is taken once the capturer has answered.
    m_capturer->duringCapture = [] { Core::ClockTestHooks::advance(2000); };
    QSignalSpy spy(m_service.get(), &ScreenCaptureService::screenshotSaved);
    m_service->start(sessionId, 5, u"acme.example.com"_s);

    m_service->captureNow();

    QCOMPARE(m_capturer->captureCalls, 1);
    const QString dir = folder(u"acme.example.com"_s);
    QStringList expectedNames;
    for (qsizetype i = 0; i < saved.size(); ++i)
        expectedNames.append(sessionPrefix + u"2025-01-31T09-05-02+07-00_%1.jpg"_s.arg(i));
    QCOMPARE(fileNames(dir), expectedNames);
    QCOMPARE(spy.size(), saved.size());
    for (qsizetype i = 0; i < saved.size(); ++i) {
        const QString path = spy.at(i).at(0).toString();
        QCOMPARE(path, dir + u'/' + expectedNames.at(i));
        QVERIFY(QFileInfo(path).isAbsolute());
        QImageReader reader(path);
        QCOMPARE(reader.format(), "jpeg"_ba);
        QCOMPARE(reader.size(), saved.at(i));
    }
}

void TestScreenCaptureService::unavailableCapturerIsNotAsked()
{
    m_capturer->images = { imageOfSize({ 100, 100 }) };
    m_capturer->available = false;
    QSignalSpy spy(m_service.get(), &ScreenCaptureService::screenshotSaved);
    m_service->start(sessionId, 5, u"acme.example.com"_s);

    m_service->captureNow();

    QCOMPARE(m_capturer->captureCalls, 0);
    QCOMPARE(spy.size(), 0);
    QCOMPARE(fileNames(folder(u"acme.example.com"_s)), QStringList());
}

void TestScreenCaptureService::nullSessionCapturesNothing()
{
    m_capturer->images = { imageOfSize({ 100, 100 }) };
    QSignalSpy spy(m_service.get(), &ScreenCaptureService::screenshotSaved);

    m_service->captureNow();
    m_service->start(QUuid(), 5, u"acme.example.com"_s);
    m_service->captureNow();
    ScreenCaptureService withoutCapturer(nullptr);
    withoutCapturer.start(sessionId, 5, u"acme.example.com"_s);
    withoutCapturer.captureNow();

    QCOMPARE(m_capturer->captureCalls, 0);
    QCOMPARE(spy.size(), 0);
    QVERIFY(!QFileInfo::exists(Platform::Paths::capturesRoot() + u"/acme.example.com"_s));
}

void TestScreenCaptureService::unwritableFileIsSkippedAndFolderStillPruned()
{
    const QString dir = folder(u"acme.example.com"_s);
    for (int i = 0; i < 501; ++i)
        writeAgedFile(dir, u"old-%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')), i);
    // A directory holds the first file's name; writing there fails for root as well.
    QVERIFY(QDir().mkpath(dir + u'/' + sessionPrefix + u"2025-01-31T09-05-00+07-00_0.jpg"_s));
    m_capturer->images = { imageOfSize({ 64, 48 }), imageOfSize({ 64, 48 }) };
    QSignalSpy spy(m_service.get(), &ScreenCaptureService::screenshotSaved);
    m_service->start(sessionId, 5, u"acme.example.com"_s);

    m_service->captureNow();

    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(),
             dir + u'/' + sessionPrefix + u"2025-01-31T09-05-00+07-00_1.jpg"_s);
    const QStringList names = fileNames(dir);
    QCOMPARE(names.size(), 500);
    QVERIFY(!names.contains(u"old-000.jpg"_s));
    QVERIFY(!names.contains(u"old-001.jpg"_s));
    QVERIFY(names.contains(u"old-002.jpg"_s));
    QVERIFY(QFileInfo(dir + u'/' + sessionPrefix + u"2025-01-31T09-05-00+07-00_0.jpg"_s).isDir());
}

void TestScreenCaptureService::emptyDomainWritesGlobalFolder()
{
    m_capturer->images = { imageOfSize({ 64, 48 }) };
    m_service->start(sessionId, 5, QString());

    m_service->captureNow();

    QCOMPARE(fileNames(folder(u"global"_s)),
             QStringList{ sessionPrefix + u"2025-01-31T09-05-00+07-00_0.jpg"_s });
    QCOMPARE(QDir(Platform::Paths::capturesRoot())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{ u"global"_s });
}

void TestScreenCaptureService::receiverStartingAnotherSessionKeepsFirstId()
{
    m_capturer->images = { imageOfSize({ 64, 48 }), imageOfSize({ 64, 48 }) };
    QStringList paths;
    connect(m_service.get(), &ScreenCaptureService::screenshotSaved, this,
            [this, &paths](const QString &path) {
                paths.append(path);
                // As the user would, inside the live heartbeat's nested loop: stop, then start
                // another session.
                if (paths.size() == 1)
                    m_service->start(otherSessionId, 5, u"other.example.com"_s);
            });
    m_service->start(sessionId, 5, u"acme.example.com"_s);

    m_service->captureNow();

    const QString dir = folder(u"acme.example.com"_s);
    QCOMPARE(paths,
             (QStringList{ dir + u'/' + sessionPrefix + u"2025-01-31T09-05-00+07-00_0.jpg"_s,
                           dir + u'/' + sessionPrefix + u"2025-01-31T09-05-00+07-00_1.jpg"_s }));
    QCOMPARE(fileNames(dir).size(), 2);
    QVERIFY(firstCaptureTimer()->isActive());
}

void TestScreenCaptureService::startArmsOneCoarseFirstCapture()
{
    QTimer *first = firstCaptureTimer();
    QTimer *periodic = captureTimer();
    QVERIFY(first && periodic);
    QVERIFY(!first->isActive());
    QVERIFY(!periodic->isActive());

    m_service->start(sessionId, 5, u"acme.example.com"_s);

    QVERIFY(first->isActive());
    QVERIFY(first->isSingleShot());
    QCOMPARE(first->interval(), 60000);
    QCOMPARE(first->timerType(), Qt::CoarseTimer);
    QVERIFY(!periodic->isActive());
    QVERIFY(!periodic->isSingleShot());
    QCOMPARE(periodic->interval(), 300000);
}

void TestScreenCaptureService::stopCancelsPendingFirstCapture()
{
    m_capturer->images = { imageOfSize({ 64, 48 }) };
    m_service->start(sessionId, 5, u"acme.example.com"_s);
    // Brought forward: what would fire at 60 s fires at once unless stopped.
    firstCaptureTimer()->setInterval(0);

    m_service->stop();

    QCOMPARE(m_capturer->captureCalls, 0);
    QVERIFY(!firstCaptureTimer()->isActive());
    QVERIFY(!captureTimer()->isActive());
}

void TestScreenCaptureService::startTwiceGivesOneFirstCapture()
{
    m_capturer->images = { imageOfSize({ 64, 48 }) };
    m_service->start(sessionId, 5, u"acme.example.com"_s);
    m_service->start(sessionId, 3, u"acme.example.com"_s);
    const QList<QTimer *> armed = m_service->findChildren<QTimer *>();
    QCOMPARE(std::count_if(armed.cbegin(), armed.cend(), [](QTimer *t) { return t->isActive(); }),
             1);

    firstCaptureTimer()->setInterval(0);
    QTRY_COMPARE(m_capturer->captureCalls, 1);

    QVERIFY(!firstCaptureTimer()->isActive());
    QVERIFY(captureTimer()->isActive());
    QCOMPARE(captureTimer()->interval(), 180000);
}

void TestScreenCaptureService::periodicIntervalFollowsMinutes_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("interval");

    QTest::newRow("zero") << 0 << 60000;
    QTest::newRow("negative") << -2 << 60000;
    QTest::newRow("one") << 1 << 60000;
    QTest::newRow("ten") << 10 << 600000;
    QTest::newRow("beyond what a timer holds")
            << std::numeric_limits<int>::max() << std::numeric_limits<int>::max() / 60000 * 60000;
}

void TestScreenCaptureService::periodicIntervalFollowsMinutes()
{
    QFETCH(int, minutes);
    QFETCH(int, interval);

    m_service->start(sessionId, minutes, u"acme.example.com"_s);

    QCOMPARE(captureTimer()->interval(), interval);
    QCOMPARE(firstCaptureTimer()->interval(), 60000);
}

void TestScreenCaptureService::receiverStoppingDuringFirstCaptureKeepsPeriodicOff()
{
    m_capturer->images = { imageOfSize({ 64, 48 }) };
    connect(m_service.get(), &ScreenCaptureService::screenshotSaved, this,
            [this] { m_service->stop(); });
    m_service->start(sessionId, 5, u"acme.example.com"_s);

    firstCaptureTimer()->setInterval(0);
    QTRY_COMPARE(m_capturer->captureCalls, 1);

    // The user stopped while the capture's heartbeat ran: no capture may follow.
    QVERIFY(!captureTimer()->isActive());
    QVERIFY(!firstCaptureTimer()->isActive());
}

void TestScreenCaptureService::pruneSparesQueuedFiles_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("queueCleanPaths");

    QTest::newRow("queued as listed") << u"acme.example.com"_s << false;
    // The upload side queues absolute, cleaned paths; the folder handed in may still hold a
    // doubled separator from the environment.
    QTest::newRow("folder with a doubled separator") << u"acme.example.com"_s << true;
}

void TestScreenCaptureService::pruneSparesQueuedFiles()
{
    QFETCH(QString, domain);
    QFETCH(bool, queueCleanPaths);
    const QString dir = folder(domain);
    // Listed out of age order, so that the result depends on the sort.
    for (int i = 502; i >= 0; --i)
        writeAgedFile(dir, u"shot-%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')), i);
    const QString handedIn = queueCleanPaths ? dir.section(u'/', 0, -2) + u"//"_s + domain : dir;
    for (const QString &name : { u"shot-000.jpg"_s, u"shot-001.jpg"_s })
        m_store->enqueueUpload(screenshotTask((queueCleanPaths ? dir : handedIn) + u'/' + name));

    ScreenCaptureService::pruneDirectory(handedIn, 500);

    const QStringList names = fileNames(dir);
    QCOMPARE(names.size(), 500);
    QCOMPARE(names.mid(0, 5), (QStringList{ u"shot-000.jpg"_s, u"shot-001.jpg"_s, u"shot-005.jpg"_s,
                                            u"shot-006.jpg"_s, u"shot-007.jpg"_s }));
}

void TestScreenCaptureService::pruneLeavesSmallOrMissingFolderAlone()
{
    const QString dir = folder(u"acme.example.com"_s);
    for (int i = 0; i < 500; ++i)
        writeAgedFile(dir, u"shot-%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')), i);
    // Hidden files and folders do not count toward the limit.
    writeAgedFile(dir, u".hidden"_s, 0);
    QVERIFY(QDir(dir).mkdir(u"sub"_s));

    ScreenCaptureService::pruneDirectory(dir, 500);
    ScreenCaptureService::pruneDirectory(dir + u"/missing"_s, 0);

    QCOMPARE(fileNames(dir).size(), 500);
    QVERIFY(QFileInfo::exists(dir + u"/.hidden"_s));
    QVERIFY(!QFileInfo::exists(dir + u"/missing"_s));
}

void TestScreenCaptureService::clampCaptureSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("4K landscape") << QSize(3840, 2160) << QSize(1920, 1080);
    QTest::newRow("within the cap") << QSize(1920, 1200) << QSize(1920, 1200);
    QTest::newRow("one-pixel strip") << QSize(2000, 1) << QSize(1920, 1);
    QTest::newRow("tall strip rounds up to one") << QSize(1, 5000) << QSize(1, 1920);
    QTest::newRow("half rounds away from zero") << QSize(3840, 1001) << QSize(1920, 501);
    QTest::newRow("no width") << QSize(0, 5) << QSize(1, 5);
    QTest::newRow("no width nor height") << QSize(-3, 0) << QSize(1, 1);
    QTest::newRow("no height") << QSize(7, 0) << QSize(7, 1);
    QTest::newRow("odd ratio") << QSize(2561, 1441) << QSize(1920, 1080);
}

void TestScreenCaptureService::clampCaptureSize()
{
    QFETCH(QSize, size);
    QFETCH(QSize, expected);

    QCOMPARE(ScreenCaptureService::clampCaptureSize(size), expected);
}

void TestScreenCaptureService::fileNameUsesCompanyZone_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("expected");

    const QString id = u"3F2504E0-4F89-11D3-9A0C-0305E82C3301"_s;
    QTest::newRow("Bangkok") << u"Asia/Bangkok"_s << id + u"_2025-01-31T09-05-00+07-00_3.jpg"_s;
    QTest::newRow("UTC") << u"UTC"_s << id + u"_2025-01-31T02-05-00Z_3.jpg"_s;
    QTest::newRow("Etc/UTC") << u"Etc/UTC"_s << id + u"_2025-01-31T02-05-00Z_3.jpg"_s;
    QTest::newRow("London in winter")
            << u"Europe/London"_s << id + u"_2025-01-31T02-05-00+00-00_3.jpg"_s;
    QTest::newRow("New York") << u"America/New_York"_s
                              << id + u"_2025-01-30T21-05-00-05-00_3.jpg"_s;
}

void TestScreenCaptureService::fileNameUsesCompanyZone()
{
    QFETCH(QString, zone);
    QFETCH(QString, expected);
    setZone(zone);

    QCOMPARE(ScreenCaptureService::screenshotFileName(sessionId, captureMoment.toMSecsSinceEpoch(),
                                                      3),
             expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestScreenCaptureService)
#include "tst_screencaptureservice.moc"
