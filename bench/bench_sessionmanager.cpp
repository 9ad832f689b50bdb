// The session engine's once-a-second work on a database file: its tick together with the segment
// clock's, in a steady second and in the 60th (which writes the heartbeat marker and the open
// segment's figures); the same with a server total stored; and the sum of today's completed
// sessions over 5,000 history rows.

#include "FakePlatformIntegration.h"
#include "RecordingUploads.h"

#include "core/ClockTestHooks.h"
#include "core/SessionManager.h"
#include "services/tracking/SegmentClockService.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"

#include <QMetaMethod>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// 10:00 in Bangkok, far from midnight and from a segment boundary for every tick below.
const QDateTime sessionStart(QDate(2025, 3, 4), QTime(3, 0), Qt::UTC);

Models::RemoteConfig companyConfig()
{
    Models::RemoteConfig config;
    config.projects = { { QStringLiteral("p1"), QStringLiteral("Design") } };
    config.idleMinutesThreshold = 5;
    config.screenshotIntervalMinutes = 5;
    config.appTimezone = QStringLiteral("Asia/Bangkok");
    return config;
}

struct Fixture
{
    explicit Fixture(bool serverTotal)
    {
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
        Core::ClockTestHooks::set(sessionStart);
        store = std::make_unique<Storage::SQLiteStore>();
        engine = std::make_unique<Core::SessionManager>(Core::SessionManager::TestInstance());
        engine->initialize(store.get(), &platform);
        engine->applyRemoteConfig(companyConfig());
        engine->startTracking({ QStringLiteral("p1"), QStringLiteral("Design") });
        if (serverTotal)
            engine->applyServerTodayTotal({ 7200, QStringLiteral("2025-03-04") });
        clock = engine->findChild<Services::SegmentClockService *>();
        const int index = engine->metaObject()->indexOfMethod("onTick()");
        onTick = engine->metaObject()->method(index);
    }

    ~Fixture() { Core::ClockTestHooks::reset(); }

    // One tracked second: the engine's tick, then the segment clock's.
    void second()
    {
        Core::ClockTestHooks::advance(1000);
        onTick.invoke(engine.get(), Qt::DirectConnection);
        clock->tick(sessionStart.addSecs(++seconds % 500));
    }

    QTemporaryDir dir;
    TestSupport::FakePlatformIntegration platform;
    TestSupport::RecordingUploads uploads;
    std::unique_ptr<Storage::SQLiteStore> store;
    std::unique_ptr<Core::SessionManager> engine;
    Services::SegmentClockService *clock = nullptr;
    QMetaMethod onTick;
    int seconds = 0;
};

// Seconds 1 to 59 of each minute are timed; the 60th runs untimed.
void steadySecond(benchmark::State &state, bool serverTotal)
{
    Fixture fixture(serverTotal);
    for (auto _ : state) {
        for (int i = 0; i < 59; ++i)
            fixture.second();
        state.PauseTiming();
        fixture.second();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 59);
}

// Only the 60th second of each minute is timed.
void sixtiethSecond(benchmark::State &state, bool serverTotal)
{
    Fixture fixture(serverTotal);
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 59; ++i)
            fixture.second();
        state.ResumeTiming();
        fixture.second();
    }
    state.SetItemsProcessed(state.iterations());
}

// Applying a configuration sums today's completed sessions; 5,000 history rows of today.
void configurationOverHistory(benchmark::State &state)
{
    Fixture fixture(false);
    fixture.engine->stopTracking();
    for (int i = 0; i < 5000; ++i) {
        const QDateTime start = sessionStart.addSecs(-3 * 3600 + i);
        Models::Session session(QUuid::createUuid(), QStringLiteral("DEVICE"), QStringLiteral("p1"),
                                QStringLiteral("Design"),
                                { Models::Interval(QUuid::createUuid(), start, start.addSecs(1)) },
                                0, 0, 0.0, Models::SessionStatus::completed, std::nullopt, 1);
        fixture.store->appendSessionHistory(session);
    }
    const auto config = companyConfig();
    for (auto _ : state)
        fixture.engine->applyRemoteConfig(config);
    if (fixture.engine->todayTotalSeconds() < 5000)
        state.SkipWithError("history rows not counted");
}

} // namespace

BENCHMARK_CAPTURE(steadySecond, local, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(sixtiethSecond, local, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(steadySecond, serverTotal, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(sixtiethSecond, serverTotal, true)->Unit(benchmark::kMicrosecond);
BENCHMARK(configurationOverHistory)->Unit(benchmark::kMicrosecond);
