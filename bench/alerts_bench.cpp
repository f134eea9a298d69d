// Rule evaluation cost per meter message with 200 meters reporting (goal: under 1 µs).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "services/alerts/rules/alert_evaluator.h"

namespace {

constexpr int kMeters = 200;

void BM_AlertEvaluationPerMessage200Meters(benchmark::State& state) {
    tev::alerts::AlertConfig config;
    config.enabled = true;
    config.defaults.voltageNominal = 230;
    config.defaults.currentMax = 32;
    config.defaults.demandLimitKw = 20;
    tev::alerts::AlertEvaluator ev(config);
    std::vector<std::string> ids;
    for (int i = 0; i < kMeters; ++i) ids.push_back("HOQ" + std::to_string(100000000 + i));
    std::vector<tev::alerts::AlertEvent> events;
    events.reserve(64);
    std::int64_t t = 1796688000000;
    std::size_t n = 0;
    for (auto _ : state) {
        const int m = static_cast<int>(n % kMeters);
        if (m == 0) t += 1000;
        // Readings wander around the thresholds so that triggers change state now and then.
        const float wobble = static_cast<float>((n * 7919) % 40) - 20.0F;
        tev::alerts::AlertSample s{t, {230 + wobble, 230, 231}, {30 + wobble / 5, 12, 14}, 9000};
        events.clear();
        ev.evaluate(ids[m], m == 0, s, events);
        benchmark::DoNotOptimize(events.data());
        ++n;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_AlertEvaluationPerMessage200Meters);

}  // namespace

BENCHMARK_MAIN();
