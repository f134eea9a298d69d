#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/rules/voltage_quality.h"
#include "tests/services/archive/rules/zone.h"

namespace tev::archive {
namespace {

std::int64_t at(const char* iso) {
    return *parseIsoTime(iso);
}

class EnergyAndQuality : public ::testing::Test {
  protected:
    void SetUp() override { testing::useCentralEuropeanTime(); }
};

// 1 kWh in every hour from Saturday 28 March to Monday 30 March 2026, across the 23-hour
// Sunday the clocks go forward; 0.50 per kWh and 1.00 standing charge per day; read on Monday
// at 12:30, so the hours after it do not count.
TEST_F(EnergyAndQuality, EnergyPerDayWeekAndMonthAcrossTheSpringClockChange) {
    std::vector<std::int64_t> times;
    std::vector<double> kwh;
    for (std::int64_t t = at("2026-03-28T00:00"); t < at("2026-03-31T00:00"); t += 3600) {
        times.push_back(t);
        kwh.push_back(1);
    }
    kwh[5] = NAN;  // an hour the archive holds no energy for
    kwh[6] = 2;
    const EnergyPricing pricing{[](double k, std::int64_t, std::int64_t) { return 0.5 * k; },
                                [](std::int64_t) { return 1.0; }};
    const std::int64_t now = at("2026-03-30T12:30");
    const std::int64_t to = at("2026-04-30T00:00");

    struct Case {
        EnergyPeriod period;
        const char* from;
        std::vector<std::int64_t> time;
        std::vector<double> kwh, cost;
        std::vector<bool> partial;
    };
    const Case cases[] = {
        {EnergyPeriod::Day,
         "2026-03-28T09:00",
         {at("2026-03-27T23:00Z"), at("2026-03-28T23:00Z"), at("2026-03-29T22:00Z")},
         {24, 23, 13},  // Saturday less the NaN hour plus the 2 kWh one; 23 hours; 00–12
         {13, 12.5, 7.5},
         {false, false, true}},
        {EnergyPeriod::Week,  // weeks start on Sunday: 22 and 29 March
         "2026-03-28T00:00",
         {at("2026-03-21T23:00Z"), at("2026-03-28T23:00Z")},
         {24, 36},
         {13, 18 + 2},  // standing charges only from the first row's day on
         {false, true}},
        {EnergyPeriod::Month, "2026-03-15", {at("2026-02-28T23:00Z")}, {60}, {33}, {true}},
    };
    for (const Case& c : cases) {
        const PeriodEnergy e = energyPerPeriod(c.period, times, kwh, at(c.from), to, now, pricing);
        EXPECT_EQ(e.time, c.time) << energyPeriodName(c.period);
        EXPECT_EQ(e.kwh, c.kwh) << energyPeriodName(c.period);
        EXPECT_EQ(e.cost, c.cost) << energyPeriodName(c.period);
        EXPECT_EQ(e.partial, c.partial) << energyPeriodName(c.period);
    }
    // The week holding the change lasts an hour less; `to` ends the list before `now` does.
    EXPECT_EQ(nextEnergyPeriodStart(EnergyPeriod::Week, at("2026-03-29")), at("2026-04-04T22:00Z"));
    EXPECT_EQ(energyPerPeriod(EnergyPeriod::Day, times, kwh, at("2026-03-28"),
                              at("2026-03-29T01:00"), now, pricing)
                  .kwh,
              (std::vector<double>{24, 23}));
    EnergyPeriod p{};
    EXPECT_TRUE(parseEnergyPeriod("month", p));
    EXPECT_EQ(p, EnergyPeriod::Month);
    EXPECT_FALSE(parseEnergyPeriod("Month", p));
}

// ISO week 13 of 2026 ends on the Sunday the clocks go forward: 10,020 minutes, 1,002 windows.
// L1 steady at 230 V; L2 with a 30-minute sag to 200 V (3 windows) and one short dip inside a
// healthy minute; L3 at 255 V for its first 600 minutes (60 windows out of the band), then 240 V.
TEST_F(EnergyAndQuality, WeeklyVoltageQualityWithAPlantedSagAndAHighPhase) {
    const auto week = parseIsoWeek("2026-W13");
    ASSERT_TRUE(week);
    EXPECT_EQ(week->start, at("2026-03-22T23:00Z"));
    EXPECT_EQ(week->end, at("2026-03-29T22:00Z"));

    ArchiveSeries s;
    s.resolution = Resolution::Minute;
    for (const char* name :
         {"V1", "V1_min", "V1_max", "V2", "V2_min", "V2_max", "V3", "V3_min", "V3_max"})
        s.quantities.push_back(findQuantity(name));
    s.values.resize(9);
    const std::int64_t sagStart = week->start + 86400;  // Tuesday 00:00, a whole window
    const std::int64_t lonelyDip = week->start + 2 * 86400 + 5 * 60;
    for (std::int64_t t = week->start; t <= week->end; t += 60) {
        const bool sag = t >= sagStart && t < sagStart + 1800;
        const bool high = t < week->start + 600 * 60;
        const double v2 = sag ? 200 : 230;
        const double v3 = high ? 255 : 240;
        const double row[] = {230,    229, 231,    v2,    sag ? 190 : t == lonelyDip ? 200 : v2 - 1,
                              v2 + 1, v3,  v3 - 1, v3 + 1};
        s.time.push_back(t);
        for (int q = 0; q < 9; ++q) s.values[q].push_back(t == week->end ? 0 : row[q]);
    }
    const WeekQuality w = weekQuality(s, 230, week->start, week->end);
    EXPECT_EQ(w.minutes, 10020);
    struct Expect {
        int windows, inBand;
        double share;
        int dips, swells;
        double lowest, highest;
        QualityVerdict verdict;
    };
    const Expect expected[] = {
        {1002, 1002, 100, 0, 0, 229, 231, QualityVerdict::Pass},
        {1002, 999, 99.70059880, 31, 0, 190, 231, QualityVerdict::Pass},
        {1002, 942, 94.01197605, 0, 600, 239, 256, QualityVerdict::Fail},
    };
    for (int p = 0; p < 3; ++p) {
        const PhaseQuality& q = w.phases[p];
        const Expect& e = expected[p];
        EXPECT_EQ(q.windows, e.windows) << "L" << p + 1;
        EXPECT_EQ(q.windowsInBand, e.inBand) << "L" << p + 1;
        EXPECT_NEAR(q.shareInBand, e.share, 1e-6) << "L" << p + 1;
        EXPECT_EQ(q.dipMinutes, e.dips) << "L" << p + 1;
        EXPECT_EQ(q.swellMinutes, e.swells) << "L" << p + 1;
        EXPECT_EQ(q.lowestVolts, e.lowest) << "L" << p + 1;
        EXPECT_EQ(q.highestVolts, e.highest) << "L" << p + 1;
        EXPECT_EQ(q.verdict, e.verdict) << "L" << p + 1;
    }
    // 230, 200 and 240 V: 23.33 V from their 223.33 V average.
    ASSERT_TRUE(w.worstUnbalance);
    EXPECT_NEAR(*w.worstUnbalance, 100 * (70.0 / 3) / (670.0 / 3), 1e-9);
    EXPECT_EQ(w.worstUnbalanceAt, sagStart);
    EXPECT_EQ(weekQuality({}, 230, week->start, week->end).phases[0].verdict,
              QualityVerdict::NoData);

    // No nominal set: the standard voltage nearest the readings' median (230 V here, 110 V for
    // the same week on a 110 V supply) gives the same report; a lost phase's 0 V is no reading.
    const WeekQuality assumed = weekQuality(s, 0, week->start, week->end);
    EXPECT_TRUE(assumed.nominalAssumed);
    EXPECT_EQ(assumed.nominalVolts, 230);
    EXPECT_EQ(assumed.phases[2].windowsInBand, 942);
    ArchiveSeries low = s;
    for (auto& column : low.values)
        for (double& v : column) v = v * 110 / 230;
    const WeekQuality at110 = weekQuality(low, 0, week->start, week->end);
    EXPECT_EQ(at110.nominalVolts, 110);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(at110.phases[p].windowsInBand, w.phases[p].windowsInBand) << "L" << p + 1;
    EXPECT_FALSE(w.nominalAssumed);
}

// A week of minute rows from `volts(t, phase)`: each phase's mean, minimum and maximum the same;
// a value that is not a number stands for a row that counted no message (energy only).
template <typename F>
ArchiveSeries minuteRows(std::int64_t from, std::int64_t to, F volts) {
    ArchiveSeries s;
    s.resolution = Resolution::Minute;
    for (const char* name :
         {"V1", "V1_min", "V1_max", "V2", "V2_min", "V2_max", "V3", "V3_min", "V3_max"})
        s.quantities.push_back(findQuantity(name));
    s.values.resize(9);
    for (std::int64_t t = from; t < to; t += 60) {
        s.time.push_back(t);
        for (int q = 0; q < 9; ++q) s.values[q].push_back(volts(t, q / 3));
    }
    return s;
}

// ISO week 2 of 2026 (1008 windows): a dead phase is 0 V with its dips, a week seen for 38
// minutes is judged on no phase, rows that counted no message are no 0 V readings, and the
// unbalance is taken only where all three phases are live.
TEST_F(EnergyAndQuality, DeadPhasesShortWeeksAndEmptyRowsAreToldAsSuch) {
    const auto week = parseIsoWeek("2026-W02");
    ASSERT_TRUE(week);
    const std::int64_t tuesday = week->start + 86400;
    struct PhaseExpect {
        QualityVerdict verdict;
        std::optional<double> lowest;
        int dips, deadWindows;
    };
    struct Case {
        const char* name;
        std::int64_t from, to;
        std::function<double(std::int64_t, int)> volts;
        int minutes;
        std::array<PhaseExpect, 3> phases;
        std::optional<double> worstUnbalance;
        int unbalanceWindows;
    };
    const Case cases[] = {
        {"L3 lost for Tuesday, L2 at 220 V",
         week->start,
         week->end,
         [&](std::int64_t t, int p) {
             if (p == 2 && t >= tuesday && t < tuesday + 86400) return 0.0;
             return p == 1 ? 220.0 : 230.0;
         },
         10080,
         {{{QualityVerdict::Pass, 230, 0, 0},
           {QualityVerdict::Pass, 220, 0, 0},
           {QualityVerdict::Fail, 0, 1440, 144}}},
         100 * (20.0 / 3) / (680.0 / 3),
         1008 - 144},
        {"a meter seen for 38 minutes",
         tuesday,
         tuesday + 38 * 60,
         [](std::int64_t, int) { return 230.0; },
         38,
         {{{QualityVerdict::NotEnoughData, 230, 0, 0},
           {QualityVerdict::NotEnoughData, 230, 0, 0},
           {QualityVerdict::NotEnoughData, 230, 0, 0}}},
         0,
         4},
        {"every other minute counted no message; L2 never had one",
         week->start,
         week->end,
         [](std::int64_t t, int p) { return (t / 60) % 2 != 0 || p == 1 ? NAN : 231.0; },
         5040,
         {{{QualityVerdict::Pass, 231, 0, 0},
           {QualityVerdict::NoData, std::nullopt, 0, 0},
           {QualityVerdict::Pass, 231, 0, 0}}},
         std::nullopt,
         0},
    };
    for (const Case& c : cases) {
        const WeekQuality w =
            weekQuality(minuteRows(c.from, c.to, c.volts), 230, week->start, week->end);
        EXPECT_EQ(w.weekWindows, 1008) << c.name;
        EXPECT_EQ(w.minutes, c.minutes) << c.name;
        for (int p = 0; p < 3; ++p) {
            const PhaseQuality& q = w.phases[p];
            const PhaseExpect& e = c.phases[p];
            EXPECT_EQ(qualityVerdictName(q.verdict), qualityVerdictName(e.verdict))
                << c.name << " L" << p + 1;
            EXPECT_EQ(q.lowestVolts, e.lowest) << c.name << " L" << p + 1;
            EXPECT_EQ(q.dipMinutes, e.dips) << c.name << " L" << p + 1;
            EXPECT_EQ(q.deadWindows, e.deadWindows) << c.name << " L" << p + 1;
        }
        ASSERT_EQ(w.worstUnbalance.has_value(), c.worstUnbalance.has_value()) << c.name;
        if (c.worstUnbalance) {
            EXPECT_NEAR(*w.worstUnbalance, *c.worstUnbalance, 1e-9) << c.name;
        }
        EXPECT_EQ(w.unbalanceWindows, c.unbalanceWindows) << c.name;
    }
    EXPECT_NEAR(weekQuality(minuteRows(tuesday, tuesday + 38 * 60, cases[1].volts), 230,
                            week->start, week->end)
                    .phases[0]
                    .coverage,
                100 * 4.0 / 1008, 1e-9);
}

TEST_F(EnergyAndQuality, IsoWeeksReadAndNameAcrossYearEnds) {
    EXPECT_EQ(parseIsoWeek("2026-W53")->start, at("2026-12-28"));  // 2026 starts on a Thursday
    EXPECT_EQ(parseIsoWeek("2026-W01")->start, at("2025-12-29"));
    for (const char* bad : {"2025-W53", "2026-W00", "2026-W54", "2026W13", "2026-w13", "2026-W1",
                            "2026-W13x", "abcd-W13"})
        EXPECT_FALSE(parseIsoWeek(bad)) << bad;
    EXPECT_EQ(isoWeekName(at("2027-01-01T12:00")), "2026-W53");
    EXPECT_EQ(isoWeekName(at("2025-12-29T00:00")), "2026-W01");
    EXPECT_EQ(isoWeekName(at("2026-03-29T23:59")), "2026-W13");
    EXPECT_EQ(isoWeekName(at("2026-03-30T00:00")), "2026-W14");
}

}  // namespace
}  // namespace tev::archive
