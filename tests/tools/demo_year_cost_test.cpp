#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/persistence/records_image.h"
#include "platform/clock.h"
#include "services/alerts/tariff/tariff.h"
#include "tools/hoq-sim/demo_history.h"

namespace tev::sim {
namespace {

// The demo year's Day table priced with two bands, weekdays and weekends, against the sum
// worked out by hand: each day's energy falls wholly in one band.
TEST(DemoYearCost, ATwoBandTariffGivesTheWeekdayAndWeekendSumsOfTheDemoYear) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DemoOptions options;
    options.folder = dir.path().toStdString();
    options.days = 400;
    options.end = DateTime{2026, 12, 8, 12, 0, 30, 0};
    ASSERT_EQ(writeDemoHistory(options).error, "");
    MeasurementStore store;
    ASSERT_TRUE(readRecordsFile(options.folder + "/TEV3P_Records.dat", store).ok);

    const alerts::Tariff tariff =
        alerts::loadTariff(IniDocument::parse("[tariff]\ncurrency=EUR\n"
                                              "price_per_kwh=0.30\n"
                                              "band_1=sat,sun 00:00-24:00 0.20\n"))
            .tariff;
    const ScaleTable& days = store.table(TimeScale::Day);
    ASSERT_GT(days.cnt, 390);
    double weekdayKwh = 0, weekendKwh = 0, cost = 0;
    for (int r = 0; r <= days.cnt; ++r) {  // the closed rows and the live one
        const int code = days.date(r);
        const int y = 2000 + code / 10000, m = code / 100 % 100, d = code % 100;
        const double kwh = days.value(kColKWh, r);
        const int wday = weekDayOf(y, m, d);
        (wday == 0 || wday == 6 ? weekendKwh : weekdayKwh) += kwh;
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = m - 1;
        tm.tm_mday = d;
        tm.tm_isdst = -1;
        const std::time_t from = std::mktime(&tm);
        tm = std::tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = m - 1;
        tm.tm_mday = d + 1;
        tm.tm_isdst = -1;
        cost += tariff.energyCost(kwh, from, std::mktime(&tm));
    }
    const double byHand = weekdayKwh * 0.30 + weekendKwh * 0.20;
    std::printf("demo year: %d days, weekdays %.3f kWh, weekends %.3f kWh, cost %.2f EUR\n",
                days.cnt, weekdayKwh, weekendKwh, cost);
    EXPECT_NEAR(cost, byHand, 1e-6 * byHand);
    EXPECT_GT(weekendKwh, 0);
    unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace tev::sim
