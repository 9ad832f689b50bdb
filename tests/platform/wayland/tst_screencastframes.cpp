#include <csignal>

#include <spa/buffer/buffer.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>

#include "FakePortal.h"
#include "LogTail.h"
#include "PipeWireTestSource.h"
#include "TestEnvironment.h"
#include "platform/wayland/PipeWireFormats.h"
#include "platform/wayland/PipeWireState.h"
#include "platform/wayland/WaylandScreenCapturer.h"
#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandScreenCapturer;
using TestSupport::PipeWireTestSource;

namespace Platform::Wayland {

struct WaylandScreenCapturerTestAccess
{
    static void giveIdlePipeWireState(WaylandScreenCapturer &capturer)
    {
        capturer.m_pipeWire = std::make_unique<PipeWireState>();
    }
    static void convertDmaBuf(WaylandScreenCapturer &capturer, StreamData &stream,
                              const spa_buffer &buffer)
    {
        capturer.convertDmaBufBuffer(stream, buffer, 1000);
    }
    static int streamsWithFrame(WaylandScreenCapturer &capturer)
    {
        QMutexLocker locker(&capturer.m_frameMutex);
        return capturer.m_streamsWithFrame;
    }
};

} // namespace Platform::Wayland

namespace {

using Access = Platform::Wayland::WaylandScreenCapturerTestAccess;
const QString tokenKey = Storage::PreferenceKeys::screencastRestoreToken;

class FailingImporter final : public Platform::Wayland::IDmaBufImporter
{
public:
    int imports = 0;
    bool isAvailable() override { return true; }
    QList<quint64> supportedModifiers(quint32) override { return {}; }
    QImage importToImage(quint32, quint64, int, int, int, const PlaneInts &, const PlaneOffsets &,
                         const PlaneStrides &) override
    {
        ++imports;
        return {};
    }
};

QString restoreTokenSent(const QJsonValue &selectSources)
{
    return selectSources.toObject()
            .value(u"options"_s)
            .toObject()
            .value(u"restore_token"_s)
            .toArray()
            .at(1)
            .toString();
}

PipeWireTestSource::Options source(const QString &format, QColor color, int padding = 0,
                                   bool strideZero = false)
{
    PipeWireTestSource::Options options;
    options.format = format;
    options.color = color;
    options.rowPadding = padding;
    options.strideZero = strideZero;
    return options;
}

} // namespace

class TestScreenCastFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void deliversOneImagePerStreamInItsColours_data();
    void deliversOneImagePerStreamInItsColours();
    void slowStreamGivesItsOlderImage();
    void revokeWhileAvailableTellsObserversOnce();
    void wakeWithTokenReconnectsQuietly();
    void failedDmaBufImportWarnsOnceAndDropsTheFrame();
    // Kills the PipeWire daemon: keep it last.
    void daemonLossTearsDownAndRecovers();

private:
    // Starts one source per entry, then a capturer granted by the portal, and waits until it is
    // available.
    bool startSession(const QList<PipeWireTestSource::Options> &sources);

    TestSupport::FakePortal m_portal;
    std::optional<LogTail> m_log;

    // Lines logged since init() that contain the text.
    int logged(const QString &text) const { return int(m_log->lines().filter(text).size()); }
    std::vector<std::unique_ptr<PipeWireTestSource>> m_sources;
    std::unique_ptr<WaylandScreenCapturer> m_capturer;
    std::unique_ptr<QObject> m_observer;
    int m_availabilityChanges = 0;
};

void TestScreenCastFrames::initTestCase()
{
    Core::Log::install();
    QVERIFY(m_portal.start());
}

void TestScreenCastFrames::init()
{
    m_portal.reset();
    Storage::Preferences::instance().remove(tokenKey);
    m_availabilityChanges = 0;
    m_log.emplace();
}

void TestScreenCastFrames::cleanup()
{
    m_capturer.reset();
    m_observer.reset();
    m_sources.clear();
}

