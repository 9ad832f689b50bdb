#include <pipewire/stream.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>
#include <spa/pod/parser.h>

#include <QCoreApplication>
#include <QTest>

#include "TestEnvironment.h"
#include "platform/wayland/IDmaBufImporter.h"
#include "platform/wayland/PipeWireFormats.h"

using namespace Platform::Wayland;

namespace {

constexpr quint32 xrgb8888 = 0x34325258; // "XR24"
constexpr quint32 xbgr8888 = 0x34324258; // "XB24"

class ScriptedImporter final : public IDmaBufImporter
{
public:
    bool available = true;
    QHash<quint32, QList<quint64>> modifiers;

    bool isAvailable() override { return available; }
    QList<quint64> supportedModifiers(quint32 fourcc) override { return modifiers.value(fourcc); }
    QImage importToImage(quint32, quint64, int, int, int, const PlaneInts &, const PlaneOffsets &,
                         const PlaneStrides &) override
    {
        return {};
    }
};

struct ParsedChoice
{
    uint32_t type = SPA_CHOICE_None;
    uint32_t flags = 0;
    QList<qint64> longs;
    QList<uint32_t> ids;
};

// The value of one property of a format object, with its choice values and property flags.
std::optional<ParsedChoice> formatProperty(const spa_pod *param, uint32_t key)
{
    const spa_pod_prop *prop = spa_pod_find_prop(param, nullptr, key);
    if (!prop)
        return std::nullopt;
    ParsedChoice parsed;
    parsed.flags = prop->flags;
    uint32_t count = 0;
    uint32_t choice = SPA_CHOICE_None;
    const spa_pod *values = spa_pod_get_values(&prop->value, &count, &choice);
    parsed.type = choice;
    const auto *bytes = static_cast<const uint8_t *>(SPA_POD_BODY_CONST(values));
    for (uint32_t i = 0; i < count; ++i) {
        if (values->type == SPA_TYPE_Long)
            parsed.longs.append(reinterpret_cast<const int64_t *>(bytes)[i]);
        else if (values->type == SPA_TYPE_Id)
            parsed.ids.append(reinterpret_cast<const uint32_t *>(bytes)[i]);
    }
    return parsed;
}

} // namespace

class TestPipeWireFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mapsFormatsToFourccAndSwap_data();
    void mapsFormatsToFourccAndSwap();
    void offersAtMost64ModifiersThenInvalid();
    void offersDmaBufFormatsInOrderBeforeSharedMemory();
    void offersSharedMemoryOnlyWithoutImporter();
    void answersBuffersByMemoryKind();
    void convertsOnlyWhenWorthIt_data();
    void convertsOnlyWhenWorthIt();
    void endsSessionOnlyOnRealLoss_data();
    void endsSessionOnlyOnRealLoss();
    void checksSharedMemoryExtent_data();
    void checksSharedMemoryExtent();
    void copiesSharedMemoryFrames_data();
    void copiesSharedMemoryFrames();
};

void TestPipeWireFormats::mapsFormatsToFourccAndSwap_data()
{
    QTest::addColumn<uint>("format");
    QTest::addColumn<QByteArray>("fourcc");
    QTest::addColumn<bool>("swap");
    QTest::newRow("BGRx") << uint(SPA_VIDEO_FORMAT_BGRx) << QByteArray("XR24") << false;
    QTest::newRow("BGRA") << uint(SPA_VIDEO_FORMAT_BGRA) << QByteArray("AR24") << false;
    QTest::newRow("RGBx") << uint(SPA_VIDEO_FORMAT_RGBx) << QByteArray("XB24") << true;
    QTest::newRow("RGBA") << uint(SPA_VIDEO_FORMAT_RGBA) << QByteArray("AB24") << true;
    QTest::newRow("other") << uint(SPA_VIDEO_FORMAT_I420) << QByteArray(4, '\0') << false;
}

void TestPipeWireFormats::mapsFormatsToFourccAndSwap()
{
    QFETCH(uint, format);
    QFETCH(QByteArray, fourcc);
    QFETCH(bool, swap);
    const quint32 code = drmFourccForSpaFormat(format);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&code), 4), fourcc);
    QCOMPARE(swapsRedBlue(format), swap);
}

