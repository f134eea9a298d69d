// The energy view's and the quality report's rules alone: energy and cost per day over three
// years of hour rows under a two-band tariff, and one quality week over 10,080 minute rows.
#include <benchmark/benchmark.h>

#include <ctime>

#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/voltage_quality.h"
#include "services/web/rules/energy_quality_json.h"

namespace {

constexpr std::int64_t kStart = 1733011200;  // 2024-12-01T00:00Z
constexpr int kThreeYearsOfHours = 3 * 365 * 24;
constexpr int kWeekOfMinutes = 7 * 24 * 60;

void BM_EnergyPerDayOverThreeYearsOfHours(benchmark::State& state) {
    const tev::alerts::TariffLoad load = tev::alerts::loadTariff(tev::IniDocument::parse(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=mon-fri 07:00-22:00 0.40\n"));
    tev::archive::ArchiveSeries hours;
    hours.resolution = tev::archive::Resolution::Hour;
    hours.quantities = {tev::archive::findQuantity("Energy")};
    hours.values.resize(1);
    for (int i = 0; i < kThreeYearsOfHours; ++i) {
        hours.time.push_back(kStart + i * 3600LL);
        hours.values[0].push_back(0.5 + (i % 24) * 0.05);
    }
    const std::int64_t end = kStart + kThreeYearsOfHours * 3600LL;
    for (auto _ : state) {
        const auto e = tev::web::priceEnergy(tev::archive::EnergyPeriod::Day, hours, kStart, end,
                                             end, &load.tariff);
        benchmark::DoNotOptimize(e.cost.data());
    }
    state.counters["hour_rows"] = kThreeYearsOfHours;
}
BENCHMARK(BM_EnergyPerDayOverThreeYearsOfHours)->Unit(benchmark::kMillisecond);

void BM_QualityWeekOver10080MinuteRows(benchmark::State& state) {
    tev::archive::ArchiveSeries minutes;
    minutes.resolution = tev::archive::Resolution::Minute;
    for (const char* name :
         {"V1", "V1_min", "V1_max", "V2", "V2_min", "V2_max", "V3", "V3_min", "V3_max"})
        minutes.quantities.push_back(tev::archive::findQuantity(name));
    minutes.values.resize(9);
    for (int i = 0; i < kWeekOfMinutes; ++i) {
        minutes.time.push_back(kStart + i * 60LL);
        for (int q = 0; q < 9; ++q) minutes.values[q].push_back(225 + (i * 7 + q) % 11);
    }
    const std::int64_t end = kStart + kWeekOfMinutes * 60LL;
    for (auto _ : state) {
        const auto w = tev::archive::weekQuality(minutes, 230, kStart, end);
        benchmark::DoNotOptimize(w.phases.data());
    }
    state.counters["minute_rows"] = kWeekOfMinutes;
}
BENCHMARK(BM_QualityWeekOver10080MinuteRows)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
