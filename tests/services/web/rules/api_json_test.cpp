#include <gtest/gtest.h>

#include <memory>

#include "core/meterlink/phase_imbalance.h"
#include "core/recordsio/csv_export.h"
#include "core/texts/json_text.h"
#include "services/alerts/rules/alert_evaluator.h"
#include "services/web/rules/api_router.h"
#include "webapi_fixture.h"

namespace tev::web {
namespace {

constexpr std::int64_t kDec8 = 1796684400;  // 2026-12-08 00:00 Berlin

class Api : public ::testing::Test {
  protected:
    void SetUp() override { testing::useBerlinTime(); }

    ApiResponse get(std::string_view target) {
        const ParsedTarget p = parseRequestTarget(target);
        EXPECT_EQ(p.problem, TargetProblem::None);
        const ApiContext context{*store, status, {logFirst, &log}};
        auto r = answerApi(p.target, context);
        EXPECT_TRUE(r.has_value()) << target;
        return r ? *r : ApiResponse{};
    }

    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    ServiceStatus status;
    std::deque<std::string> log;
    std::uint64_t logFirst = 1;
};

TEST_F(Api, JsonStringsEscapeQuotesControlsAndBrokenUtf8) {
    std::string out;
    appendJsonString(out, std::string_view("a\"b\\c\n\x01\xff\xc3\xa9", 10));
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\u000a\\u0001\xEF\xBF\xBD\xc3\xa9\"");
    out.clear();
    appendJsonNumber(out, 230.1f);
    out += ',';
    appendJsonNumber(out, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(out, "230.1,null");
}

TEST_F(Api, LiveGivesThePrimaryMetersFifteenReadingsAndTheLink) {
    store->live.V1 = 231.5f;
    store->live.Watt = 1500;
    store->live.K3 = 0.25f;
    testing::registerMeter(*store, "HOQ000000001", 230, 1);
    status.now = 1796000000;
    status.linkOn = true;
    status.runId = "k3x9";
    const std::string body = get("/api/v1/live").body;
    EXPECT_EQ(body,
              "{\"time\":1796000000,\"link\":true,\"offline_alarm\":false,\"language\":\"english\","
              "\"run\":\"k3x9\",\"zone\":\"CET\",\"utc_offset\":3600,\"time_zone\":null,"
              "\"meters\":1,"
              "\"meter\":\"HOQ000000001\",\"name\":null,\"week_start\":\"monday\",\"readings\":{"
              "\"V1\":231.5,\"V2\":0,\"V3\":0,\"Amp\":0,"
              "\"A1\":0,\"A2\":0,\"A3\":0,\"Watt\":1500,\"W1\":0,\"W2\":0,\"W3\":0,\"KWh\":0,"
              "\"K1\":0,\"K2\":0,\"K3\":0.25},\"imbalance\":null}");
    status.timeZone = "Europe/Berlin";
    EXPECT_NE(
        get("/api/v1/live").body.find(",\"utc_offset\":3600,\"time_zone\":\"Europe/Berlin\","),
        std::string::npos);
}

TEST_F(Api, MetersListsEveryRegisteredMeterWithItsOnlineState) {
    EXPECT_EQ(get("/api/v1/meters").body, "[]");
    testing::registerMeter(*store, "HOQ000000001", 230, 1);
    testing::registerMeter(*store, "HOQ000000002", 220, 2);
    status.now = 1000;
    status.lastMessage["HOQ000000001"] = 990;
    status.lastMessage["HOQ000000002"] = 1000 - kOnlineSeconds - 1;
    const std::string body = get("/api/v1/meters").body;
    EXPECT_EQ(body.substr(0, body.find("},{") + 1),
              "[{\"id\":\"HOQ000000001\",\"name\":null,\"ip\":\"192.0.2.7\",\"last_message\":990,"
              "\"V1\":230,\"V2\":231,\"V3\":232,\"A1\":1,\"A2\":2,\"A3\":3,\"Watt\":1193.68,"
              "\"day_kwh\":12.5,\"imbalance\":50,\"online\":true,\"offline_since\":null}");
    EXPECT_NE(body.find("\"HOQ000000002\",\"name\":null,\"ip\":\"192.0.2.7\",\"last_message\":939"),
              std::string::npos);
    // Silent for longer than a minute: off-line since it was last heard.
    EXPECT_NE(body.find("\"online\":false,\"offline_since\":939}]"), std::string::npos);
    // The off-line alarm puts every meter off-line.
    status.offlineAlarm = true;
    EXPECT_EQ(get("/api/v1/meters").body.find("\"online\":true"), std::string::npos);
    // A meter back in a row that still holds another meter's readings shows none of them, in
    // the list or the metrics, until its own data message.
    status.noReadingsYet.insert("HOQ000000002");
    EXPECT_NE(
        get("/api/v1/meters")
            .body.find("\"V1\":null,\"V2\":null,\"V3\":null,\"A1\":null,\"A2\":null,\"A3\":null,"
                       "\"Watt\":null,\"day_kwh\":null,\"imbalance\":null"),
        std::string::npos);
    const std::string metrics = get("/metrics").body;
    EXPECT_NE(metrics.find("tev3p_voltage_volts{meter=\"HOQ000000001\""), std::string::npos);
    EXPECT_EQ(metrics.find("tev3p_voltage_volts{meter=\"HOQ000000002\""), std::string::npos);
    EXPECT_EQ(metrics.find("tev3p_meter_energy_today_kwh{meter=\"HOQ000000002\""),
              std::string::npos);
}

// The imbalance the meters list and the live readings give is the one the imbalance alert
// judges: the largest deviation from the mean in % of the mean, none at or under the floor
// (the alerts' imbalance_min_amps, here 1 A, and 2 A for one meter of its own).
// The names of [meters] name.<ID> beside each ID, escaped for JSON and for the metrics; a meter
// the off-line alarm took from the registry stays in the list, off-line since the alarm.
TEST_F(Api, NamesGoBesideTheIdsAndMetersThatLeftTheRegistryStay) {
    testing::registerMeter(*store, "HOQ000000001", 230, 1);
    status.now = 5000;
    status.lastMessage["HOQ000000001"] = 4990;
    struct Case {
        std::string name;
        const char* json;     // in /api/v1/meters and /api/v1/live
        const char* metrics;  // the label beside meter=
    };
    const Case cases[] = {
        {"Kitchen", "\"name\":\"Kitchen\"", ",name=\"Kitchen\"}"},
        {"Sh\"ed\\1", "\"name\":\"Sh\\\"ed\\\\1\"", ",name=\"Sh\\\"ed\\\\1\"}"},
        {"<b>K\u00fcche", "\"name\":\"<b>K\u00fcche\"", ",name=\"<b>K\u00fcche\"}"},
    };
    for (const Case& c : cases) {
        status.names.byId.clear();
        status.names.byId.emplace("HOQ000000001", c.name);
        EXPECT_NE(
            get("/api/v1/meters").body.find(std::string("{\"id\":\"HOQ000000001\",") + c.json),
            std::string::npos)
            << c.name << get("/api/v1/meters").body;
        EXPECT_NE(
            get("/api/v1/live").body.find(std::string("\"meter\":\"HOQ000000001\",") + c.json),
            std::string::npos)
            << c.name;
        EXPECT_NE(get("/metrics")
                      .body.find(std::string("tev3p_power_total_watts{meter=\"HOQ000000001\"") +
                                 c.metrics),
                  std::string::npos)
            << c.name;
    }
    // After the alarm the registry is empty; the meter it held and one of the archive stay.
    KeptMeters kept;
    kept.heard("HOQ000000001", "192.0.2.7");
    kept.dataFrom("HOQ000000001", 4980);
    kept.heard("HOQ000000001", "");  // a poll answered, the address kept
    kept.forgotten(4995);
    kept.forgotten(4999);  // off-line since the first alarm
    store->registry.MeterCount = 0;
    status.offlineAlarm = true;
    status.lastMessage.clear();
    status.kept = kept.meters();
    status.kept["HOQ000000009"] = KeptMeter{};
    EXPECT_EQ(get("/api/v1/meters").body,
              "[{\"id\":\"HOQ000000001\",\"name\":\"<b>K\u00fcche\",\"ip\":\"192.0.2.7\","
              "\"last_message\":4980,\"V1\":null,\"V2\":null,\"V3\":null,\"A1\":null,"
              "\"A2\":null,\"A3\":null,\"Watt\":null,\"day_kwh\":null,\"imbalance\":null,"
              "\"online\":false,\"offline_since\":4995},"
              "{\"id\":\"HOQ000000009\",\"name\":null,\"ip\":null,\"last_message\":null,"
              "\"V1\":null,\"V2\":null,\"V3\":null,\"A1\":null,\"A2\":null,\"A3\":null,"
              "\"Watt\":null,\"day_kwh\":null,\"imbalance\":null,\"online\":false,"
              "\"offline_since\":null}]");
    EXPECT_NE(get("/api/v1/live").body.find("\"meter\":null,\"name\":null,"), std::string::npos);
    // Heard from again: on-line, no longer off-line since; the kept meters stay bounded.
    kept.heard("HOQ000000001", "192.0.2.8");
    EXPECT_FALSE(kept.meters().at("HOQ000000001").offlineSince);
    EXPECT_EQ(kept.meters().at("HOQ000000001").ip, "192.0.2.8");
    for (int i = 0; i < 1000; ++i) kept.heard("FORGED" + std::to_string(100000 + i), "");
    EXPECT_EQ(kept.meters().size(), KeptMeters::kMostKept);
}

// ?bom=1 puts a UTF-8 byte-order mark before a records CSV's header; without it the bytes are
// as before.
TEST_F(Api, RecordsCsvStartsWithAByteOrderMarkOnlyWhenAsked) {
    for (const char* format : {"original", "tidy"}) {
        const std::string target = std::string("/api/v1/records.csv?scale=day&format=") + format;
        const std::string plain = get(target).body;
        EXPECT_EQ(get(target + "&bom=1").body, "\xEF\xBB\xBF" + plain) << format;
        EXPECT_EQ(get(target + "&bom=0").body, plain) << format;
        EXPECT_NE(plain.substr(0, 3), "\xEF\xBB\xBF") << format;
    }
}

TEST_F(Api, TheImbalanceOfTheAnswersIsTheAlertsFigure) {
    struct Case {
        std::array<float, 3> amps;
        const char* json;  // "imbalance": in /api/v1/meters
        std::optional<double> percent;
    };
    const Case cases[] = {
        {{10, 10, 16}, "33.33", 100 * 4.0 / 12},
        {{12, 12, 0}, "100", 100},         // a dead phase
        {{10, 0, 0}, "200", 200},          // one live phase
        {{5, 5, 5}, "0", 0},               // balanced
        {{0, 0, 0}, "null", {}},           // nothing flows
        {{0.4F, 0.8F, 1.5F}, "null", {}},  // a 0.9 A mean, under the floor
        {{1.0F, 1.2F, 1.4F}, "16.67", 100 * 0.2 / 1.2},
    };
    status.imbalanceFloor.perMeter["HOQ000000002"] = 2;
    for (const Case& c : cases) {
        store->registry.MeterCount = 0;
        for (const char* id : {"HOQ000000001", "HOQ000000002"}) {
            testing::registerMeter(*store, id, 230, 0);
            MeterEntry& m = store->registry.rows[store->registry.MeterCount - 1];
            m.A1 = c.amps[0];
            m.A2 = c.amps[1];
            m.A3 = c.amps[2];
        }
        store->live.A1 = c.amps[0];
        store->live.A2 = c.amps[1];
        store->live.A3 = c.amps[2];
        const std::string label = std::to_string(c.amps[0]) + "/" + std::to_string(c.amps[1]) +
                                  "/" + std::to_string(c.amps[2]);
        const std::string field = std::string("\"imbalance\":") + c.json;
        const std::string meters = get("/api/v1/meters").body;
        EXPECT_NE(meters.find(field + ",\"online\""), std::string::npos) << label << meters;
        EXPECT_NE(get("/api/v1/live").body.find(field + "}"), std::string::npos) << label;
        // The meter with a 2 A floor: only the means above 2 A are judged.
        const bool aboveTwo = c.amps[0] + c.amps[1] + c.amps[2] > 6;
        const std::string second = meters.substr(meters.find("HOQ000000002"));
        EXPECT_NE(second.find(aboveTwo ? field : std::string("\"imbalance\":null")),
                  std::string::npos)
            << label;

        // The alert, set to start at once on any imbalance, starts with the same figure.
        const auto rules = alerts::loadAlertConfig(
            IniDocument::parse("[alerts]\nimbalance_percent=0.001\nimbalance_seconds=0\n"));
        alerts::AlertEvaluator ev(rules.config);
        std::vector<alerts::AlertEvent> events;
        ev.evaluate("HOQ000000001", true,
                    alerts::AlertSample{0, {230, 230, 230}, {c.amps[0], c.amps[1], c.amps[2]}, 0},
                    events);
        const auto figure = phaseImbalancePercent({c.amps[0], c.amps[1], c.amps[2]}, 1);
        ASSERT_EQ(figure.has_value(), c.percent.has_value()) << label;
        if (!c.percent) {
            EXPECT_TRUE(events.empty()) << label;
            continue;
        }
        EXPECT_NEAR(*figure, *c.percent, 1e-4) << label;
        if (*c.percent < 0.001) continue;  // balanced: nothing over even the smallest limit
        ASSERT_EQ(events.size(), 1u) << label;
        EXPECT_DOUBLE_EQ(events[0].value, *figure) << label;
    }
}

TEST_F(Api, TwoHundredMetersAllAppearInMetersAndMetrics) {
    for (int i = 0; i < kMeterRegistryCapacity; ++i)
        testing::registerMeter(*store, "M" + std::to_string(1000 + i), 230, 1);
    const std::string meters = get("/api/v1/meters").body;
    EXPECT_NE(meters.find("\"M1000\""), std::string::npos);
    EXPECT_NE(meters.find("\"M1199\""), std::string::npos);
    const std::string metrics = get("/metrics").body;
    EXPECT_NE(metrics.find("tev3p_voltage_volts{meter=\"M1199\",phase=\"3\"} 232\n"),
              std::string::npos);
    EXPECT_NE(metrics.find("tev3p_meters_registered 200\n"), std::string::npos);
    // A corrupt count never reads beyond the registry.
    store->registry.MeterCount = 5000;
    EXPECT_NE(get("/metrics").body.find("tev3p_meters_registered 200\n"), std::string::npos);
}

TEST_F(Api, SeriesIsColumnarOldestFirstAcrossTheDayBoundaryWithTheLiveRowLast) {
    ScaleTable& h = store->table(TimeScale::Hour);
    testing::putRow(h, 0, 261207, 23 * 60, 100);
    testing::putRow(h, 1, 261207, 0, 200);  // closed at midnight
    testing::putRow(h, 2, 261208, 1 * 60, 300);
    testing::putRow(h, 3, 261208, 1 * 60, 400);  // live
    h.cnt = 3;
    EXPECT_EQ(get("/api/v1/series?scale=hour&quantities=Watt,V1").body,
              "{\"time\":[1796680800,1796684400,1796688000,1796688000],"
              "\"Watt\":[107,207,307,407],\"V1\":[100,200,300,400]}");
    EXPECT_EQ(get("/api/v1/series?scale=hour&quantities=V1&live=false").body,
              "{\"time\":[1796680800,1796684400,1796688000],\"V1\":[100,200,300]}");
    EXPECT_EQ(get("/api/v1/series?scale=hour&quantities=V1&from=1796684400&to=1796684400").body,
              "{\"time\":[1796684400],\"V1\":[200]}");
    (void)kDec8;
}

TEST_F(Api, SeriesOfAnEmptyTableIsEmptyAndBadQueriesAre400) {
    EXPECT_EQ(get("/api/v1/series?scale=day&quantities=KWh").body, "{\"time\":[],\"KWh\":[]}");
    for (const char* bad :
         {"/api/v1/series?quantities=V1", "/api/v1/series?scale=year&quantities=V1",
          "/api/v1/series?scale=day", "/api/v1/series?scale=day&quantities=V9",
          "/api/v1/series?scale=day&quantities=V1&from=yesterday",
          "/api/v1/series?scale=day&quantities=V1&from=-1",
          "/api/v1/series?scale=day&quantities=V1&to=-9223372036854775808",
          "/api/v1/series?scale=day&quantities=V1&to=7258118401",
          "/api/v1/records.csv?scale=day&format=xlsx", "/api/v1/log?after=-1"})
        EXPECT_EQ(get(bad).status, 400) << bad;
    EXPECT_EQ(get("/api/v1/nothing").status, 404);
    EXPECT_FALSE(
        answerApi(parseRequestTarget("/index.html").target, ApiContext{*store, status, {}}));
}

TEST_F(Api, OriginalCsvIsExactlyTheRecordsManagersOutput) {
    ScaleTable& d = store->table(TimeScale::Day);
    testing::putRow(d, 0, 261207, 0, 1.005f);
    testing::putRow(d, 1, 261208, 0, 2);
    d.cnt = 1;
    const ApiResponse r = get("/api/v1/records.csv?scale=day&format=original");
    EXPECT_EQ(r.body, exportCsv(d));
    EXPECT_EQ(r.contentType, kCsvContentType);
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0].second, "attachment; filename=\"TEV3P_Records_Day.csv\"");
    EXPECT_EQ(get("/api/v1/records.csv?scale=day").body, exportCsv(d));
}

