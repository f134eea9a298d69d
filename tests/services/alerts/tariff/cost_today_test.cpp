#include "services/alerts/tariff/cost_today.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tev {
namespace {

TEST(CostToday, EachShareOfTheDayIsPricedWhenItWasUsedAndANewDayStartsAgain) {
    setenv("TZ", "UTC", 1);
    tzset();
    const Tariff t = loadTariff(IniDocument::parse("[tariff]\nprice_per_kwh=0.20\n"
                                                   "standing_charge_per_day=0.50\n"
                                                   "band_1=all 07:00-21:00 0.40\n"))
                         .tariff;
    const std::time_t midnight = 1796688000;  // 2026-12-08 00:00 UTC
    CostToday cost(t);
    // At 06:00 the day already holds 6 kWh: spread over six night hours at 0.20.
    cost.update(6, midnight + 6 * 3600);
    EXPECT_NEAR(cost.energyCost(), 1.20, 1e-9);
    EXPECT_NEAR(cost.cost(), 1.70, 1e-9);
    // 2 kWh more by 08:00: half before 07:00 at 0.20, half after at 0.40.
    cost.update(8, midnight + 8 * 3600);
    EXPECT_NEAR(cost.energyCost(), 1.20 + 0.20 + 0.40, 1e-9);
    // Nothing used: nothing added.
    cost.update(8, midnight + 9 * 3600);
    EXPECT_NEAR(cost.energyCost(), 1.80, 1e-9);
    // Next day 00:30, the count restarted at 0.5 kWh.
    cost.update(0.5, midnight + 24 * 3600 + 1800);
    EXPECT_NEAR(cost.energyCost(), 0.10, 1e-9);
    EXPECT_NEAR(cost.cost(), 0.60, 1e-9);
    unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace tev
