#include "models/HeartbeatPayload.h"
#include "models/Session.h"
#include "storage/ApiTimezone.h"
#include "storage/CredentialFallbackFile.h"
#include "storage/Preferences.h"
#include "storage/SegmentKey.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// The segment clock asks for the key of the current moment every second.
void segmentKeyAt(benchmark::State &state)
{
    const QTimeZone zone("America/Santiago");
    QDateTime moment = QDateTime::currentDateTimeUtc();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Services::segmentKeyAt(moment, zone));
        moment = moment.addSecs(1);
    }
}
BENCHMARK(segmentKeyAt);

// Every body and segment key starts by reading the stored zone through the preferences store.
void companyZone(benchmark::State &state)
{
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::apiTimezoneIdentifier,
                                              u"Asia/Bangkok"_s);
    for (auto _ : state)
        benchmark::DoNotOptimize(Services::ApiTimezone::zone());
}
BENCHMARK(companyZone);

// The live heartbeat is built on the GUI thread after each capture.
void heartbeatBody(benchmark::State &state)
{
    const QDateTime start = QDateTime::currentDateTimeUtc();
    QList<Models::Interval> intervals;
    for (int i = 0; i < state.range(0); ++i)
        intervals.append(Models::Interval(QUuid::createUuid(), start.addSecs(i * 120),
                                          start.addSecs(i * 120 + 60)));
    const Models::Session session(QUuid::createUuid(), u"DEVICE"_s, u"p1"_s, u"Project"_s,
                                  intervals, 10, 20, 50.0, Models::SessionStatus::active,
                                  std::nullopt, std::nullopt);
    for (auto _ : state)
        benchmark::DoNotOptimize(Models::buildHeartbeatPayload(session, u"active"_s));
}
BENCHMARK(heartbeatBody)->Arg(1)->Arg(50);

// A token save without a secret service: read, rewrite to a synced temporary file, rename.
void fallbackFileStore(benchmark::State &state)
{
    const QByteArray secret(600, 'x');
    const QString key = Platform::CredentialFallbackFile::entryKey(u"s"_s, u"a"_s, u"k"_s);
    for (auto _ : state)
        benchmark::DoNotOptimize(Platform::CredentialFallbackFile::store(key, secret));
}
BENCHMARK(fallbackFileStore)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // Keep the preferences and the fallback file away from the user's own.
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + u"/config"_s));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + u"/data"_s));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