TEST_F(Api, TidyCsvHasOneHeaderIsoTimesAndTheLiveRowOnlyWhenAsked) {
    ScaleTable& m10 = store->table(TimeScale::M10);
    testing::putRow(m10, 0, 261207, 0, 0);  // closed at midnight
    testing::putRow(m10, 1, 261208, 10, 100);
    testing::putRow(m10, 2, 261208, 15, 200);  // live
    m10.cnt = 2;
    const std::string header =
        "time,KWh_kWh,K1_kWh,K2_kWh,K3_kWh,Amp_A,A1_A,A2_A,A3_A,Watt_W,W1_W,W2_W,W3_W,Vac1_V,"
        "Vac2_V,Vac3_V\n";
    const std::string closed =
        "2026-12-08T00:00:00+01:00,11.00,12.00,13.00,14.00,3.00,4.00,5.00,6.00,7,8,9,10,0,1,2\n"
        "2026-12-08T00:10:00+01:00,111.00,112.00,113.00,114.00,103.00,104.00,105.00,106.00,107,"
        "108,109,110,100,101,102\n";
    const ApiResponse r = get("/api/v1/records.csv?scale=m10&format=tidy");
    EXPECT_EQ(r.body, header + closed);
    EXPECT_EQ(r.headers[0].second, "attachment; filename=\"TEV3P_Records_10-Minute_tidy.csv\"");
    const std::string withLive = get("/api/v1/records.csv?scale=m10&format=tidy&live=true").body;
    EXPECT_EQ(withLive.substr(0, header.size() + closed.size()), header + closed);
    EXPECT_EQ(withLive.substr(header.size() + closed.size(), 26), "2026-12-08T00:15:00+01:00,");
    EXPECT_EQ(get("/api/v1/records.csv?scale=week&format=tidy").body, header);
}