void TestPipeWireFormats::offersAtMost64ModifiersThenInvalid()
{
    ScriptedImporter importer;
    QList<quint64> hundred;
    for (quint64 m = 1; m <= 100; ++m)
        hundred.append(m * 0x10);
    importer.modifiers.insert(xrgb8888, hundred);

    const QList<DmaBufFormat> offers = offeredDmaBufFormats(importer);
    QCOMPARE(offers.size(), 1);
    QCOMPARE(offers.first().modifiers, hundred.first(64));

    uint8_t buffer[formatParamsBufferSize];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const QList<const spa_pod *> params = buildFormatParams(builder, offers);
    QCOMPARE(params.size(), 2);

    const auto modifier = formatProperty(params.first(), SPA_FORMAT_VIDEO_modifier);
    QVERIFY(modifier);
    QCOMPARE(modifier->type, uint32_t(SPA_CHOICE_Enum));
    QCOMPARE(modifier->flags,
             uint32_t(SPA_POD_PROP_FLAG_MANDATORY | SPA_POD_PROP_FLAG_DONT_FIXATE));
    // The default, then the 64 alternatives, then "no explicit modifier".
    QList<qint64> expected{ 0x10 };
    for (quint64 m : hundred.first(64))
        expected.append(qint64(m));
    expected.append(qint64(drmFormatModInvalid));
    QCOMPARE(modifier->longs, expected);

    QVERIFY(spa_pod_is_object_type(params.first(), SPA_TYPE_OBJECT_Format));
    QCOMPARE(formatProperty(params.first(), SPA_FORMAT_VIDEO_format)->ids,
             QList<uint32_t>{ SPA_VIDEO_FORMAT_BGRx });
}

void TestPipeWireFormats::offersDmaBufFormatsInOrderBeforeSharedMemory()
{
    ScriptedImporter importer;
    importer.modifiers.insert(xbgr8888, { 7 });
    importer.modifiers.insert(xrgb8888, { 5, 6 });

    uint8_t buffer[formatParamsBufferSize];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const QList<const spa_pod *> params
            = buildFormatParams(builder, offeredDmaBufFormats(importer));
    QCOMPARE(params.size(), 3);
    QCOMPARE(formatProperty(params.at(0), SPA_FORMAT_VIDEO_format)->ids,
             QList<uint32_t>{ SPA_VIDEO_FORMAT_BGRx });
    QCOMPARE(formatProperty(params.at(0), SPA_FORMAT_VIDEO_modifier)->longs,
             (QList<qint64>{ 5, 5, 6, qint64(drmFormatModInvalid) }));
    QCOMPARE(formatProperty(params.at(1), SPA_FORMAT_VIDEO_format)->ids,
             QList<uint32_t>{ SPA_VIDEO_FORMAT_RGBx });
    QVERIFY(!formatProperty(params.at(2), SPA_FORMAT_VIDEO_modifier));
}

void TestPipeWireFormats::offersSharedMemoryOnlyWithoutImporter()
{
    ScriptedImporter importer;
    importer.available = false;
    importer.modifiers.insert(xrgb8888, { 5 });
    QVERIFY(offeredDmaBufFormats(importer).isEmpty());

    uint8_t buffer[formatParamsBufferSize];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const QList<const spa_pod *> params = buildFormatParams(builder, {});
    QCOMPARE(params.size(), 1);
    const auto format = formatProperty(params.first(), SPA_FORMAT_VIDEO_format);
    QCOMPARE(format->type, uint32_t(SPA_CHOICE_Enum));
    QCOMPARE(format->ids,
             (QList<uint32_t>{ SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA }));

    const spa_pod_prop *size = spa_pod_find_prop(params.first(), nullptr, SPA_FORMAT_VIDEO_size);
    QVERIFY(size);
    uint32_t count = 0;
    uint32_t choice = 0;
    const spa_pod *values = spa_pod_get_values(&size->value, &count, &choice);
    QCOMPARE(choice, uint32_t(SPA_CHOICE_Range));
    QCOMPARE(count, 3u);
    const auto *rects = static_cast<const spa_rectangle *>(SPA_POD_BODY_CONST(values));
    QCOMPARE(rects[0].width, 1920u);
    QCOMPARE(rects[2].height, 8192u);

    const spa_pod_prop *rate
            = spa_pod_find_prop(params.first(), nullptr, SPA_FORMAT_VIDEO_framerate);
    values = spa_pod_get_values(&rate->value, &count, &choice);
    const auto *fractions = static_cast<const spa_fraction *>(SPA_POD_BODY_CONST(values));
    QCOMPARE(choice, uint32_t(SPA_CHOICE_Range));
    QCOMPARE(fractions[0].num, 2u);
    QCOMPARE(fractions[1].num, 0u);
    QCOMPARE(fractions[2].num, 2u);
}

void TestPipeWireFormats::answersBuffersByMemoryKind()
{
    for (const bool hasModifier : { true, false }) {
        uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod *param = buildBuffersParam(builder, hasModifier);
        int32_t dataType = 0;
        QCOMPARE(spa_pod_parse_object(param, SPA_TYPE_OBJECT_ParamBuffers, nullptr,
                                      SPA_PARAM_BUFFERS_dataType, SPA_POD_Int(&dataType)),
                 1);
        QCOMPARE(dataType, hasModifier ? 8 : 6);
    }
}