bool TestScreenCastFrames::startSession(const QList<PipeWireTestSource::Options> &sources)
{
    QList<uint> nodeIds;
    for (const PipeWireTestSource::Options &options : sources) {
        auto source = std::make_unique<PipeWireTestSource>();
        if (!source->start(options))
            return false;
        nodeIds.append(source->nodeId());
        m_sources.push_back(std::move(source));
    }
    m_portal.setStreams(nodeIds);
    m_capturer = std::make_unique<WaylandScreenCapturer>();
    // The signal comes from the PipeWire thread; count it where the GUI would see it.
    m_observer = std::make_unique<QObject>();
    connect(m_capturer.get(), &WaylandScreenCapturer::availabilityChanged, m_observer.get(),
            [this] { ++m_availabilityChanges; });
    m_capturer->requestAccess();
    return QTest::qWaitFor([this] { return m_capturer->isAvailable(); }, 15000);
}

void TestScreenCastFrames::deliversOneImagePerStreamInItsColours_data()
{
    QTest::addColumn<QList<PipeWireTestSource::Options>>("sources");
    QTest::newRow("RGBx") << QList{ source(u"RGBx"_s, QColor(0xff, 0x20, 0x00)) };
    QTest::newRow("BGRx") << QList{ source(u"BGRx"_s, QColor(0xff, 0x20, 0x00)) };
    QTest::newRow("RGBx, padded rows") << QList{ source(u"RGBx"_s, QColor(0x10, 0x80, 0xf0), 24) };
    QTest::newRow("BGRx, stride 0")
            << QList{ source(u"BGRx"_s, QColor(0x10, 0x80, 0xf0), 0, true) };
    QTest::newRow("two screens") << QList{ source(u"RGBx"_s, Qt::blue),
                                           source(u"BGRx"_s, Qt::green) };
}

void TestScreenCastFrames::deliversOneImagePerStreamInItsColours()
{
    QFETCH(QList<PipeWireTestSource::Options>, sources);
    QVERIFY(startSession(sources));
    QTRY_COMPARE(m_availabilityChanges, 1);
    QCOMPARE(logged(u"WaylandScreenCapturer: no DMA-BUF modifiers — shm only"_s), 1);
    QCOMPARE(logged(u"PipeWire streams started (%1)"_s.arg(sources.size())), 1);

    QElapsedTimer clock;
    clock.start();
    const QList<QImage> images = m_capturer->captureScreens();
    // Every stream delivers within a few frames: no waiting out the 1500 ms limit.
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(images.size(), sources.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const QImage &image = images.at(i);
        QCOMPARE(image.size(), QSize(64, 48));
        const QRgb expected = sources.at(i).color.rgb();
        QCOMPARE(image.pixel(0, 0), expected);
        QCOMPARE(image.pixel(63, 47), expected);
        QCOMPARE(image.pixel(32, 20), expected);
    }
    QCOMPARE(m_availabilityChanges, 1);
}

void TestScreenCastFrames::slowStreamGivesItsOlderImage()
{
    QVERIFY(startSession({ source(u"BGRx"_s, Qt::red), source(u"RGBx"_s, Qt::yellow) }));
    const qint64 stopped = m_sources.at(1)->processId();
    ::kill(pid_t(stopped), SIGSTOP);

    QElapsedTimer clock;
    clock.start();
    const QList<QImage> images = m_capturer->captureScreens();
    const qint64 elapsed = clock.elapsed();
    ::kill(pid_t(stopped), SIGCONT);

    QVERIFY2(elapsed >= 1450, qPrintable(QString::number(elapsed)));
    QCOMPARE(images.size(), 2);
    QCOMPARE(images.at(0).pixel(1, 1), QColor(Qt::red).rgb());
    QCOMPARE(images.at(1).pixel(1, 1), QColor(Qt::yellow).rgb());
}

