// The demo history: 400 days of the simulated meter through the meter protocol, tick and
// roll-up, and both files written.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "tools/hoq-sim/demo_history.h"

namespace {

void BM_DemoHistory400Days(benchmark::State& state) {
    tev::sim::DemoResult result;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        tev::sim::DemoOptions options;
        options.folder = dir.path().toStdString();
        options.days = static_cast<int>(state.range(0));
        options.end = tev::DateTime{2026, 12, 8, 12, 0, 0, 0};
        state.ResumeTiming();
        result = tev::sim::writeDemoHistory(options);
        if (!result.error.empty()) state.SkipWithError(result.error.c_str());
    }
    state.counters["ticks"] = static_cast<double>(result.ticks);
    state.counters["messages"] = static_cast<double>(result.messages);
    state.counters["ns_per_simulated_second"] = benchmark::Counter(
        static_cast<double>(result.ticks),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DemoHistory400Days)->Arg(400)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
