#include "services/archive/rules/insights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

#include "services/archive/rules/local_time.h"
#include "tests/services/archive/rules/zone.h"

namespace tev::archive {
namespace {

std::int64_t at(const char* iso) {
    return *parseIsoTime(iso);
}

// Hour rows over [from, to): the energy `kwh(t)` gives (NaN: no row), its mean power.
HourRows hourRows(const char* from, const char* to,
                  const std::function<double(std::int64_t)>& kwh) {
    HourRows rows;
    for (std::int64_t t = at(from); t < at(to); t += 3600) {
        const double k = kwh(t);
        if (std::isnan(k)) continue;
        rows.time.push_back(t);
        rows.kwh.push_back(k);
        rows.watts.push_back(k * 1000);
        rows.phaseWatts.push_back({NAN, NAN, NAN});
    }
    return rows;
}

bool weekendAt(std::int64_t t) {
    const std::time_t time = t;
    std::tm parts{};
    localtime_r(&time, &parts);
    return parts.tm_wday == 0 || parts.tm_wday == 6;
}

class Insights : public ::testing::Test {
  protected:
    void SetUp() override { testing::useCentralEuropeanTime(); }
    const EnergyPricing pricing{[](double k, std::int64_t, std::int64_t) { return 0.5 * k; },
                                [](std::int64_t) { return 1.0; }};
};

// The month to date, its end projected from the typical weekday and weekend day, and the month
// before and a year before, over the 23-hour 29 March and the 25-hour 25 October 2026.
TEST_F(Insights, TheMonthToDateProjectedAndComparedAcrossClockChanges) {
    const auto flat = [](std::int64_t t) { return weekendAt(t) ? 2.0 : 1.0; };
    using Opt = std::optional<double>;
    struct Case {
        const char* name;
        HourRows rows;
        const char* now;
        double kwhToDate, costToDate;
        Opt projectedKwh, projectedCost;
        int historyDays;
        Opt lastMonthToDate, lastMonth, lastYearToDate, lastYear;
    };
    const Case cases[] = {
        // Weekdays 1 kWh an hour, weekends 2. March: 9 weekend days (the 29th of 23 hours) and
        // 22 weekdays: 8 × 48 + 46 + 22 × 24 = 958 kWh; to the 15th: 4 × 48 + 10 × 24 = 432.
        // February: 8 weekend days, 20 weekdays = 864; to the 15th as March: 432.
        {"spring", hourRows("2026-02-01", "2026-03-15", flat), "2026-03-15T00:00", 432,
         432 * 0.5 + 15, 958, 958 * 0.5 + 31, 28, 432, 864, std::nullopt, std::nullopt},
        // October: 9 weekend days (the 25th of 25 hours), 22 weekdays: 8 × 48 + 50 + 528 = 962;
        // to the 20th: 6 weekend days and 13 weekdays = 600. September: 8 weekend days and 22
        // weekdays = 912; to the 20th: 5 weekend days and 14 weekdays = 576.
        {"autumn", hourRows("2026-09-01", "2026-10-20", flat), "2026-10-20T00:00", 600,
         600 * 0.5 + 20, 962, 962 * 0.5 + 31, 28, 576, 912, std::nullopt, std::nullopt},
        // 1 kWh an hour, read on 31 March at noon: February is compared up to 28 February at
        // noon (27 days and 12 hours), March 2025 (0.5 kWh an hour, 30 March of 23 hours) up
        // to its 31st at noon. March to date: 30 days less an hour and 12 hours = 731; at its
        // end 743. Standing charges from 1 March 2025, the first row's day, on.
        {"last month shorter",
         hourRows("2025-03-01", "2026-03-31T12:00",
                  [](std::int64_t t) {
                      if (t < at("2025-04-01")) return 0.5;
                      return t >= at("2026-02-01") ? 1.0 : NAN;
                  }),
         "2026-03-31T12:00", 731, 731 * 0.5 + 31, 743, 743 * 0.5 + 31, 28, 660, 672,
         (720 - 1 + 12) * 0.5, (744 - 1) * 0.5},
        // Half a day of rows is no whole day of history: nothing projected.
        {"no history", hourRows("2026-03-14T12:00", "2026-03-15", [](std::int64_t) { return 1.0; }),
         "2026-03-15T00:00", 12, 12 * 0.5 + 2, std::nullopt, std::nullopt, 0, std::nullopt,
         std::nullopt, std::nullopt, std::nullopt},
        {"no rows", HourRows{}, "2026-03-15T00:00", 0, 0, std::nullopt, std::nullopt, 0,
         std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    auto near = [](Opt got, Opt want) {
        return got.has_value() == want.has_value() && (!got || std::abs(*got - *want) < 1e-6);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MonthFigures m = monthFigures(c.rows, at(c.now), pricing);
        EXPECT_EQ(m.monthStart, energyPeriodStart(EnergyPeriod::Month, at(c.now)));
        EXPECT_NEAR(m.kwhToDate, c.kwhToDate, 1e-6);
        EXPECT_NEAR(m.costToDate, c.costToDate, 1e-6);
        EXPECT_TRUE(near(m.projectedKwh, c.projectedKwh)) << m.projectedKwh.value_or(-1);
        EXPECT_TRUE(near(m.projectedCost, c.projectedCost)) << m.projectedCost.value_or(-1);
        EXPECT_EQ(m.historyDays, c.historyDays);
        EXPECT_TRUE(near(m.lastMonthKwhToDate, c.lastMonthToDate));
        EXPECT_TRUE(near(m.lastMonthKwh, c.lastMonth));
        EXPECT_TRUE(near(m.lastYearKwhToDate, c.lastYearToDate));
        EXPECT_TRUE(near(m.lastYearKwh, c.lastYear));
    }
}

// The night's base load and the day's peak, from minute rows where there are enough of them,
// else from the hour rows, on the clock-change days.
TEST_F(Insights, BaseLoadAndPeakFromMinutesOrHours) {
    // 29 March: the night 00:00-05:00 is 4 hours, 240 minutes of 100 + (i mod 100) W: values
    // 100..139 three times, 140..199 twice; the 24th lowest (10 %) is 107. The four hours used
    // 0.5 kWh each: 2 - 4 × 0.107 above base.
    MinuteRows spring;
    for (int i = 0; i < 240; ++i) {
        spring.time.push_back(at("2026-03-29T00:00") + i * 60);
        spring.watts.push_back(100 + i % 100);
    }
    spring.time.push_back(at("2026-03-29T06:00"));
    spring.watts.push_back(NAN);
    HourRows springHours = hourRows("2026-03-29", "2026-03-29T05:00", [](auto) { return 0.5; });
    // 25 October: a night of 6 hours with no minute rows; its lowest hour mean is 250 W.
    const double autumnWatts[] = {300, 250, 400, 260, 500, 350};
    int hour = 0;
    HourRows autumnHours = hourRows("2026-10-25", "2026-10-25T05:00",
                                    [&](auto) { return autumnWatts[hour++] / 1000; });
    const std::vector<DayBaseLoad> spr =
        baseLoadPerDay(springHours, spring, at("2026-03-28T10:00"), at("2026-03-30T12:00"));
    ASSERT_EQ(spr.size(), 1u);  // 28 March has no night rows; 30 March none either
    EXPECT_EQ(spr[0].day, at("2026-03-29"));
    EXPECT_EQ(spr[0].watts, 107);
    EXPECT_TRUE(spr[0].fromMinutes);
    EXPECT_NEAR(spr[0].nightKwhAboveBase, 2 - 0.428, 1e-9);
    const std::vector<DayBaseLoad> aut =
        baseLoadPerDay(autumnHours, {}, at("2026-10-25"), at("2026-10-25T05:00"));
    ASSERT_EQ(aut.size(), 1u);
    EXPECT_EQ(aut[0].watts, 250);
    EXPECT_FALSE(aut[0].fromMinutes);
    EXPECT_NEAR(aut[0].nightKwhAboveBase, 2.06 - 6 * 0.25, 1e-9);
    EXPECT_TRUE(baseLoadPerDay(autumnHours, {}, at("2026-10-25"), at("2026-10-25T04:59")).empty());

    // 100 W all year at 0.3 per kWh: 876 kWh whatever the day's length; at 0.2 from 00 to 06
    // and 0.4 after: 0.1 × (6 × 0.2 + 18 × 0.4) × 365.
    const EnergyPricing flat{[](double k, auto, auto) { return 0.3 * k; }, nullptr};
    const EnergyPricing night{[](double k, std::int64_t from, auto) {
                                  return (from - localDayStart(from) < 6 * 3600 ? 0.2 : 0.4) * k;
                              },
                              nullptr};
    EXPECT_NEAR(baseLoadYearCost(100, at("2026-03-29T12:00"), flat), 262.8, 1e-9);
    EXPECT_NEAR(baseLoadYearCost(100, at("2026-03-10T12:00"), night), 306.6, 1e-9);
    EXPECT_EQ(baseLoadYearCost(NAN, at("2026-03-10"), flat), 0);

    // Peaks: 500 W all day, with 5000 W in the minutes given.
    struct Case {
        const char* name;
        const char* day;
        std::vector<std::pair<const char*, int>> spikes;  // start, minutes
        bool minutes;                                     // minute rows at all
        const char* start;
        double watts;
        bool fromMinutes;
    };
    const Case cases[] = {
        {"on a quarter",
         "2026-03-29",
         {{"2026-03-29T18:00", 15}},
         true,
         "2026-03-29T18:00",
         5000,
         true},
        // 18:07-18:22: 8 minutes in the 18:00 quarter, 7 in the next.
        {"across quarters",
         "2026-03-29",
         {{"2026-03-29T18:07", 15}},
         true,
         "2026-03-29T18:00",
         (8 * 5000 + 7 * 500) / 15.0,
         true},
        // The second 02:30 of 25 October (01:30 UTC).
        {"the repeated hour",
         "2026-10-25",
         {{"2026-10-25T01:30Z", 15}},
         true,
         "2026-10-25T01:30Z",
         5000,
         true},
        // Without minute rows the highest hour mean: 18:00 holds 15 minutes of 5000 W.
        {"from hours",
         "2026-10-25",
         {{"2026-10-25T18:00", 15}},
         false,
         "2026-10-25T18:00",
         (15 * 5000 + 45 * 500) / 60.0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int64_t day = at(c.day);
        const std::int64_t end = nextEnergyPeriodStart(EnergyPeriod::Day, day);
        auto wattsAt = [&](std::int64_t t) {
            for (const auto& [from, n] : c.spikes)
                if (t >= at(from) && t < at(from) + n * 60) return 5000.0;
            return 500.0;
        };
        MinuteRows minutes;
        HourRows hours;
        for (std::int64_t t = day; t < end; t += 60) {
            // Without minute rows but for a quarter of 9, which does not count.
            if (!c.minutes && (t < day + 20 * 3600 || t >= day + 20 * 3600 + 9 * 60)) continue;
            minutes.time.push_back(t);
            minutes.watts.push_back(c.minutes ? wattsAt(t) : 9000);
        }
        for (std::int64_t t = day; t < end; t += 3600) {
            double sum = 0;
            for (int m = 0; m < 60; ++m) sum += wattsAt(t + m * 60);
            hours.time.push_back(t);
            hours.kwh.push_back(sum / 60000);
            hours.watts.push_back(sum / 60);
        }
        const std::vector<Peak> peaks = dailyPeaks(hours, minutes, day, end);
        ASSERT_EQ(peaks.size(), 1u);
        EXPECT_EQ(peaks[0].period, day);
        EXPECT_EQ(peaks[0].start, at(c.start));
        EXPECT_NEAR(peaks[0].watts, c.watts, 1e-9);
        EXPECT_EQ(peaks[0].fromMinutes, c.fromMinutes);
    }
    const std::vector<Peak> months = monthlyPeaks({{at("2026-03-30"), 1, 700, true},
                                                   {at("2026-03-31"), 2, 900, false},
                                                   {at("2026-04-01"), 3, 800, true},
                                                   {at("2026-04-02"), 4, NAN, true}});
    ASSERT_EQ(months.size(), 2u);
    EXPECT_EQ(months[0].period, at("2026-03-01"));
    EXPECT_EQ(months[0].start, 2);
    EXPECT_EQ(months[1].period, at("2026-04-01"));
    EXPECT_EQ(months[1].watts, 800);
}

// The phases' advice from hand-made hours, and the days far above their weekday's median.
TEST_F(Insights, PhaseAdviceAndUnusualDays) {
    using W = std::array<double, 3>;
    struct Case {
        const char* name;
        std::vector<std::pair<W, int>> hours;  // phase powers, how many hours
        int counted, heaviest, lightest;
        double share, move;
    };
    // Mean 2000 W, 30 % allows 600 W off it. (3000, 1000, 2000) needs 400..1600 W moved from
    // L1 to L2; (3500, 1000, 1500) 900..1600; a balanced hour 0..600.
    const Case cases[] = {
        {"nine of ten", {{{3000, 1000, 2000}, 9}, {{2000, 2000, 2000}, 1}}, 10, 0, 1, 0.9, 400},
        {"the worst two", {{{3000, 1000, 2000}, 8}, {{3500, 1000, 1500}, 2}}, 10, 0, 1, 1, 900},
        {"balanced", {{{1000, 1100, 900}, 5}}, 5, 1, 2, 0, 0},
        {"L3 heaviest", {{{1000, 2000, 3000}, 3}}, 3, 2, 0, 1, 400},
        // Under the floor, a missing phase: not counted.
        {"none counted", {{{50, 50, 50}, 3}, {{NAN, 1000, 1000}, 3}}, 0, -1, -1, 0, 0},
    };
    const std::int64_t now = at("2026-04-05T12:00");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HourRows rows;
        // An hour older than 28 days and the hour still running do not count.
        rows.time.push_back(at("2026-03-08T11:00"));
        rows.phaseWatts.push_back({9000, 0, 0});
        std::int64_t t = at("2026-03-29T00:00");
        for (const auto& [w, n] : c.hours)
            for (int i = 0; i < n; ++i, t += 3600) {
                rows.time.push_back(t);
                rows.phaseWatts.push_back(w);
            }
        rows.time.push_back(at("2026-04-05T11:30"));
        rows.phaseWatts.push_back({9000, 0, 0});
        const PhaseAdvice a = phaseAdvice(rows, now, 30, 100);
        EXPECT_EQ(a.hoursCounted, c.counted);
        EXPECT_EQ(a.heaviest, c.heaviest);
        EXPECT_EQ(a.lightest, c.lightest);
        EXPECT_NEAR(a.shareAboveLimit, c.share, 1e-9);
        EXPECT_NEAR(a.moveWatts, c.move, 1e-6);
    }

    // Whole days' energy; the 29th of March is a Sunday of 23 hours.
    const std::pair<const char*, double> days[] = {
        {"2026-02-28", 10}, {"2026-03-01", 9},  {"2026-03-02", 10},  {"2026-03-03", 1.5},
        {"2026-03-08", 12}, {"2026-03-09", 10}, {"2026-03-10", 1.5}, {"2026-03-14", 10},
        {"2026-03-15", 11}, {"2026-03-16", 10}, {"2026-03-17", 1.5}, {"2026-03-20", 5},
        {"2026-03-22", 10}, {"2026-03-23", 10}, {"2026-03-24", 1.5}, {"2026-03-27", 30},
        {"2026-03-28", 30},  // Saturdays with rows before it: 14 March and 28 February
        {"2026-03-29", 20},  // median of 22, 15, 8, 1 March: 10.5
        {"2026-03-30", 14},  // 1.4 × its Mondays' 10: not 1.5 ×
        {"2026-03-31", 3},   // 2 × its Tuesdays' 1.5 but only 1.5 kWh more
        {"2026-04-01", 50},  // still running at `now`
    };
    HourRows rows;
    for (const auto& [date, kwh] : days) {
        const std::int64_t day = at(date);
        const std::int64_t end = nextEnergyPeriodStart(EnergyPeriod::Day, day);
        for (std::int64_t t = day; t < end; t += 3600) {
            rows.time.push_back(t);
            rows.kwh.push_back(kwh * 3600 / static_cast<double>(end - day));
        }
    }
    const std::vector<UnusualDay> unusual =
        unusualDays(rows, at("2026-03-27"), at("2026-04-02"), at("2026-04-01T12:00"));
    ASSERT_EQ(unusual.size(), 2u);
    EXPECT_EQ(unusual[0].day, at("2026-03-28"));
    EXPECT_NEAR(unusual[0].kwh, 30, 1e-9);
    EXPECT_NEAR(unusual[0].typicalKwh, 10, 1e-9);
    EXPECT_EQ(unusual[1].day, at("2026-03-29"));
    EXPECT_NEAR(unusual[1].kwh, 20, 1e-9);
    EXPECT_NEAR(unusual[1].typicalKwh, 10.5, 1e-9);
}

}  // namespace
}  // namespace tev::archive