void TestScreenCastFrames::revokeWhileAvailableTellsObserversOnce()
{
    QVERIFY(startSession({ source(u"BGRx"_s, Qt::red) }));
    QTRY_COMPARE(m_availabilityChanges, 1);
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);

    m_capturer->onPermissionRevoked();
    QTRY_COMPARE(m_availabilityChanges, 2);
    QVERIFY(!m_capturer->isAvailable());
    QVERIFY(m_capturer->captureScreens().isEmpty());
    QVERIFY(!Storage::Preferences::instance().contains(tokenKey));
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
}

void TestScreenCastFrames::wakeWithTokenReconnectsQuietly()
{
    m_portal.configure(u"Start"_s,
                       { { u"results"_s, QJsonObject{ { u"restore_token"_s, u"abc"_s } } } });
    QVERIFY(startSession({ source(u"BGRx"_s, Qt::red) }));
    QTRY_COMPARE(m_availabilityChanges, 1);
    QCOMPARE(Storage::Preferences::instance().value(tokenKey).toString(), u"abc"_s);

    m_capturer->onSystemResumed();
    QVERIFY(!m_capturer->isAvailable());
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_capturer->isAvailable(), 15000);
    QCOMPARE(m_portal.calls(u"CreateSession"_s).size(), 2);
    QCOMPARE(restoreTokenSent(m_portal.calls(u"SelectSources"_s).at(1)), u"abc"_s);
    // Observers saw no drop, only the second arrival.
    QTRY_COMPARE(m_availabilityChanges, 2);
    QCOMPARE(m_capturer->captureScreens().size(), 1);
}

void TestScreenCastFrames::failedDmaBufImportWarnsOnceAndDropsTheFrame()
{
    auto *importer = new FailingImporter;
    WaylandScreenCapturer::Hooks hooks;
    hooks.makeImporter
            = [importer] { return std::unique_ptr<Platform::Wayland::IDmaBufImporter>(importer); };
    WaylandScreenCapturer capturer(hooks);
    Access::giveIdlePipeWireState(capturer);

    Platform::Wayland::StreamData stream;
    stream.capturer = &capturer;
    stream.width = 64;
    stream.height = 48;
    stream.sizeValid = true;
    stream.hasModifier = true;
    spa_chunk chunk{};
    chunk.stride = 256;
    spa_data data{};
    data.type = SPA_DATA_DmaBuf;
    data.fd = -1;
    data.chunk = &chunk;
    spa_buffer buffer{};
    buffer.n_datas = 1;
    buffer.datas = &data;

    Access::convertDmaBuf(capturer, stream, buffer);
    Access::convertDmaBuf(capturer, stream, buffer);
    QCOMPARE(importer->imports, 2);
    QCOMPARE(logged(u"[ERROR] [config] WaylandScreenCapturer: DMA-BUF frame import failed "
                    "(unsupported modifier / driver) — dropping frame"_s),
             1);
    QVERIFY(!stream.hasImage);
    QCOMPARE(Access::streamsWithFrame(capturer), 0);
    QVERIFY(!capturer.isAvailable());
}

void TestScreenCastFrames::daemonLossTearsDownAndRecovers()
{
    m_portal.configure(u"Start"_s,
                       { { u"results"_s, QJsonObject{ { u"restore_token"_s, u"abc"_s } } } });
    QVERIFY(startSession({ source(u"BGRx"_s, Qt::red) }));
    QTRY_COMPARE(m_availabilityChanges, 1);

    const qint64 daemon = qEnvironmentVariableIntValue("CLOCKWARDEN_PIPEWIRE_PID");
    QVERIFY(daemon > 0);
    ::kill(pid_t(daemon), SIGKILL);

    QTRY_COMPARE(logged(u"WaylandScreenCapturer: ScreenCast session lost — tearing down"_s), 1);
    QTRY_COMPARE(m_availabilityChanges, 2);
    QCOMPARE(logged(u"WaylandScreenCapturer: scheduling ScreenCast recovery in 2000 ms"_s), 1);
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QVERIFY(m_capturer->captureScreens().isEmpty());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestScreenCastFrames)

#include "tst_screencastframes.moc"
