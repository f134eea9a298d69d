#include <gtest/gtest.h>

#include <memory>

#include "core/recordsio/csv_export.h"
#include "services/web/rules/api_router.h"
#include "services/web/rules/row_cost.h"
#include "services/web/rules/tidy_csv.h"
#include "webapi_fixture.h"

namespace tev::web {
namespace {

// 0.20 a kWh, 0.40 from 07:00 to 22:00 every day, 0.50 a day standing charge.
alerts::Tariff twoBands() {
    const alerts::TariffLoad load = alerts::loadTariff(
        IniDocument::parse("[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\n"
                           "standing_charge_per_day=0.50\nband_1=all 07:00-22:00 0.40\n"));
    EXPECT_TRUE(load.problems.empty());
    return load.tariff;
}

void putKwh(ScaleTable& t, int row, std::int32_t date, std::int32_t minutes, float kwh) {
    testing::putRow(t, row, date, minutes, 0);
    t.setValue(kColKWh, row, kwh);
}

// Hour rows of Tuesday 8 December 2026 and the night after, the day's kWh running count.
void fillHours(ScaleTable& h) {
    putKwh(h, 0, 261208, 360, 1.0f);  // 05:00-06:00 at 0.20: 1 kWh
    putKwh(h, 1, 261208, 420, 3.0f);  // 06:00-07:00 at 0.20: 2 kWh
    putKwh(h, 2, 261208, 480, 4.0f);  // 07:00-08:00 at 0.40: 1 kWh
    putKwh(h, 3, 261208, 0, 10.0f);   // 08:00-24:00: 6 kWh, 14 h at 0.40 and 2 h at 0.20
    putKwh(h, 4, 261209, 60, 0.5f);   // the new day's count: 00:00-01:00 at 0.20
    putKwh(h, 5, 261209, 60, 0.5f);   // the live row, nothing since
    h.cnt = 5;
}

class Costs : public ::testing::Test {
  protected:
    void SetUp() override { testing::useBerlinTime(); }
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    alerts::Tariff tariff = twoBands();

    ApiResponse get(std::string_view target, const alerts::Tariff* t) {
        const ServiceStatus status;
        const ApiContext context{*store, status, {}, {}, t};
        return *answerApi(parseRequestTarget(target).target, context);
    }
};

TEST_F(Costs, TidyHourRowsArePricedHourByHourAcrossBandEdgesAndMidnight) {
    ScaleTable& h = store->table(TimeScale::Hour);
    fillHours(h);
    const std::string csv = tidyCsv(h, false, &tariff);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), std::string(kTidyHeader) + ",cost_EUR");
    std::vector<std::string> costs;
    for (std::size_t p = csv.find('\n') + 1; p < csv.size(); p = csv.find('\n', p) + 1) {
        const std::size_t end = csv.find('\n', p);
        const std::string line = csv.substr(p, end - p);
        costs.push_back(line.substr(line.rfind(',') + 1));
    }
    // 6 kWh over 08:00-24:00: 6 x 14/16 x 0.40 + 6 x 2/16 x 0.20 = 2.10 + 0.15.
    EXPECT_EQ(costs, (std::vector<std::string>{"0.2000", "0.4000", "0.4000", "2.2500", "0.1000"}));
}

TEST_F(Costs, DayRowsCarryTheirEnergyOverTheDayAndTheStandingCharge) {
    ScaleTable& d = store->table(TimeScale::Day);
    putKwh(d, 0, 261208, 0, 10.0f);
    putKwh(d, 1, 261209, 0, 1.0f);
    d.cnt = 1;
    RowCosts costs(d, tariff);
    // 10 kWh over 24 h: 15 h at 0.40 and 9 h at 0.20 is 3.25, and 0.50 for the day.
    EXPECT_NEAR(*costs.at(0), 3.75, 1e-6);
    d.setDate(1, 991399);  // no date: no cost
    EXPECT_FALSE(costs.at(1).has_value());
}

