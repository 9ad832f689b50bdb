#include "models/Session.h"

#include <benchmark/benchmark.h>

namespace {

Models::Session sessionWithIntervals(int count)
{
    const QDateTime start = QDateTime::currentDateTimeUtc();
    QList<Models::Interval> intervals;
    intervals.reserve(count);
    for (int i = 0; i < count; ++i)
        intervals.append(Models::Interval(QUuid::createUuid(), start.addSecs(i * 120),
                                          start.addSecs(i * 120 + 60)));
    return Models::Session(QUuid::createUuid(), QStringLiteral("DEVICE"), QStringLiteral("p1"),
                           QStringLiteral("Project"), intervals, 10, 20, 50.0,
                           Models::SessionStatus::active, std::nullopt, std::nullopt);
}

void sessionToJson(benchmark::State &state)
{
    const Models::Session session = sessionWithIntervals(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(session.toJson());
}
BENCHMARK(sessionToJson)->Arg(500);

void sessionFromJson(benchmark::State &state)
{
    const QJsonObject json = sessionWithIntervals(int(state.range(0))).toJson();
    for (auto _ : state)
        benchmark::DoNotOptimize(Models::Session::fromJson(json));
}
BENCHMARK(sessionFromJson)->Arg(500);

} // namespace

BENCHMARK_MAIN();
