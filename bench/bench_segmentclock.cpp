// The segment clock's once-a-second tick against a database file: a counted second on its own,
// and the 60th, which writes the open segment's figures.

#include "services/tracking/SegmentClockService.h"
#include "storage/SQLiteStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// 09:00 in Bangkok: a segment that stays open for every tick below.
const QDateTime segmentStart(QDate(2025, 3, 4), QTime(2, 0), Qt::UTC);

struct Fixture
{
    Fixture()
    {
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        store = std::make_unique<Storage::SQLiteStore>();
        clock = std::make_unique<Services::SegmentClockService>(store.get());
        clock->setTimeZone(QTimeZone("Asia/Bangkok"));
        clock->setActivitySampler([](const QDateTime &) {
            return Services::ActivitySample{ true, true, 12, 4 };
        });
        clock->setTickObserver([](bool active) { benchmark::DoNotOptimize(active); });
        // Opens the segment and starts the count of 60 afresh.
        clock->tick(segmentStart);
        clock->flushCurrentSegment();
    }

    QTemporaryDir dir;
    std::unique_ptr<Storage::SQLiteStore> store;
    std::unique_ptr<Services::SegmentClockService> clock;
};

// Seconds 1 to 59 after a flush are timed; the 60th runs untimed.
void countedTick(benchmark::State &state)
{
    Fixture fixture;
    int second = 0;
    for (auto _ : state) {
        for (int i = 0; i < 59; ++i)
            fixture.clock->tick(segmentStart.addSecs(1 + (second++ % 500)));
        state.PauseTiming();
        fixture.clock->tick(segmentStart.addSecs(1 + (second++ % 500)));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 59);
}

// Only the 60th second after a flush is timed: the tick with its upsert.
void sixtiethTick(benchmark::State &state)
{
    Fixture fixture;
    int second = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 59; ++i)
            fixture.clock->tick(segmentStart.addSecs(1 + (second++ % 500)));
        state.ResumeTiming();
        fixture.clock->tick(segmentStart.addSecs(1 + (second++ % 500)));
    }
}

} // namespace

BENCHMARK(countedTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(sixtiethTick)->Unit(benchmark::kMicrosecond);