TEST_F(Costs, TodayWeekAndMonthAddTheClosedDaysToTodaysHours) {
    fillHours(store->table(TimeScale::Hour));
    ScaleTable& d = store->table(TimeScale::Day);
    putKwh(d, 0, 261130, 0, 5.0f);   // last month: not counted
    putKwh(d, 1, 261207, 0, 24.0f);  // 24 x 0.325 + 0.50 = 8.30, this month, before the week
    putKwh(d, 2, 261208, 0, 10.0f);  // 3.75, this week and month
    putKwh(d, 3, 261209, 0, 0.5f);   // today, live
    d.cnt = 3;
    ScaleTable& w = store->table(TimeScale::Week);
    w.setDate(w.cnt, 261208);

    const PeriodCosts c = periodCosts(store->table(TimeScale::Hour), d, w, tariff);
    EXPECT_NEAR(c.today, 0.10 + 0.50, 1e-6);
    EXPECT_NEAR(c.week, 0.60 + 3.75, 1e-6);
    EXPECT_NEAR(c.month, 0.60 + 3.75 + 8.30, 1e-6);
    // The tray and the broker read the same figure from today's hour rows alone: yesterday's
    // 10 kWh are gone after midnight, whatever the day accounts K1-K3 still hold.
    const TodayFigures today = todayFigures(store->table(TimeScale::Hour), tariff, 261209);
    EXPECT_NEAR(today.kwh, 0.5, 1e-6);
    EXPECT_NEAR(today.cost, c.today, 1e-9);
    // Past the next midnight, before that day's first hour row: its standing charge alone.
    const TodayFigures next = todayFigures(store->table(TimeScale::Hour), tariff, 261210);
    EXPECT_EQ(next.kwh, 0);
    EXPECT_NEAR(next.cost, 0.50, 1e-9);
    EXPECT_EQ(get("/api/v1/costs", &tariff).body,
              "{\"currency\":\"EUR\",\"today\":0.6000,\"week\":4.3500,\"month\":12.6500}");
}

// A closed day that the Hour table holds whole is priced hour by hour, as the archive prices
// it, not by its Day row spread evenly: the evening band shows in the figure.
TEST_F(Costs, AClosedDayTheHourTableHoldsWholeIsPricedHourByHour) {
    ScaleTable& h = store->table(TimeScale::Hour);
    putKwh(h, 0, 261207, 1380, 20.0f);  // the oldest date of the table: maybe not whole
    putKwh(h, 1, 261207, 0, 21.0f);
    putKwh(h, 2, 261208, 60, 2.0f);     // 00:00-01:00  2 kWh x 0.20 = 0.40
    putKwh(h, 3, 261208, 420, 8.0f);    // 01:00-07:00  6 kWh x 0.20 = 1.20
    putKwh(h, 4, 261208, 1320, 17.0f);  // 07:00-22:00  9 kWh x 0.40 = 3.60
    putKwh(h, 5, 261208, 0, 18.0f);     // 22:00-24:00  1 kWh x 0.20 = 0.20
    putKwh(h, 6, 261209, 60, 0.5f);     // today 00:00-01:00 at 0.20
    putKwh(h, 7, 261209, 60, 0.5f);
    h.cnt = 7;
    ScaleTable& d = store->table(TimeScale::Day);
    putKwh(d, 0, 261207, 0, 24.0f);  // 24 x 0.325 + 0.50 = 8.30 from its Day row
    putKwh(d, 1, 261208, 0, 18.0f);  // evenly it would be 18 x 0.325 + 0.50 = 6.35
    putKwh(d, 2, 261209, 0, 0.5f);
    d.cnt = 2;
    ScaleTable& w = store->table(TimeScale::Week);
    w.setDate(w.cnt, 261208);

    const PeriodCosts c = periodCosts(h, d, w, tariff);
    EXPECT_NEAR(c.today, 0.10 + 0.50, 1e-6);
    EXPECT_NEAR(c.week, 0.60 + 5.40 + 0.50, 1e-6);
    EXPECT_NEAR(c.month, 0.60 + 5.90 + 8.30, 1e-6);
}

TEST_F(Costs, WithoutATariffTheTidyCsvAndCostsShowNoneAndTheOriginalCsvNeverChanges) {
    ScaleTable& h = store->table(TimeScale::Hour);
    fillHours(h);
    const alerts::Tariff none;
    EXPECT_EQ(tidyCsv(h, true, &none), tidyCsv(h, true));
    EXPECT_EQ(get("/api/v1/records.csv?scale=hour&format=tidy", nullptr).body, tidyCsv(h, false));
    EXPECT_EQ(get("/api/v1/costs", nullptr).body, "{\"currency\":null}");
    EXPECT_EQ(get("/api/v1/records.csv?scale=hour", &tariff).body, exportCsv(h));
    EXPECT_NE(get("/api/v1/records.csv?scale=hour&format=tidy", &tariff).body.find(",cost_EUR\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tev::web
