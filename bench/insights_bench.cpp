// The evening figures' rules alone: how long each takes over a meter-year of hour rows and 35
// days of minute rows (against 50 ms for all of them together), and how far the month's
// projection is off the month's actual total on a demo-like year.
//
// The year comes from the demo's own meter model (tools/hoq-sim, the load curve with its
// weekend and season factors that `hoq-sim --write-demo` plays), advanced a minute at a time;
// a second run puts a day-to-day scatter of its own on top (each day's use times a factor
// drawn from a normal law with a standard deviation of 20 %), since the model repeats its days.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "services/archive/rules/insights.h"
#include "services/archive/rules/local_time.h"
#include "tools/hoq-sim/meter_model.h"

namespace {

using namespace tev::archive;

constexpr int kRuns = 7;
constexpr double kGoalMs = 50;
constexpr int kMinuteDays = 35;

struct Year {
    HourRows hours;
    MinuteRows minutes;
    std::int64_t now = 0;
};

int dateCode(std::int64_t t) {
    const std::time_t time = t;
    std::tm p{};
    localtime_r(&time, &p);
    return (p.tm_year + 1900 - 2000) * 10000 + (p.tm_mon + 1) * 100 + p.tm_mday;
}

// The model's minutes from local midnight of `from` to `now`, laid on local time; each day's
// use times `scatter` × a normal factor (0: none).
Year demoYear(std::int64_t from, std::int64_t now, double scatter) {
    Year y;
    y.now = now;
    tev::sim::MeterModel model(0, dateCode(from), 0);
    model.setCalendarVariation(true);
    std::mt19937 random(37);
    std::normal_distribution<double> normal(0, 1);
    double factor = 1;
    std::int64_t day = localDayStart(from);
    const std::int64_t minutesFrom = now - kMinuteDays * 86400LL;
    for (std::int64_t hour = day; hour + 3600 <= now; hour += 3600) {
        if (hour >= day) {
            day = nextEnergyPeriodStart(EnergyPeriod::Day, hour);
            factor = scatter > 0 ? std::clamp(1 + scatter * normal(random), 0.3, 2.0) : 1;
        }
        const double before = model.lifetimeEnergyKWh();
        for (int m = 0; m < 60; ++m) {
            const double watts = model.totalPowerW() * factor;
            if (hour + m * 60 >= minutesFrom) {
                y.minutes.time.push_back(hour + m * 60);
                y.minutes.watts.push_back(watts);
            }
            model.advance(60);
        }
        const double kwh = (model.lifetimeEnergyKWh() - before) * factor;
        // The phases: L1 carries the evening's cooking, L3 the rest of the day's share.
        const int hourOfDay = static_cast<int>((hour - localDayStart(hour)) / 3600) % 24;
        const double l1 = hourOfDay >= 17 && hourOfDay < 21 ? 0.55 : 0.35;
        y.hours.time.push_back(hour);
        y.hours.kwh.push_back(kwh);
        y.hours.watts.push_back(kwh * 1000);
        y.hours.phaseWatts.push_back(
            {kwh * 1000 * l1, kwh * 1000 * 0.35, kwh * 1000 * (0.65 - l1)});
    }
    return y;
}

template <typename F>
double medianMs(F&& work) {
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void timings(const Year& y, const EnergyPricing& pricing) {
    const std::int64_t yearAgo = y.now - 365 * 86400LL;
    const std::int64_t months13 = energyPeriodStart(EnergyPeriod::Month, y.now - 395 * 86400LL);
    std::size_t sink = 0;
    struct Row {
        const char* name;
        double ms;
    };
    std::vector<Row> rows;
    rows.push_back({"monthFigures",
                    medianMs([&] { sink += monthFigures(y.hours, y.now, pricing).historyDays; })});
    rows.push_back({"baseLoadPerDay (365 days)", medianMs([&] {
                        sink += baseLoadPerDay(y.hours, y.minutes, yearAgo, y.now).size();
                    })});
    rows.push_back({"baseLoadYearCost", medianMs([&] {
                        sink += static_cast<std::size_t>(baseLoadYearCost(300, y.now, pricing));
                    })});
    rows.push_back({"dailyPeaks + monthlyPeaks (13 months)", medianMs([&] {
                        sink +=
                            monthlyPeaks(dailyPeaks(y.hours, y.minutes, months13, y.now)).size();
                    })});
    rows.push_back({"phaseAdvice (28 days)", medianMs([&] {
                        sink += static_cast<std::size_t>(
                            phaseAdvice(y.hours, y.now, 30, 100).hoursCounted);
                    })});
    rows.push_back({"unusualDays (90 days)", medianMs([&] {
                        sink += unusualDays(y.hours, y.now - 90 * 86400LL, y.now, y.now).size();
                    })});
    double total = 0;
    std::printf("Time per call, median of %d runs (%zu hour rows, %zu minute rows):\n", kRuns,
                y.hours.time.size(), y.minutes.time.size());
    for (const Row& r : rows) {
        std::printf("  %-40s %8.2f ms\n", r.name, r.ms);
        total += r.ms;
    }
    std::printf("  %-40s %8.2f ms (goal %.0f ms: %s)\n", "all together", total, kGoalMs,
                total <= kGoalMs ? "met" : "MISSED");
    if (sink == 0) std::printf("(nothing computed)\n");
}

// For each day of each whole month with four weeks of history before it: the month's end
// projected from that day's midnight against the month's actual total.
void projectionError(const Year& y, const char* title) {
    std::vector<double> byDay[32];
    std::vector<double> all;
    const EnergyPricing none;
    const std::int64_t firstMonth = nextEnergyPeriodStart(
        EnergyPeriod::Month,
        energyPeriodStart(EnergyPeriod::Month, y.hours.time.front() + 28 * 86400LL));
    for (std::int64_t month = firstMonth;;
         month = nextEnergyPeriodStart(EnergyPeriod::Month, month)) {
        const std::int64_t end = nextEnergyPeriodStart(EnergyPeriod::Month, month);
        if (end > y.now) break;
        double actual = 0;
        for (std::size_t i = 0; i < y.hours.time.size(); ++i)
            if (y.hours.time[i] >= month && y.hours.time[i] < end) actual += y.hours.kwh[i];
        int dayOfMonth = 1;
        for (std::int64_t day = month; day < end;
             day = nextEnergyPeriodStart(EnergyPeriod::Day, day), ++dayOfMonth) {
            // The rows as the archive held them at that midnight: the five weeks before it.
            HourRows held;
            for (std::size_t i = 0; i < y.hours.time.size(); ++i) {
                const std::int64_t t = y.hours.time[i];
                if (t < day - 70 * 86400LL || t >= day) continue;
                held.time.push_back(t);
                held.kwh.push_back(y.hours.kwh[i]);
            }
            const MonthFigures f = monthFigures(held, day, none);
            if (!f.projectedKwh || !(actual > 0)) continue;
            const double error = 100 * std::abs(*f.projectedKwh - actual) / actual;
            byDay[dayOfMonth].push_back(error);
            all.push_back(error);
        }
    }
    auto mean = [](const std::vector<double>& v) {
        double s = 0;
        for (const double x : v) s += x;
        return v.empty() ? NAN : s / static_cast<double>(v.size());
    };
    std::printf("Projection error, %s: mean absolute error of the month's end in %% of its total\n",
                title);
    for (const int d : {1, 8, 15, 22})
        std::printf("  from day %2d: %5.1f %% (%zu months)\n", d, mean(byDay[d]), byDay[d].size());
    std::printf("  every day:   %5.1f %% (%zu projections)\n", mean(all), all.size());
}

}  // namespace

int main() {
    // Central European time with its summer rule, so both clock changes are in the year.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const std::int64_t now = localUnixSeconds(2026, 12, 9, 12, 0, 0);
    const std::int64_t from = localUnixSeconds(2025, 11, 1, 0, 0, 0);
    const EnergyPricing pricing{[](double kwh, std::int64_t, std::int64_t) { return 0.3 * kwh; },
                                [](std::int64_t) { return 0.5; }};
    std::printf(
        "A demo-like year: the hoq-sim meter model from 2025-11-01 to 2026-12-09 12:00, "
        "TZ=CET-1CEST\n\n");
    const Year model = demoYear(from, now, 0);
    timings(model, pricing);
    std::printf("\n");
    projectionError(model, "the demo's meter model");
    const Year scattered = demoYear(from, now, 0.2);
    projectionError(scattered, "the model with a 20 % day-to-day scatter of the bench's own");
    // As the program mostly runs: TZ unset, the C library looks at /etc/localtime each time.
    unsetenv("TZ");
    tzset();
    std::printf("\nWith TZ unset (the zone of /etc/localtime):\n");
    timings(model, pricing);
    return 0;
}
