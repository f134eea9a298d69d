#include "tools/hoq-sim/meter_model.h"

#include <gtest/gtest.h>

namespace tev::sim {
namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;

TEST(MeterModel, LoadCurvePeaksInTheEveningAndIsLowestAtNight) {
    const double night = MeterModel::loadCurveKW(3.5);
    const double morning = MeterModel::loadCurveKW(7.5);
    const double evening = MeterModel::loadCurveKW(19.5);
    EXPECT_GT(morning, night);
    EXPECT_GT(evening, morning);
    EXPECT_GT(night, 0);
}

TEST(MeterModel, ReadingsArePlausibleThreePhaseValues) {
    MeterModel model(4, 240802, 19 * kHour);
    const DataWords w = model.reading(0);
    double power = 0;
    for (int p = 0; p < 3; ++p) {
        EXPECT_GT(w.decimals[p], 220.0);
        EXPECT_LT(w.decimals[p], 232.0);
        EXPECT_GT(w.decimals[6 + p], 0.5);
        power += w.decimals[p] * w.decimals[6 + p] * 0.86;
    }
    EXPECT_NEAR(power, model.totalPowerW(), 1e-6 * model.totalPowerW());

    // Currents follow the load: higher in the evening than in the small hours.
    MeterModel night(4, 240802, 3 * kHour);
    EXPECT_LT(night.reading(0).decimals[6], w.decimals[6]);
}

TEST(MeterModel, DayEnergyRisesWithThePowerDrawn) {
    MeterModel model(0, 240802, 12 * kHour);
    double last = model.dayEnergyKWh();
    for (int i = 0; i < 60; ++i) {
        const double powerW = model.totalPowerW();
        model.advance(kMinute);
        const double gained = model.dayEnergyKWh() - last;
        EXPECT_GT(gained, 0);
        // One minute at roughly this power.
        EXPECT_NEAR(gained, powerW / 1000 / 60, 0.2 * powerW / 1000 / 60);
        last = model.dayEnergyKWh();
    }
    // An hour at the evening peak draws more than an hour at night.
    MeterModel evening(0, 240802, 19 * kHour), night(0, 240802, 3 * kHour);
    evening.advance(kHour);
    night.advance(kHour);
    EXPECT_GT(evening.dayEnergyKWh(), 2 * night.dayEnergyKWh());

    // The words of a data message carry the same counts.
    const DataWords w = evening.reading(5);
    EXPECT_DOUBLE_EQ(w.decimals[9], evening.dayEnergyKWh());
    EXPECT_NEAR(w.decimals[10] + w.decimals[11] + w.decimals[12], w.decimals[9], 1e-9);
    EXPECT_EQ(w.integers[2], 5);
}

TEST(MeterModel, DayEnergyResetsAtTheMetersMidnightAndTheDateMovesOn) {
    MeterModel model(1, 240229, 23 * kHour + 56 * kMinute);
    model.advance(3 * kMinute);  // 23:59
    EXPECT_EQ(model.meterDate(), 240229);
    EXPECT_EQ(model.secs(), 86340);
    const double beforeMidnight = model.dayEnergyKWh();
    const double monthBefore = model.monthEnergyKWh();
    const double lifetimeBefore = model.lifetimeEnergyKWh();
    EXPECT_GT(beforeMidnight, 0);

    model.advance(2 * kMinute);  // 00:01 on 1 March
    EXPECT_EQ(model.meterDate(), 240301);
    EXPECT_EQ(model.secs(), 60);
    EXPECT_LT(model.dayEnergyKWh(), beforeMidnight);
    EXPECT_GT(model.dayEnergyKWh(), 0);
    // A new month clears the month count; the lifetime count keeps growing.
    EXPECT_LT(model.monthEnergyKWh(), monthBefore);
    EXPECT_GT(model.lifetimeEnergyKWh(), lifetimeBefore);

    // Within the month the month count carries across midnight.
    MeterModel midMonth(1, 240315, 23 * kHour + 59 * kMinute);
    midMonth.advance(kHour);
    EXPECT_EQ(midMonth.meterDate(), 240316);
    EXPECT_GT(midMonth.monthEnergyKWh(), midMonth.dayEnergyKWh());
}

TEST(MeterModel, DateCodesRollOverMonthAndYearEnds) {
    EXPECT_EQ(nextDateCode(240228), 240229);
    EXPECT_EQ(nextDateCode(230228), 230301);
    EXPECT_EQ(nextDateCode(241231), 250101);
    EXPECT_EQ(nextDateCode(240430), 240501);
}

}  // namespace
}  // namespace tev::sim

namespace tev::sim {
namespace {

TEST(PhaseFault, LossAndSagTextsAreReadAndBadOnesRefused) {
    const auto loss = parsePhaseLoss("3,60,120");
    ASSERT_TRUE(loss.has_value());
    EXPECT_EQ(loss->phase, 3);
    EXPECT_EQ(loss->voltageFactor, 0);
    EXPECT_EQ(loss->afterSeconds, 60);
    EXPECT_EQ(loss->forSeconds, 120);
    EXPECT_EQ(parsePhaseLoss("2")->afterSeconds, 0);
    const auto sag = parseSag("1,80,5");
    ASSERT_TRUE(sag.has_value());
    EXPECT_DOUBLE_EQ(sag->voltageFactor, 0.8);
    EXPECT_EQ(sag->afterSeconds, 5);
    EXPECT_EQ(sag->forSeconds, 0);
    for (const char* bad : {"", "4", "0", "1,x", "1,2,3,4", "-1", "1,,2"})
        EXPECT_FALSE(parsePhaseLoss(bad).has_value()) << bad;
    for (const char* bad : {"1", "1,0", "1,100", "1,80,1,2,3"})
        EXPECT_FALSE(parseSag(bad).has_value()) << bad;
}

TEST(PhaseFault, ALostPhaseReadsZeroVoltsAndAmpsOnlyWhileItLastsAndASagRaisesTheCurrent) {
    MeterModel model(0, 261208, 12 * 3600);
    model.addPhaseFault(*parsePhaseLoss("3,10,20"));
    model.addPhaseFault(*parseSag("1,80,10,20"));
    const DataWords before = model.reading(1);
    EXPECT_GT(before.decimals[2], 200);
    model.advance(15);
    const DataWords during = model.reading(2);
    EXPECT_EQ(during.decimals[2], 0);  // V3
    EXPECT_EQ(during.decimals[8], 0);  // A3
    EXPECT_NEAR(during.decimals[0], before.decimals[0] * 0.8, 3);
    EXPECT_GT(during.decimals[6], before.decimals[6] * 1.1);  // A1 rises with the sag
    model.advance(20);
    const DataWords after = model.reading(3);
    EXPECT_GT(after.decimals[2], 200);
    EXPECT_GT(after.decimals[0], 200);
}

}  // namespace
}  // namespace tev::sim
