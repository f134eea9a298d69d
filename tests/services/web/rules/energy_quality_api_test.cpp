#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "services/archive/rules/local_time.h"
#include "services/web/rules/meter_archive_api.h"
#include "services/web/rules/quality_settings.h"
#include "webapi_fixture.h"

namespace tev::web {
namespace {

std::int64_t at(const char* iso) {
    return *archive::parseIsoTime(iso);
}

using Parsed = std::optional<std::variant<MeterArchiveRequest, ApiResponse>>;

Parsed parseAt(std::string_view target, std::int64_t now) {
    const ParsedTarget p = parseRequestTarget(target);
    EXPECT_EQ(p.problem, TargetProblem::None) << target;
    return meterArchiveRequestFrom(p.target, now);
}

// Energy and quality requests come back with their bounds settled against `now`, Tuesday
// 8 December 2026; bad periods, weeks and spans are refused.
TEST(EnergyQualityApi, SettlesTheBoundsOfEnergyAndQualityRequestsAndRefusesBadOnes) {
    testing::useBerlinTime();
    const std::int64_t now = at("2026-12-08T10:00");
    using Form = MeterArchiveRequest::Form;
    struct Case {
        const char* target;
        Form form;
        archive::Resolution resolution;
        std::int64_t from, to;
    };
    const Case cases[] = {
        {"energy?period=week&from=2026-03-28&to=2026-04-10", Form::Energy,
         archive::Resolution::Hour, at("2026-03-23"), at("2026-04-10")},
        {"energy", Form::Energy, archive::Resolution::Hour, at("2026-11-26"), at("2026-12-09")},
        {"energy?period=month", Form::Energy, archive::Resolution::Hour, at("2025-12-01"),
         at("2027-01-01")},
        // Hours: today's by default, from='s day without to=, a month of them across the long
        // day of October.
        {"energy?period=hour", Form::Energy, archive::Resolution::Hour, at("2026-12-08"),
         at("2026-12-09")},
        {"energy?period=hour&from=2026-10-25T10:30", Form::Energy, archive::Resolution::Hour,
         at("2026-10-25T10:00"), at("2026-10-26")},
        {"energy?period=hour&from=2026-10-01&to=2026-11-01", Form::Energy,
         archive::Resolution::Hour, at("2026-10-01"), at("2026-11-01")},
        {"quality?week=2026-W13", Form::Quality, archive::Resolution::Minute, at("2026-03-23"),
         at("2026-03-30")},
        {"quality.csv", Form::QualityCsv, archive::Resolution::Minute, at("2026-12-07"),
         at("2026-12-14")},
    };
    for (const Case& c : cases) {
        const Parsed p = parseAt(std::string("/api/v1/meters/HOQ00000000A/") + c.target, now);
        ASSERT_TRUE(p && std::holds_alternative<MeterArchiveRequest>(*p)) << c.target;
        const auto& r = std::get<MeterArchiveRequest>(*p);
        EXPECT_EQ(r.form, c.form) << c.target;
        EXPECT_EQ(r.resolution, c.resolution) << c.target;
        EXPECT_EQ(r.from, c.from) << c.target;
        EXPECT_EQ(r.to, c.to) << c.target;
        EXPECT_EQ(r.quantities.size(), c.form == Form::Energy ? 1u : 9u) << c.target;
    }
    // Sunday 6 December 2026 lies in the week from Monday 30 November, or is the first day of
    // its week from Sunday; Monday the 7th starts a week from Monday.
    for (const auto& [from, weekStart, start] :
         std::initializer_list<std::tuple<const char*, archive::WeekStart, std::int64_t>>{
             {"2026-12-06T12:00", archive::WeekStart::Monday, at("2026-11-30")},
             {"2026-12-06T12:00", archive::WeekStart::Sunday, at("2026-12-06")},
             {"2026-12-07T00:00", archive::WeekStart::Monday, at("2026-12-07")},
             {"2026-12-07T00:00", archive::WeekStart::Sunday, at("2026-12-06")}}) {
        const ParsedTarget t = parseRequestTarget(
            std::string("/api/v1/meters/HOQ00000000A/energy?period=week&from=") + from);
        const auto p = meterArchiveRequestFrom(t.target, now, weekStart);
        ASSERT_TRUE(p && std::holds_alternative<MeterArchiveRequest>(*p)) << from;
        EXPECT_EQ(std::get<MeterArchiveRequest>(*p).from, start)
            << from << " " << archive::weekStartName(weekStart);
    }
    for (const auto& [target, status] : std::initializer_list<std::pair<const char*, int>>{
             {"energy?period=year", 400},
             {"energy?from=2020-01-01&to=2026-01-01", 400},
             {"energy?from=2026-02-01&to=2026-01-01", 400},
             {"energy?from=soon", 400},
             {"energy?period=hour&from=2026-01-01&to=2026-02-02", 400},
             {"energy?period=hour&from=2026-12-08T10:00&to=2026-12-08T10:00", 400},
             {"quality?week=2026-W54", 400},
             {"quality?week=2025-W53", 400},
             {"quality.json", 404},
             {"insights?at=soon", 400},
             {"insights?at=-5", 400}}) {
        const Parsed p = parseAt(std::string("/api/v1/meters/HOQ00000000A/") + target, now);
        ASSERT_TRUE(p && std::holds_alternative<ApiResponse>(*p)) << target;
        EXPECT_EQ(std::get<ApiResponse>(*p).status, status) << target;
    }
}

// The evening figures are as of at= (Unix seconds or ISO), else now; the site's too.
TEST(EnergyQualityApi, InsightsAreAsOfAtOrNow) {
    testing::useBerlinTime();
    const std::int64_t now = at("2026-12-08T10:00");
    for (const auto& [query, expected] :
         std::initializer_list<std::pair<const char*, std::int64_t>>{
             {"", now},
             {"?at=1764000000", 1764000000},
             {"?at=2026-11-30T12:00", at("2026-11-30T12:00")}}) {
        const Parsed p = parseAt(std::string("/api/v1/meters/HOQ00000000A/insights") + query, now);
        ASSERT_TRUE(p && std::holds_alternative<MeterArchiveRequest>(*p)) << query;
        EXPECT_EQ(std::get<MeterArchiveRequest>(*p).form, MeterArchiveRequest::Form::Insights);
        EXPECT_EQ(std::get<MeterArchiveRequest>(*p).at, expected) << query;
        const auto site = siteInsightsAtFrom(
            parseRequestTarget(std::string("/api/v1/insights") + query).target, now);
        ASSERT_TRUE(site && std::holds_alternative<std::int64_t>(*site)) << query;
        EXPECT_EQ(std::get<std::int64_t>(*site), expected) << query;
    }
    const auto bad = siteInsightsAtFrom(parseRequestTarget("/api/v1/insights?at=x").target, now);
    ASSERT_TRUE(bad && std::holds_alternative<ApiResponse>(*bad));
    EXPECT_EQ(std::get<ApiResponse>(*bad).status, 400);
    EXPECT_FALSE(siteInsightsAtFrom(parseRequestTarget("/api/v1/insight").target, now));
}

// The long day of October (25 hours, Sunday, no band) and the Monday after it (a band from
// 07:30, cutting the 07:00 hour in half), 1 kWh an hour, read on Tuesday: the Tuesday has no
// rows yet, so no figures (and is not counted as running).
TEST(EnergyQualityApi, AnswersEnergyPerDayPricedHourByHourWithStandingCharges) {
    testing::useBerlinTime();
    const alerts::TariffLoad load = alerts::loadTariff(IniDocument::parse(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=mon-fri 07:30-23:00 0.40\n"));
    ASSERT_TRUE(load.problems.empty());
    archive::ArchiveSeries hours;
    hours.resolution = archive::Resolution::Hour;
    hours.quantities = {archive::findQuantity("Energy")};
    hours.values.resize(1);
    for (std::int64_t t = at("2026-10-25"); t < at("2026-10-27"); t += 3600) {
        hours.time.push_back(t);
        hours.values[0].push_back(1);
    }
    const std::int64_t now = at("2026-10-27T10:00");
    const Parsed p =
        parseAt("/api/v1/meters/HOQ00000000A/energy?from=2026-10-25&to=2026-10-28", now);
    ASSERT_TRUE(p && std::holds_alternative<MeterArchiveRequest>(*p));
    const ApiResponse r =
        meterArchiveResponse(std::get<MeterArchiveRequest>(*p), hours, "", &load.tariff, now);
    EXPECT_EQ(r.status, 200);
    // Sunday 25 × 0.20 + 0.50; Monday 7 × 0.20 + 0.5 × 0.20 + 0.5 × 0.40 + 15 × 0.40 + 0.20 + 0.50.
    EXPECT_EQ(r.body,
              "{\"meter\":\"HOQ00000000A\",\"name\":null,\"period\":\"day\",\"currency\":\"EUR\","
              "\"time\":[" +
                  std::to_string(at("2026-10-24T22:00Z")) + "," +
                  std::to_string(at("2026-10-25T23:00Z")) + "," +
                  std::to_string(at("2026-10-26T23:00Z")) +
                  "],\"kwh\":[25,24,null],\"cost\":[5.5,8.4,null],"
                  "\"partial\":[false,false,false]}");
    // Three days whose middle one has no row: no data that day, rather than 0 kWh and 0.50.
    archive::ArchiveSeries gap = hours;
    for (std::size_t i = 0; i < gap.time.size(); ++i)
        if (gap.time[i] >= at("2026-10-26")) gap.time[i] += 86400;
    MeterArchiveRequest named = std::get<MeterArchiveRequest>(*p);
    named.name = "K\u00fcche <1>";
    const std::string body =
        meterArchiveResponse(named, gap, "", &load.tariff, at("2026-10-28T10:00")).body;
    EXPECT_EQ(body.rfind("{\"meter\":\"HOQ00000000A\",\"name\":\"K\u00fcche <1>\",\"period\":", 0),
              0u)
        << body;
    EXPECT_NE(body.find("\"kwh\":[25,null,24],\"cost\":[5.5,null,8.4],"
                        "\"partial\":[false,false,false]}"),
              std::string::npos)
        << body;
    // Hourly bars: each hour its energy at its own prices, the day's standing charge in none.
    const Parsed hourly = parseAt(
        "/api/v1/meters/HOQ00000000A/energy?period=hour&from=2026-10-26T06:00&to=2026-10-26T09:00",
        now);
    ASSERT_TRUE(hourly && std::holds_alternative<MeterArchiveRequest>(*hourly));
    EXPECT_EQ(
        meterArchiveResponse(std::get<MeterArchiveRequest>(*hourly), hours, "", &load.tariff, now)
            .body,
        "{\"meter\":\"HOQ00000000A\",\"name\":null,\"period\":\"hour\",\"currency\":\"EUR\","
        "\"time\":[" +
            std::to_string(at("2026-10-26T06:00")) + "," + std::to_string(at("2026-10-26T07:00")) +
            "," + std::to_string(at("2026-10-26T08:00")) +
            "],\"kwh\":[1,1,1],\"cost\":[0.2,0.3,0.4],\"partial\":[false,false,false]}");
    const std::string unpriced =
        meterArchiveResponse(std::get<MeterArchiveRequest>(*p), hours, "", nullptr, now).body;
    EXPECT_NE(unpriced.find("\"currency\":null,"), std::string::npos);
    EXPECT_NE(unpriced.find("\"cost\":null,"), std::string::npos);
}

TEST(EnergyQualityApi, AnswersTheQualityWeekAsCsvAndReadsTheNominalVoltage) {
    testing::useBerlinTime();
    const std::int64_t now = at("2026-03-30T10:00");
    const Parsed p = parseAt("/api/v1/meters/HOQ00000000A/quality.csv?week=2026-W13", now);
    ASSERT_TRUE(p && std::holds_alternative<MeterArchiveRequest>(*p));
    const auto& request = std::get<MeterArchiveRequest>(*p);
    archive::ArchiveSeries minutes;
    minutes.resolution = archive::Resolution::Minute;
    for (const std::string& name : request.quantities)
        minutes.quantities.push_back(archive::findQuantity(name));
    // One window of the week's 1002 (the clock goes forward on Sunday): too few for a verdict.
    // L1 dips to 200 V in its second minute, L2 is missing (no extremes), L3 is high.
    minutes.time = {at("2026-03-25T12:00"), at("2026-03-25T12:01")};
    minutes.values = {{230, 230}, {229, 200}, {231, 231}, {NAN, NAN}, {NAN, NAN},
                      {NAN, NAN}, {260, 260}, {259, 259}, {261, 261}};
    const ApiResponse r = meterArchiveResponse(request, minutes, "", nullptr, now, 230);
    EXPECT_EQ(r.body,
              "week,meter,phase,nominal_V,windows,coverage_pct,windows_in_band,share_in_band_pct,"
              "dead_windows,dip_minutes,swell_minutes,lowest_V,highest_V,verdict,"
              "worst_unbalance_pct,worst_unbalance_time\n"
              "2026-W13,HOQ00000000A,L1,230,1,0.1,1,100,0,1,0,200,231,not enough data,,\n"
              "2026-W13,HOQ00000000A,L2,230,0,0,0,0,0,0,0,,,no data,,\n"
              "2026-W13,HOQ00000000A,L3,230,1,0.1,0,0,0,0,2,259,261,not enough data,,\n");
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0].second,
              "attachment; filename=\"TEV3P_HOQ00000000A_quality_2026-W13.csv\"");
    // A meter ID from the path is one text cell: quoted when it would move the columns, defused
    // when a spreadsheet would run it.
    for (const auto& [id, cell] : {std::pair{"AB\"CD,x>EF;;", "\"AB\"\"CD,x>EF;;\""},
                                   std::pair{"=1+2+cmd|A0!", "'=1+2+cmd|A0!"}}) {
        MeterArchiveRequest hostile = request;
        hostile.meter = id;
        const std::string body = meterArchiveResponse(hostile, minutes, "", nullptr, now, 230).body;
        EXPECT_NE(body.find("\n2026-W13," + std::string(cell) + ",L1,230,"), std::string::npos)
            << body;
    }

    for (const auto& [text, volts, problems] :
         std::initializer_list<std::tuple<const char*, double, std::size_t>>{
             {"", 240, 0},
             {"[quality]\nvoltage_nominal=120\n", 120, 0},
             {"[quality]\nvoltage_nominal=12\n", 240, 1},
             {"[quality]\nvoltage_nominal=230V\n", 240, 1},
             {"[quality]\nnominal=230\n", 240, 1}}) {
        std::vector<ConfigProblem> found;
        EXPECT_EQ(loadVoltageNominal(IniDocument::parse(text), 240, found), volts) << text;
        EXPECT_EQ(found.size(), problems) << text;
    }
    for (const auto& [text, weekStart, problems] :
         std::initializer_list<std::tuple<const char*, archive::WeekStart, std::size_t>>{
             {"", archive::WeekStart::Monday, 0},
             {"[dashboard]\nweek_start=sunday\n", archive::WeekStart::Sunday, 0},
             {"[dashboard]\nweek_start=monday\n", archive::WeekStart::Monday, 0},
             {"[dashboard]\nweek_start=Sunday\n", archive::WeekStart::Monday, 1},
             {"[dashboard]\nweek=sunday\n", archive::WeekStart::Monday, 1}}) {
        std::vector<ConfigProblem> found;
        EXPECT_EQ(loadWeekStart(IniDocument::parse(text), found), weekStart) << text;
        EXPECT_EQ(found.size(), problems) << text;
    }
}

}  // namespace
}  // namespace tev::web