void TestPipeWireFormats::convertsOnlyWhenWorthIt_data()
{
    QTest::addColumn<bool>("capturing");
    QTest::addColumn<bool>("hasImage");
    QTest::addColumn<qint64>("ageMs");
    QTest::addColumn<bool>("converts");
    QTest::newRow("fresh image, idle") << false << true << qint64(100) << false;
    QTest::newRow("4999 ms old") << false << true << qint64(4999) << false;
    QTest::newRow("5000 ms old") << false << true << qint64(5000) << true;
    QTest::newRow("capture waiting") << true << true << qint64(10) << true;
    QTest::newRow("first image") << false << false << qint64(0) << true;
}

void TestPipeWireFormats::convertsOnlyWhenWorthIt()
{
    QFETCH(bool, capturing);
    QFETCH(bool, hasImage);
    QFETCH(qint64, ageMs);
    QFETCH(bool, converts);
    const qint64 last = 1'000'000;
    QCOMPARE(shouldConvertFrame(capturing, hasImage, last + ageMs, last), converts);
}

void TestPipeWireFormats::endsSessionOnlyOnRealLoss_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("ends");
    QTest::newRow("connecting to unconnected")
            << int(PW_STREAM_STATE_CONNECTING) << int(PW_STREAM_STATE_UNCONNECTED) << false;
    QTest::newRow("streaming to unconnected")
            << int(PW_STREAM_STATE_STREAMING) << int(PW_STREAM_STATE_UNCONNECTED) << true;
    QTest::newRow("paused to unconnected")
            << int(PW_STREAM_STATE_PAUSED) << int(PW_STREAM_STATE_UNCONNECTED) << true;
    QTest::newRow("connecting to error")
            << int(PW_STREAM_STATE_CONNECTING) << int(PW_STREAM_STATE_ERROR) << true;
    QTest::newRow("streaming to paused")
            << int(PW_STREAM_STATE_STREAMING) << int(PW_STREAM_STATE_PAUSED) << false;
    QTest::newRow("paused to streaming")
            << int(PW_STREAM_STATE_PAUSED) << int(PW_STREAM_STATE_STREAMING) << false;
}

void TestPipeWireFormats::endsSessionOnlyOnRealLoss()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, ends);
    QCOMPARE(endsSession(from, to), ends);
}

void TestPipeWireFormats::checksSharedMemoryExtent_data()
{
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<qint64>("stride");
    QTest::addColumn<quint64>("maxSize");
    QTest::addColumn<bool>("fits");
    // 10 x 3 pixels: rows of 40 bytes.
    QTest::newRow("exact") << quint64(0) << qint64(40) << quint64(120) << true;
    QTest::newRow("one byte short") << quint64(0) << qint64(40) << quint64(119) << false;
    QTest::newRow("padded, last row unpadded") << quint64(0) << qint64(48) << quint64(136) << true;
    QTest::newRow("padded, short") << quint64(0) << qint64(48) << quint64(135) << false;
    QTest::newRow("offset pushes past") << quint64(8) << qint64(40) << quint64(120) << false;
    QTest::newRow("offset inside") << quint64(8) << qint64(40) << quint64(128) << true;
    QTest::newRow("huge stride") << quint64(0) << qint64(1) << quint64(1) << false;
}

void TestPipeWireFormats::checksSharedMemoryExtent()
{
    QFETCH(quint64, offset);
    QFETCH(qint64, stride);
    QFETCH(quint64, maxSize);
    QFETCH(bool, fits);
    QCOMPARE(shmFrameFits(offset, stride, 10, 3, maxSize), fits);
}

void TestPipeWireFormats::copiesSharedMemoryFrames_data()
{
    QTest::addColumn<bool>("swap");
    QTest::addColumn<int>("padding");
    QTest::newRow("BGRx") << false << 0;
    QTest::newRow("RGBx") << true << 0;
    QTest::newRow("BGRx, padded rows") << false << 12;
    QTest::newRow("RGBx, padded rows") << true << 12;
}

void TestPipeWireFormats::copiesSharedMemoryFrames()
{
    QFETCH(bool, swap);
    QFETCH(int, padding);
    const int width = 3;
    const int height = 2;
    const int stride = width * 4 + padding;
    // Orange as the source stores it: B, G, R, x for BGRx; R, G, B, x for RGBx.
    QByteArray pixels(stride * height, '\x5a');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            char *p = pixels.data() + y * stride + x * 4;
            p[0] = char(swap ? 0xff : 0x20);
            p[1] = char(0x80);
            p[2] = char(swap ? 0x20 : 0xff);
            p[3] = 0;
        }
    }

    const QImage image = copyShmFrame(reinterpret_cast<const uchar *>(pixels.constData()), stride,
                                      width, height, swap);
    pixels.fill('\0'); // the copy must not point into the buffer
    QCOMPARE(image.size(), QSize(width, height));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            QCOMPARE(image.pixel(x, y), qRgb(0xff, 0x80, 0x20));
    }
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPipeWireFormats)

#include "tst_pipewireformats.moc"
