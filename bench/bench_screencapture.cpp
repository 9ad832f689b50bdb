// One capture of a 3840x2160 and a 2560x1440 screen into a folder that already holds 500 files,
// as the GUI thread runs it once per interval: the whole capture, and its three parts (scaling,
// JPEG encoding with the write, pruning).

#include "core/ClockTestHooks.h"
#include "platform/IScreenCapturer.h"
#include "services/tracking/ScreenCaptureService.h"
#include "storage/Paths.h"
#include "storage/SQLiteStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace Qt::StringLiterals;
using Services::ScreenCaptureService;

namespace {

const QUuid sessionId(u"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"_s);

// Busy enough that the encoder has work to do: soft gradients under a fine, irregular pattern,
// somewhere between a plain desktop and a page of text.
QImage screen(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int detail = ((x * 7 + y * 13) ^ (x >> 3) ^ (y >> 2)) & 0x3f;
            line[x] = qRgb((x * 255 / width + detail) & 0xff, (y * 255 / height) & 0xff,
                           (detail * 3) & 0xff);
        }
    }
    return image;
}

class BenchCapturer final : public Platform::IScreenCapturer
{
public:
    QList<QImage> captureScreens() override { return images; }
    bool isAvailable() override { return true; }
    void requestAccess() override { }

    QList<QImage> images{ screen(3840, 2160), screen(2560, 1440) };
};

struct Fixture
{
    Fixture()
    {
        for (const char *name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME" })
            qputenv(name, dir.path().toLocal8Bit());
        folder = Platform::Paths::capturesDirFor(u"acme.example.com"_s);
        for (int i = 0; i < 500; ++i) {
            QFile file(folder + u"/old-%1.jpg"_s.arg(i));
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray(200 * 1024, 'x'));
        }
    }

    QTemporaryDir dir;
    QString folder;
    BenchCapturer capturer;
};

std::unique_ptr<Fixture> fixture;

void captureNow(benchmark::State &state)
{
    Storage::SQLiteStore::instance()->setDomainKey(u"acme.example.com"_s);
    ScreenCaptureService service(&fixture->capturer);
    service.start(sessionId, 5, u"acme.example.com"_s);
    for (auto _ : state) {
        // A new second per capture, so every capture writes two new files and prunes two.
        Core::ClockTestHooks::advance(1000);
        service.captureNow();
    }
}

void scaling(benchmark::State &state)
{
    for (auto _ : state) {
        for (const QImage &image : std::as_const(fixture->capturer.images))
            benchmark::DoNotOptimize(ScreenCaptureService::scaledForCapture(image));
    }
}

void encodingAndWriting(benchmark::State &state)
{
    QList<QImage> scaled;
    for (const QImage &image : std::as_const(fixture->capturer.images))
        scaled.append(ScreenCaptureService::scaledForCapture(image));
    for (auto _ : state) {
        for (qsizetype i = 0; i < scaled.size(); ++i)
            ScreenCaptureService::writeJpeg(scaled.at(i),
                                            fixture->folder + u"/encoded-%1.jpg"_s.arg(i));
    }
    state.counters["bytes"] = double(QFile(fixture->folder + u"/encoded-0.jpg"_s).size()
                                     + QFile(fixture->folder + u"/encoded-1.jpg"_s).size());
    QFile::remove(fixture->folder + u"/encoded-0.jpg"_s);
    QFile::remove(fixture->folder + u"/encoded-1.jpg"_s);
}

// The folder holds 502 files each time: two are pruned.
void pruning(benchmark::State &state)
{
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 2; ++i) {
            QFile file(fixture->folder + u"/new-%1-%2.jpg"_s.arg(round).arg(i));
            file.open(QIODevice::WriteOnly);
            file.write("x");
        }
        ++round;
        state.ResumeTiming();
        ScreenCaptureService::pruneDirectory(fixture->folder, 500);
    }
}

} // namespace

BENCHMARK(captureNow)->Unit(benchmark::kMillisecond);
BENCHMARK(scaling)->Unit(benchmark::kMillisecond);
BENCHMARK(encodingAndWriting)->Unit(benchmark::kMillisecond);
BENCHMARK(pruning)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    fixture = std::make_unique<Fixture>();
    Core::ClockTestHooks::set(QDateTime(QDate(2025, 1, 31), QTime(2, 5), Qt::UTC));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture.reset();
    return 0;
}
