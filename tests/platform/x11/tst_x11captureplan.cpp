#include "MessageCapture.h"
#include "TestEnvironment.h"
#include "platform/x11/X11CapturePlan.h"

#include <QMap>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Platform::X11;

namespace {

using OutputTable = QMap<std::uint32_t, std::optional<RandrOutputState>>;
using CrtcTable = QMap<std::uint32_t, std::optional<QRect>>;

const PixelFormat depth24{ 24, 32, 32, 0xff0000, 0xff00, 0xff, true };
const PixelFormat depth16{ 16, 16, 32, 0xf800, 0x07e0, 0x1f, true };

QImage solidImage(const QSize &size, QRgb colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class TestX11CapturePlan : public QObject
{
    Q_OBJECT

private slots:
    void plansOneGrabPerUsableOutput_data();
    void plansOneGrabPerUsableOutput();
    void convertsKnownPixelLayouts_data();
    void convertsKnownPixelLayouts();
    void refusesUnknownOrShortPixels_data();
    void refusesUnknownOrShortPixels();
    void warnsForEachFailedGrabAndForBlankResult();
    void keepsGrabOrderAndSkipsFailuresWithoutGap();
};

void TestX11CapturePlan::plansOneGrabPerUsableOutput_data()
{
    QTest::addColumn<QList<std::uint32_t>>("outputs");
    QTest::addColumn<OutputTable>("outputStates");
    QTest::addColumn<CrtcTable>("crtcs");
    QTest::addColumn<QList<QRect>>("expected");

    const QRect first(0, 0, 1920, 1080);
    const QRect second(1920, 0, 1920, 1080);
    QTest::newRow("second output at (1920,0)")
            << QList<std::uint32_t>{ 1, 2 }
            << OutputTable{ { 1, RandrOutputState{ true, 10 } },
                            { 2, RandrOutputState{ true, 20 } } }
            << CrtcTable{ { 10, first }, { 20, second } } << QList<QRect>{ first, second };
    QTest::newRow("only the right output connected")
            << QList<std::uint32_t>{ 1, 2 }
            << OutputTable{ { 1, RandrOutputState{ false, 10 } },
                            { 2, RandrOutputState{ true, 20 } } }
            << CrtcTable{ { 10, first }, { 20, second } } << QList<QRect>{ second };
    QTest::newRow("connected output without CRTC")
            << QList<std::uint32_t>{ 1, 2 }
            << OutputTable{ { 1, RandrOutputState{ true, 0 } },
                            { 2, RandrOutputState{ true, 20 } } }
            << CrtcTable{ { 20, second } } << QList<QRect>{ second };
    QTest::newRow("CRTC of zero width or height")
            << QList<std::uint32_t>{ 1, 2 }
            << OutputTable{ { 1, RandrOutputState{ true, 10 } },
                            { 2, RandrOutputState{ true, 20 } } }
            << CrtcTable{ { 10, QRect(0, 0, 0, 1080) }, { 20, QRect(0, 0, 1920, 0) } }
            << QList<QRect>{};
    QTest::newRow("mirrored outputs on one CRTC")
            << QList<std::uint32_t>{ 1, 2 }
            << OutputTable{ { 1, RandrOutputState{ true, 10 } },
                            { 2, RandrOutputState{ true, 10 } } }
            << CrtcTable{ { 10, first } } << QList<QRect>{ first, first };
    QTest::newRow("no answer for an output or its CRTC")
            << QList<std::uint32_t>{ 1, 2, 3 }
            << OutputTable{ { 1, std::nullopt },
                            { 2, RandrOutputState{ true, 20 } },
                            { 3, RandrOutputState{ true, 30 } } }
            << CrtcTable{ { 20, std::nullopt }, { 30, second } } << QList<QRect>{ second };
    QTest::newRow("order follows the outputs, not the positions")
            << QList<std::uint32_t>{ 2, 1 }
            << OutputTable{ { 1, RandrOutputState{ true, 10 } },
                            { 2, RandrOutputState{ true, 20 } } }
            << CrtcTable{ { 10, first }, { 20, second } } << QList<QRect>{ second, first };
    QTest::newRow("no outputs") << QList<std::uint32_t>{} << OutputTable{} << CrtcTable{}
                                << QList<QRect>{};
}

void TestX11CapturePlan::plansOneGrabPerUsableOutput()
{
    QFETCH(QList<std::uint32_t>, outputs);
    QFETCH(OutputTable, outputStates);
    QFETCH(CrtcTable, crtcs);
    QFETCH(QList<QRect>, expected);

    const QList<QRect> planned = planScreenGrabs(
            outputs, [&](std::uint32_t output) { return outputStates.value(output); },
            [&](std::uint32_t crtc) { return crtcs.value(crtc); });

    QCOMPARE(planned, expected);
}

void TestX11CapturePlan::convertsKnownPixelLayouts_data()
{
    QTest::addColumn<PixelFormat>("format");
    QTest::addColumn<QByteArray>("pixels");
    QTest::addColumn<QRgb>("firstPixel");
    QTest::addColumn<QRgb>("lastPixel");

    // 3x2 pixels; little-endian words.
    QByteArray bgrx;
    for (int i = 0; i < 6; ++i)
        bgrx += i == 5 ? "\x10\x60\xe0\x00"_ba : "\xe0\x80\x20\x00"_ba;
    QTest::newRow("depth 24, 32-bit pixels, rows unpadded")
            << depth24 << bgrx << qRgb(0x20, 0x80, 0xe0) << qRgb(0xe0, 0x60, 0x10);
    PixelFormat depth32 = depth24;
    depth32.depth = 32;
    QTest::newRow("depth 32") << depth32 << bgrx << qRgb(0x20, 0x80, 0xe0)
                              << qRgb(0xe0, 0x60, 0x10);
    // 5-6-5: pure red 0xf800 and pure blue 0x001f; rows of 6 bytes padded to 8.
    QByteArray rgb565;
    for (int row = 0; row < 2; ++row)
        rgb565 += row == 0 ? "\x00\xf8\x00\xf8\x00\xf8\x00\x00"_ba
                           : "\x00\xf8\x00\xf8\x1f\x00\x00\x00"_ba;
    QTest::newRow("depth 16, rows padded to 32 bits")
            << depth16 << rgb565 << qRgb(0xff, 0, 0) << qRgb(0, 0, 0xff);
}

void TestX11CapturePlan::convertsKnownPixelLayouts()
{
    QFETCH(PixelFormat, format);
    QFETCH(QByteArray, pixels);
    QFETCH(QRgb, firstPixel);
    QFETCH(QRgb, lastPixel);

    QImage image = imageFromPixels(reinterpret_cast<const uchar *>(pixels.constData()),
                                   pixels.size(), QSize(3, 2), format);
    // The image owns its pixels: the reply's buffer may go.
    pixels.fill('\xff');

    QCOMPARE(image.size(), QSize(3, 2));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(image.pixel(0, 0), firstPixel);
    QCOMPARE(image.pixel(2, 1), lastPixel);
}

void TestX11CapturePlan::refusesUnknownOrShortPixels_data()
{
    QTest::addColumn<PixelFormat>("format");
    QTest::addColumn<qsizetype>("length");

    // 3x2 pixels need 24 bytes at 32 bits, 16 at 16 bits with rows padded to 32 bits.
    QTest::newRow("one byte short") << depth24 << qsizetype(23);
    QTest::newRow("depth 16 one byte short") << depth16 << qsizetype(15);
    QTest::newRow("depth 16 sized as unpadded rows") << depth16 << qsizetype(12);
    PixelFormat bgr = depth24;
    std::swap(bgr.redMask, bgr.blueMask);
    QTest::newRow("blue in the high bits") << bgr << qsizetype(24);
    PixelFormat depth8{ 8, 8, 32, 0, 0, 0, true };
    QTest::newRow("depth 8") << depth8 << qsizetype(24);
    PixelFormat depth24in24 = depth24;
    depth24in24.bitsPerPixel = 24;
    QTest::newRow("depth 24 with 24-bit pixels") << depth24in24 << qsizetype(24);
    PixelFormat foreignOrder = depth24;
    foreignOrder.leastSignificantByteFirst = false;
    QTest::newRow("most significant byte first") << foreignOrder << qsizetype(24);
}

void TestX11CapturePlan::refusesUnknownOrShortPixels()
{
    QFETCH(PixelFormat, format);
    QFETCH(qsizetype, length);
    // Exactly as long as stated, so that ASan sees any read past it.
    const std::unique_ptr<uchar[]> pixels(new uchar[length]());

    QVERIFY(imageFromPixels(pixels.get(), length, QSize(3, 2), format).isNull());
}

void TestX11CapturePlan::warnsForEachFailedGrabAndForBlankResult()
{
    MessageCapture capture;
    GrabResult error;
    error.kind = GrabResult::Kind::Error;
    error.errorCode = 8;
    const QList<QRect> rectangles{ QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024) };

    const QList<QImage> images
            = takeScreenGrabs(rectangles, 2, [&](const QRect &) { return error; });

    QVERIFY(images.isEmpty());
    QCOMPARE(capture.messages(QtWarningMsg),
             (QStringList{
                     u"X11ScreenCapturer: GetImage failed for 1920x1080 at (0,0): xcb error 8"_s,
                     u"X11ScreenCapturer: GetImage failed for 1280x1024 at (1920,0): xcb error 8"_s,
                     u"X11ScreenCapturer: captured 0 displays despite 2 RandR output(s) — "
                     "screenshots will be blank (see prior GetImage warnings)"_s }));
}

void TestX11CapturePlan::keepsGrabOrderAndSkipsFailuresWithoutGap()
{
    MessageCapture capture;
    const QList<QRect> rectangles{ QRect(0, 0, 4, 4), QRect(4, 0, 4, 4), QRect(8, 0, 2, 2) };
    const auto grab = [](const QRect &rectangle) {
        GrabResult result;
        if (rectangle.x() == 4) {
            result.kind = GrabResult::Kind::NoReply;
        } else {
            result.kind = GrabResult::Kind::Image;
            result.image = solidImage(rectangle.size(), qRgb(rectangle.x(), 0, 0));
        }
        return result;
    };

    const QList<QImage> images = takeScreenGrabs(rectangles, 3, grab);

    QCOMPARE(images.size(), 2);
    QCOMPARE(images.at(0).pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(images.at(1).pixel(0, 0), qRgb(8, 0, 0));
    QCOMPARE(capture.messages(QtWarningMsg),
             QStringList{ u"X11ScreenCapturer: GetImage returned no reply for 4x4 at (4,0)"_s });
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestX11CapturePlan)

#include "tst_x11captureplan.moc"
