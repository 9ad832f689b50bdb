#include <QCoreApplication>

#include <benchmark/benchmark.h>

// Entry point for benchmarks whose code needs a Qt event loop object but no setup of its own.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