TEST_F(Api, LogGivesLinesAfterNAndAtMostTheNewest200) {
    EXPECT_EQ(get("/api/v1/log").body, "{\"last\":0,\"lines\":[]}");
    for (int i = 0; i < 300; ++i) log.push_back("line " + std::to_string(i + 1));
    // The oldest 50 have been dropped from the log: line numbers stay.
    log.erase(log.begin(), log.begin() + 50);
    logFirst = 51;
    EXPECT_EQ(get("/api/v1/log?after=298").body,
              "{\"last\":300,\"lines\":[{\"n\":299,\"text\":\"line 299\"},{\"n\":300,\"text\":"
              "\"line 300\"}]}");
    EXPECT_EQ(get("/api/v1/log?after=300").body, "{\"last\":300,\"lines\":[]}");
    EXPECT_EQ(get("/api/v1/log?after=900").body, "{\"last\":300,\"lines\":[]}");
    const std::string all = get("/api/v1/log?after=0").body;
    EXPECT_NE(all.find("{\"n\":101,\"text\":\"line 101\"}"), std::string::npos);
    EXPECT_EQ(all.find("\"n\":100,"), std::string::npos);
}

TEST_F(Api, MetricsCarryHelpTypeAndEscapedMeterLabels) {
    testing::registerMeter(*store, "A\"B\\C\nD", 230, 1);
    store->live.TotalKWh = 42.5f;
    status.linkOn = true;
    status.meterPort = 9317;
    status.secondPort = 5113;
    status.meterConnections = 3;
    status.saveFailures = 2;
    status.lastMessage["A\"B\\C\nD"] = 1796000000;
    const ApiResponse r = get("/metrics");
    EXPECT_EQ(r.contentType, "text/plain; version=0.0.4; charset=utf-8");
    const std::string& m = r.body;
    for (const char* line :
         {"# HELP tev3p_voltage_volts ", "# TYPE tev3p_voltage_volts gauge\n",
          "tev3p_voltage_volts{meter=\"A\\\"B\\\\C\\nD\",phase=\"1\"} 230\n",
          "tev3p_current_amperes{meter=\"A\\\"B\\\\C\\nD\",phase=\"3\"} 3\n",
          "tev3p_power_total_watts{meter=\"A\\\"B\\\\C\\nD\"} 1193.68",
          "tev3p_meter_energy_today_kwh{meter=\"A\\\"B\\\\C\\nD\"} 12.5\n",
          "tev3p_meter_last_message_timestamp_seconds{meter=\"A\\\"B\\\\C\\nD\"} 1796000000\n",
          "# TYPE tev3p_energy_kwh_total counter\ntev3p_energy_kwh_total 42.5\n",
          "tev3p_link_on 1\n", "tev3p_connections{port=\"9317\"} 3\n",
          "tev3p_connections{port=\"5113\"} 0\n", "tev3p_save_failures_total 2\n"})
        EXPECT_NE(m.find(line), std::string::npos) << line;
}

