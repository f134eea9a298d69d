#include "services/web/rules/archive_costs.h"

#include <gtest/gtest.h>

#include <sstream>

#include "services/archive/rules/local_time.h"
#include "webapi_fixture.h"

namespace tev::web {
namespace {

alerts::Tariff tariffOf(const char* text) {
    const alerts::TariffLoad load = alerts::loadTariff(IniDocument::parse(text));
    EXPECT_TRUE(load.problems.empty());
    return load.tariff;
}

std::int64_t at(const char* iso) {
    return *archive::parseIsoTime(iso);
}

archive::ArchiveSeries seriesOf(archive::Resolution r, std::vector<std::int64_t> times,
                                std::vector<double> kwh) {
    archive::ArchiveSeries s;
    s.meter = "HOQ00000000A";
    s.resolution = r;
    s.time = std::move(times);
    s.quantities = {archive::findQuantity("Watt"), archive::findQuantity("Energy")};
    s.values = {std::vector<double>(s.time.size(), 100.0), std::move(kwh)};
    return s;
}

// The archive CSV's cost column, against figures worked out by hand: an hour row cut by a band
// edge at half past, a minute row before it, and the day the clocks go back in Berlin (25 hours,
// 13 of them before noon), which carries its standing charge.
TEST(ArchiveCosts, RowsArePricedOverTheirOwnPeriodWithBandEdgesAndTheLongDayOfOctober) {
    testing::useBerlinTime();
    const alerts::Tariff weekdays = tariffOf(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=mon-fri 07:30-23:00 0.40\n");
    const auto hours = seriesOf(archive::Resolution::Hour,
                                {at("2026-12-09T06:00"), at("2026-12-09T07:00"),
                                 at("2026-12-12T07:00"), at("2026-12-09T08:00")},
                                {1.0, 2.0, 2.0, -1.0});
    const archive::ExtraColumn hourCosts = archiveCostColumn(hours, weekdays);
    EXPECT_EQ(hourCosts.header, "cost_EUR");
    // 1 x 0.20; 1 x 0.20 + 1 x 0.40 on a Wednesday; 2 x 0.20 on a Saturday; a negative count
    // (a meter's reset) costs nothing rather than paying back.
    EXPECT_EQ(hourCosts.cells, (std::vector<std::string>{"0.2000", "0.6000", "0.4000", "0.0000"}));

    const auto minute = seriesOf(archive::Resolution::Minute,
                                 {at("2026-12-09T07:29"), at("2026-12-09T07:30")}, {0.1, 0.1});
    EXPECT_EQ(archiveCostColumn(minute, weekdays).cells,
              (std::vector<std::string>{"0.0200", "0.0400"}));

    const alerts::Tariff mornings = tariffOf(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=all 00:00-12:00 0.10\n");
    const auto days = seriesOf(archive::Resolution::Day,
                               {at("2026-10-25T00:00"), at("2026-10-26T00:00")}, {25.0, 24.0});
    // 13 kWh x 0.10 + 12 kWh x 0.20 + 0.50; then a 24-hour day: 12 x 0.10 + 12 x 0.20 + 0.50.
    EXPECT_EQ(archiveCostColumn(days, mornings).cells,
              (std::vector<std::string>{"4.2000", "4.1000"}));

    // Without the Energy column there is nothing to price: the cells stay empty.
    auto wattOnly = days;
    wattOnly.quantities.pop_back();
    wattOnly.values.pop_back();
    EXPECT_EQ(archiveCostColumn(wattOnly, mornings).cells, (std::vector<std::string>{"", ""}));
    std::ostringstream csv;
    const archive::ExtraColumn costs = archiveCostColumn(days, mornings);
    archive::writeTidyCsv(days, csv, &costs);
    EXPECT_EQ(csv.str(),
              "time,Watt_W,Energy_kWh,cost_EUR\n"
              "2026-10-25T00:00:00+02:00,100,25,4.2000\n"
              "2026-10-26T00:00:00+01:00,100,24,4.1000\n");
}

// A meter silent from 06:30:30 to 08:30:30 on a Wednesday used 2 kWh evenly over the silence,
// 1770 s of it before the 07:00 band edge: the hour rows priced hour by hour, and the return
// minute priced over the silence's span [06:31, 08:31), cost what that use costs.
TEST(ArchiveCosts, EnergyAfterASilenceIsPricedOverTheSilence) {
    testing::useBerlinTime();
    const alerts::Tariff tariff =
        tariffOf("[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nband_1=mon-fri 07:00-23:00 0.40\n");
    const std::vector<std::int64_t> hours = {at("2026-03-04T06:00"), at("2026-03-04T07:00"),
                                             at("2026-03-04T08:00")};
    const std::vector<double> kwh = {0.1 + 2.0 * 1770 / 7200, 1.0, 2.0 * 1830 / 7200 + 0.1};
    const double used = 0.1 * 0.20 + 2.0 * (1770 * 0.20 + 5430 * 0.40) / 7200 + 0.1 * 0.40;
    const MeterPeriodCosts c =
        meterPeriodCosts("M", hours, kwh, hours[0], at("2026-03-04T12:00"), tariff);
    EXPECT_NEAR(c.today, used, 1e-9);
    EXPECT_NEAR(c.kwhToday, 2.2, 1e-9);

    // Minute rows: after the silence, and the first after a local midnight (its own minute).
    const auto minutes = seriesOf(archive::Resolution::Minute,
                                  {at("2026-03-04T06:30"), at("2026-03-04T08:30"),
                                   at("2026-03-04T08:31"), at("2026-03-05T06:59")},
                                  {0.1, 2.0, 0.1, 0.1});
    // 2 kWh x (29 min x 0.20 + 91 min x 0.40) / 120 min = 0.70333.
    EXPECT_EQ(archiveCostColumn(minutes, tariff).cells,
              (std::vector<std::string>{"0.0200", "0.7033", "0.0400", "0.0200"}));
}

// Wednesday 9 December 2026, 10:30: the week began on Sunday the 6th, the month on Tuesday the
// 1st. Each day from a meter's first archived day on carries the standing charge.
TEST(ArchiveCosts, TodayWeekAndMonthOfEachMeterWithStandingChargesFromItsFirstDay) {
    testing::useBerlinTime();
    const alerts::Tariff tariff = tariffOf(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=mon-fri 07:00-23:00 0.40\n");
    const auto now = static_cast<std::time_t>(at("2026-12-09T10:30"));
    EXPECT_EQ(periodCostsFrom(now), at("2026-12-01T00:00"));
    // On the 1st, the week began in the month before.
    EXPECT_EQ(periodCostsFrom(static_cast<std::time_t>(at("2026-12-01T09:00"))),
              at("2026-11-29T00:00"));
    // On Sunday the 1st, a week from Monday began on the Monday before.
    EXPECT_EQ(periodCostsFrom(static_cast<std::time_t>(at("2026-11-01T09:00"))),
              at("2026-10-26T00:00"));

    const MeterPeriodCosts a =
        meterPeriodCosts("HOQ00000000A",
                         {at("2026-11-30T12:00"), at("2026-12-02T12:00"), at("2026-12-06T12:00"),
                          at("2026-12-09T06:00"), at("2026-12-09T07:00"), at("2026-12-09T10:00"),
                          at("2026-12-09T11:00")},
                         {5.0, 4.0, 3.0, 1.0, 2.0, 0.5, 9.0}, at("2026-11-20T12:00"), now, tariff);
    // Today 0.20 + 0.80 + 0.20 and one standing charge; the week adds Sunday's 3 kWh at 0.20 and
    // three more days; the month adds Wednesday the 2nd's 4 kWh at 0.40 and five more days.
    // November's row and the hour after now are not counted.
    EXPECT_NEAR(a.kwhToday, 3.5, 1e-9);
    EXPECT_NEAR(a.today, 1.70, 1e-9);
    EXPECT_NEAR(a.kwhWeek, 6.5, 1e-9);
    EXPECT_NEAR(a.week, 3.80, 1e-9);
    EXPECT_NEAR(a.kwhMonth, 10.5, 1e-9);
    EXPECT_NEAR(a.month, 7.90, 1e-9);

    // A meter first archived on Monday the 7th pays Monday to Wednesday only.
    const MeterPeriodCosts b = meterPeriodCosts("HOQ00000000B", {at("2026-12-07T09:00")}, {1.0},
                                                at("2026-12-07T09:00"), now, tariff);
    EXPECT_NEAR(b.today, 0.50, 1e-9);
    EXPECT_NEAR(b.week, 1.90, 1e-9);
    EXPECT_NEAR(b.month, 1.90, 1e-9);
    // A meter with no hour at all costs nothing.
    const MeterPeriodCosts c = meterPeriodCosts("HOQ00000000C", {}, {}, 0, now, tariff);
    EXPECT_EQ(c.today + c.week + c.month, 0.0);

    // Each meter's costs are its energy's; the site's hold one standing charge, B's three days.
    MeterNames names;
    names.byId.emplace("HOQ00000000B", "Shed \"B\"");
    EXPECT_EQ(meterCostsJson({b, c}, tariff, names),
              "{\"currency\":\"EUR\",\"meters\":["
              "{\"id\":\"HOQ00000000B\",\"name\":\"Shed \\\"B\\\"\",\"kwh_today\":0.0000,"
              "\"today\":0.0000,\"kwh_week\":1.0000,\"week\":0.4000,\"kwh_month\":1.0000,"
              "\"month\":0.4000,\"kwh_today_phases\":null},"
              "{\"id\":\"HOQ00000000C\",\"name\":null,\"kwh_today\":0.0000,\"today\":0.0000,"
              "\"kwh_week\":0.0000,\"week\":0.0000,\"kwh_month\":0.0000,\"month\":0.0000,"
              "\"kwh_today_phases\":null}],"
              "\"site\":{\"kwh_today\":0.0000,\"today\":0.5000,\"kwh_week\":1.0000,\"week\":1.9000,"
              "\"kwh_month\":1.0000,\"month\":1.9000},\"standing_today\":0.5000}");
    // A (archived since November) and B: every kWh of both, and A's standing charges once:
    // today 1.20 + 0.50, the week 1.80 + 0.40 + four days, the month 3.40 + 0.40 + nine days.
    EXPECT_NE(meterCostsJson({a, b}, tariff)
                  .find("\"site\":{\"kwh_today\":3.5000,\"today\":1.7000,\"kwh_week\":7.5000,"
                        "\"week\":4.2000,\"kwh_month\":11.5000,\"month\":8.3000},"
                        "\"standing_today\":0.5000}"),
              std::string::npos);
}

// Today's energy per phase: each hour's energy shared out as its phases' mean powers; unknown
// once an hour with energy has no phase power (an hour without energy needs none).
TEST(ArchiveCosts, TodaysEnergyPerPhaseFollowsEachHoursPhasePowers) {
    testing::useBerlinTime();
    const alerts::Tariff tariff = tariffOf("[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\n");
    const double none = archive::kNoPhaseWatts;
    struct Case {
        std::vector<double> kwh;
        std::vector<std::array<double, 3>> watts;
        const char* json;
    };
    const Case cases[] = {
        {{2.0, 1.0}, {{100, 100, 200}, {300, 0, 0}}, "[1.5000,0.5000,1.0000]"},
        {{2.0, 0.0}, {{100, 100, 200}, {none, none, none}}, "[0.5000,0.5000,1.0000]"},
        {{2.0, 1.0}, {{100, 100, 200}, {none, 10, 10}}, "null"},
        {{2.0, 1.0}, {{100, 100, 200}}, "null"},
        {{2.0, 1.0}, {{0, 0, 0}, {300, 0, 0}}, "null"},
    };
    for (const Case& c : cases) {
        archive::MeterEnergy rows;
        rows.meter = "M";
        rows.time = {at("2026-12-09T06:00"), at("2026-12-09T07:00")};
        rows.firstRow = rows.time[0];
        rows.kwh = c.kwh;
        rows.phaseWatts = c.watts;
        const MeterPeriodCosts m =
            meterPeriodCosts(rows, static_cast<std::time_t>(at("2026-12-09T10:30")), tariff);
        EXPECT_NE(
            meterCostsJson({m}, tariff).find(std::string("\"kwh_today_phases\":") + c.json + "}"),
            std::string::npos)
            << c.json;
    }
}

// Sunday 6 and Monday 7 December 2026: a week from Monday holds Monday's hour alone on the
// Monday and the whole week before on the Sunday; a week from Sunday the other way round.
TEST(ArchiveCosts, TheWeekStartsOnMondayOrSundayAsAsked) {
    testing::useBerlinTime();
    const alerts::Tariff tariff = tariffOf("[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\n");
    const std::vector<std::int64_t> hours = {at("2026-11-30T12:00"), at("2026-12-06T12:00"),
                                             at("2026-12-07T09:00")};
    const std::vector<double> kwh = {4.0, 2.0, 1.0};
    struct Case {
        const char* now;
        archive::WeekStart weekStart;
        double kwhWeek;
    };
    for (const Case& c : {Case{"2026-12-07T10:00", archive::WeekStart::Monday, 1.0},
                          Case{"2026-12-07T10:00", archive::WeekStart::Sunday, 3.0},
                          Case{"2026-12-06T23:00", archive::WeekStart::Monday, 6.0},
                          Case{"2026-12-06T23:00", archive::WeekStart::Sunday, 2.0}}) {
        const auto now = static_cast<std::time_t>(at(c.now));
        const MeterPeriodCosts m =
            meterPeriodCosts("M", hours, kwh, hours[0], now, tariff, c.weekStart);
        EXPECT_NEAR(m.kwhWeek, c.kwhWeek, 1e-9)
            << c.now << " " << archive::weekStartName(c.weekStart);
    }
}

}  // namespace
}  // namespace tev::web
