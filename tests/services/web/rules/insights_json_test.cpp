#include "services/web/rules/insights_json.h"

#include <gtest/gtest.h>

#include "webapi_fixture.h"

namespace tev::web {
namespace {

alerts::Tariff euroTariff() {
    return alerts::loadTariff(IniDocument::parse("[tariff]\ncurrency=EUR\nprice_per_kwh=0.30\n"
                                                 "standing_charge_per_day=0.50\n"))
        .tariff;
}

// A meter with every figure known: what each one is written as.
MeterInsights kitchen() {
    MeterInsights m;
    m.meter = "SIM000000001";
    m.name = "Kitchen";
    m.now = 1765300000;
    m.priced = true;
    m.todayKwh = 4.21;
    m.todayCost = 1.763;
    m.todayStanding = 0.5;
    m.month.monthStart = 1764543600;
    m.month.monthEnd = 1767222000;
    m.month.kwhToDate = 80.5;
    m.month.costToDate = 28.15;
    m.monthStanding = 4;
    m.month.projectedKwh = 310.25;
    m.month.projectedCost = 108.575;
    m.projectedStanding = 15.5;
    m.month.historyDays = 28;
    m.month.lastMonthKwhToDate = 70;
    m.month.lastYearKwh = 300.12346;
    m.base = archive::DayBaseLoad{1765234800, 180.44, true, 0.75};
    m.baseDays = {{1765148400, 175, false, 1.5}, *m.base};
    m.baseYearCost = 474.2;
    m.peakToday = archive::Peak{1765234800, 1765270800, 5321.26, true};
    m.peakMonth = archive::Peak{1764543600, 1764601200, 7000, false};
    m.peakDays = {*m.peakToday};
    m.peakMonths = {*m.peakMonth};
    m.demandCharge = 21;
    m.phases.hoursCounted = 600;
    m.phases.meanWatts = {1500, 900.26, 600};
    m.phases.heaviest = 0;
    m.phases.lightest = 2;
    m.phases.shareAboveLimit = 0.2334;
    m.phases.moveWatts = 812;
    m.phaseLimitPercent = 30;
    m.unusualDays = {{1764975600, 41.2, 18.5}};
    return m;
}

TEST(InsightsJson, WritesEveryFigureAndNullsWhatIsNotKnown) {
    const alerts::Tariff tariff = euroTariff();
    struct Case {
        const char* what;
        MeterInsights m;
        bool withTariff;
        std::vector<std::string> members;
    };
    MeterInsights bare;
    bare.meter = "SIM000000002";
    bare.now = 1765300000;
    MeterInsights unpriced = kitchen();
    unpriced.priced = false;
    const Case cases[] = {
        {"every figure",
         kitchen(),
         true,
         {"{\"meter\":\"SIM000000001\",\"name\":\"Kitchen\",\"now\":1765300000,"
          "\"currency\":\"EUR\",\"today\":{\"kwh\":4.21,\"cost\":1.763},"
          "\"month\":{\"start\":1764543600,\"end\":1767222000,\"kwh_to_date\":80.5,"
          "\"cost_to_date\":28.15,\"projected_kwh\":310.25,\"projected_cost\":108.575,"
          "\"history_days\":28,\"last_month_kwh_to_date\":70,\"last_month_kwh\":null,"
          "\"last_year_kwh_to_date\":null,\"last_year_kwh\":300.1235},",
          "\"base_load\":{\"watts\":180.4,\"from_minutes\":true,\"year_cost\":474.2,"
          "\"night_kwh_above_base\":0.75,\"days\":[{\"day\":1765148400,\"watts\":175,"
          "\"from_minutes\":false,\"night_kwh_above_base\":1.5},{\"day\":1765234800,"
          "\"watts\":180.4,\"from_minutes\":true,\"night_kwh_above_base\":0.75}]}",
          "\"peak\":{\"today\":{\"start\":1765270800,\"watts\":5321.3,\"from_minutes\":true},"
          "\"month\":{\"start\":1764601200,\"watts\":7000,\"from_minutes\":false},"
          "\"days\":[{\"day\":1765234800,\"start\":1765270800,\"watts\":5321.3,"
          "\"from_minutes\":true}],\"months\":[{\"month\":1764543600,\"start\":1764601200,"
          "\"watts\":7000,\"from_minutes\":false}],\"demand_charge\":21}",
          "\"phases\":{\"hours\":600,\"mean_w\":[1500,900.3,600],\"heaviest\":\"L1\","
          "\"lightest\":\"L3\",\"share_above_limit\":0.233,\"limit_percent\":30,\"move_w\":812,"
          "\"advice\":\"Move about 0.8 kW of load from L1 to L3: the imbalance was above 30 % in "
          "23 % of the hours of the last 4 weeks.\"}",
          "\"unusual_days\":[{\"day\":1764975600,\"kwh\":41.2,\"typical_kwh\":18.5}]}"}},
        {"no tariff: no cost",
         unpriced,
         false,
         {"\"currency\":null,\"today\":{\"kwh\":4.21,\"cost\":null}",
          "\"cost_to_date\":null,\"projected_kwh\":310.25,\"projected_cost\":null,"}},
        {"no rows",
         bare,
         true,
         {"{\"meter\":\"SIM000000002\",\"name\":null,\"now\":1765300000,\"currency\":null,",
          "\"base_load\":{\"watts\":null,\"from_minutes\":false,\"year_cost\":null,"
          "\"night_kwh_above_base\":null,\"days\":[]}",
          "\"peak\":{\"today\":null,\"month\":null,\"days\":[],\"months\":[],"
          "\"demand_charge\":null}",
          "\"phases\":{\"hours\":0,\"mean_w\":[0,0,0],\"heaviest\":null,\"lightest\":null,"
          "\"share_above_limit\":0,\"limit_percent\":30,\"move_w\":0,\"advice\":null}",
          "\"unusual_days\":[]}"}},
    };
    for (const Case& c : cases) {
        const std::string json = meterInsightsJson(c.m, c.withTariff ? &tariff : nullptr);
        for (const std::string& member : c.members)
            EXPECT_NE(json.find(member), std::string::npos) << c.what << "\n"
                                                            << member << "\n"
                                                            << json;
    }
}

TEST(InsightsJson, PhaseAdviceSaysWhatToMoveOrThatThePhasesAreBalanced) {
    struct Case {
        int heaviest, lightest;
        double share, move;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {1, 0, 0.5, 2460,
         "Move about 2.5 kW of load from L2 to L1: the imbalance was above 30 % in 50 % of the "
         "hours of the last 4 weeks."},
        {2, 1, 0.11, 40,
         "Move about 0.1 kW of load from L3 to L2: the imbalance was above 30 % in 11 % of the "
         "hours of the last 4 weeks."},
        {0, 2, 0.04, 0,
         "The phases are balanced: the imbalance was above 30 % in 4 % of the hours of the last "
         "4 weeks."},
        {-1, -1, 0, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        archive::PhaseAdvice a;
        a.hoursCounted = c.heaviest < 0 ? 0 : 100;
        a.heaviest = c.heaviest;
        a.lightest = c.lightest;
        a.shareAboveLimit = c.share;
        a.moveWatts = c.move;
        EXPECT_EQ(phaseAdviceText(a, 30), c.text) << c.move;
    }
}

// Two meters of one site: each entry's costs are its energy's alone, the site's sums hold the
// standing charge once; a meter with no projection yet adds none.
TEST(InsightsJson, SiteCountsTheStandingChargeOnce) {
    const alerts::Tariff tariff = euroTariff();
    MeterInsights second = kitchen();
    second.meter = "SIM000000002";
    second.name.reset();
    second.month.projectedKwh.reset();
    second.month.projectedCost.reset();
    second.projectedStanding = 0;
    const std::string json = siteInsightsJson(1765300000, {kitchen(), second}, &tariff);
    for (const char* member : {
             "{\"now\":1765300000,\"currency\":\"EUR\",\"meters\":[{\"meter\":\"SIM000000001\","
             "\"name\":\"Kitchen\",\"today\":{\"kwh\":4.21,\"cost\":1.263},",
             "\"kwh_to_date\":80.5,\"cost_to_date\":24.15,\"projected_kwh\":310.25,"
             "\"projected_cost\":93.075,",
             "{\"meter\":\"SIM000000002\",\"name\":null,",
             "\"site\":{\"today\":{\"kwh\":8.42,\"cost\":3.026},\"month\":{\"kwh_to_date\":161,"
             "\"cost_to_date\":52.3,\"projected_kwh\":310.25,\"projected_cost\":108.575}}}",
         })
        EXPECT_NE(json.find(member), std::string::npos) << member << "\n" << json;
    const std::string unpriced = siteInsightsJson(1765300000, {kitchen()}, nullptr);
    EXPECT_NE(unpriced.find("\"site\":{\"today\":{\"kwh\":4.21,\"cost\":null},\"month\":{"
                            "\"kwh_to_date\":80.5,\"cost_to_date\":null,\"projected_kwh\":310.25,"
                            "\"projected_cost\":null}}}"),
              std::string::npos)
        << unpriced;
}

}  // namespace
}  // namespace tev::web
