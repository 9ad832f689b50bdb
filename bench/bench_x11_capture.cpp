#include "platform/x11/X11ScreenCapturer.h"

#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

// The X11 screen grab with JPEG writing against scrot, side by side on one private Xvfb per size:
// 2560x800 as two 1280x800 monitors and 3840x1080 as two 1920x1080 monitors, painted with a busy
// picture so that the encoder does real work. Wall time; files go to a temporary folder.

namespace {

// One Xvfb of the given size, started on first use and ended at exit; its painter connection
// stays open so that the server keeps the picture.
class Display final
{
public:
    Display(int width, int height)
    {
        m_server.start(QStringLiteral("Xvfb"), { QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                 QStringLiteral("-screen"), QStringLiteral("0"),
                                                 QStringLiteral("%1x%2x24").arg(width).arg(height),
                                                 QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                                 QStringLiteral("-noreset") });
        if (!m_server.waitForReadyRead(10000))
            std::abort();
        m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
        qputenv("DISPLAY", m_name.toLatin1());
        const int half = width / 2;
        QProcess::execute(QStringLiteral("xrandr"),
                          { QStringLiteral("--setmonitor"), QStringLiteral("M1"),
                            QStringLiteral("%1/338x%2/211+0+0").arg(half).arg(height),
                            QStringLiteral("screen") });
        QProcess::execute(QStringLiteral("xrandr"),
                          { QStringLiteral("--setmonitor"), QStringLiteral("M2"),
                            QStringLiteral("%1/338x%2/211+%1+0").arg(half).arg(height),
                            QStringLiteral("none") });
        paint(width, height);
    }
    ~Display()
    {
        xcb_disconnect(m_painter);
        m_server.kill();
        m_server.waitForFinished();
    }

    void select() const { qputenv("DISPLAY", m_name.toLatin1()); }

private:
    // Gradients with noise, put on the root window in bands that fit one request.
    void paint(int width, int height)
    {
        m_painter = xcb_connect(nullptr, nullptr);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_painter)).data;
        const xcb_gcontext_t gc = xcb_generate_id(m_painter);
        xcb_create_gc(m_painter, gc, screen->root, 0, nullptr);
        QRandomGenerator noise(42);
        constexpr int band = 16;
        QList<quint32> pixels(qsizetype(width) * band);
        for (int top = 0; top < height; top += band) {
            const int rows = qMin(band, height - top);
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < width; ++x) {
                    const quint32 n = noise.bounded(64);
                    const quint32 r = (x * 255 / width + n) & 0xff;
                    const quint32 g = ((top + y) * 255 / height + n) & 0xff;
                    const quint32 b = ((x + top + y) % 256 + n) & 0xff;
                    pixels[qsizetype(y) * width + x] = (r << 16) | (g << 8) | b;
                }
            }
            xcb_put_image(m_painter, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, gc, width, rows, 0,
                          top, 0, 24, width * rows * 4,
                          reinterpret_cast<const uint8_t *>(pixels.constData()));
        }
        xcb_free_gc(m_painter, gc);
        free(xcb_get_input_focus_reply(m_painter, xcb_get_input_focus(m_painter), nullptr));
    }

    QProcess m_server;
    QString m_name;
    xcb_connection_t *m_painter = nullptr;
};

Display &display(int width, int height)
{
    static QMap<int, std::shared_ptr<Display>> displays;
    auto &entry = displays[width];
    if (!entry)
        entry = std::make_shared<Display>(width, height);
    entry->select();
    return *entry;
}

QTemporaryDir &outputFolder()
{
    static QTemporaryDir folder;
    return folder;
}

void captureAndWriteJpeg(benchmark::State &state)
{
    display(int(state.range(0)), int(state.range(1)));
    const int quality = int(state.range(2));
    Platform::X11::X11ScreenCapturer capturer;
    for (auto _ : state) {
        const QList<QImage> images = capturer.captureScreens();
        if (images.isEmpty())
            state.SkipWithError("nothing captured");
        for (qsizetype i = 0; i < images.size(); ++i) {
            const QString file = outputFolder().filePath(QStringLiteral("capture-%1.jpg").arg(i));
            if (!images.at(i).save(file, "JPEG", quality))
                state.SkipWithError("JPEG not written");
        }
    }
}
BENCHMARK(captureAndWriteJpeg)
        ->Args({ 2560, 800, 80 })
        ->Args({ 3840, 1080, 80 })
        ->Args({ 2560, 800, 60 })
        ->Args({ 3840, 1080, 60 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

void captureOnly(benchmark::State &state)
{
    display(int(state.range(0)), int(state.range(1)));
    Platform::X11::X11ScreenCapturer capturer;
    for (auto _ : state)
        benchmark::DoNotOptimize(capturer.captureScreens());
}
BENCHMARK(captureOnly)
        ->Args({ 2560, 800 })
        ->Args({ 3840, 1080 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

void jpegOnly(benchmark::State &state)
{
    display(int(state.range(0)), int(state.range(1)));
    Platform::X11::X11ScreenCapturer capturer;
    const QList<QImage> images = capturer.captureScreens();
    for (auto _ : state)
        images.first().save(outputFolder().filePath(QStringLiteral("x.jpg")), "JPEG", 80);
}
BENCHMARK(jpegOnly)
        ->Args({ 2560, 800 })
        ->Args({ 3840, 1080 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

void scrot(benchmark::State &state)
{
    display(int(state.range(0)), int(state.range(1)));
    const QString file = outputFolder().filePath(QStringLiteral("scrot.jpg"));
    for (auto _ : state) {
        if (QProcess::execute(QStringLiteral("scrot"), { QStringLiteral("-o"), QStringLiteral("-q"),
                                                         QString::number(state.range(2)), file })
            != 0)
            state.SkipWithError("scrot failed");
    }
}
BENCHMARK(scrot)
        ->Args({ 2560, 800, 80 })
        ->Args({ 3840, 1080, 80 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

} // namespace