TEST_F(Api, MetricsGainTheFleetFamiliesOnlyWhileTheSinkIsOn) {
    EXPECT_EQ(get("/metrics").body.find("tev3p_fleet"), std::string::npos);
    status.fleet = FleetMetrics{false, 12345, 0};
    std::string m = get("/metrics").body;
    for (const char* line :
         {"# TYPE tev3p_fleet_up gauge\ntev3p_fleet_up 0\n",
          "# TYPE tev3p_fleet_backlog_rows gauge\ntev3p_fleet_backlog_rows 12345\n",
          "# TYPE tev3p_fleet_last_shipped_timestamp_seconds gauge\n"})
        EXPECT_NE(m.find(line), std::string::npos) << line;
    // Nothing shipped yet in this run: no sample rather than 1970.
    EXPECT_EQ(m.find("tev3p_fleet_last_shipped_timestamp_seconds 0"), std::string::npos);
    status.fleet = FleetMetrics{true, 0, 1796000123};
    m = get("/metrics").body;
    EXPECT_NE(m.find("tev3p_fleet_up 1\n"), std::string::npos);
    EXPECT_NE(m.find("tev3p_fleet_last_shipped_timestamp_seconds 1796000123\n"), std::string::npos);
}

}  // namespace
}  // namespace tev::web
