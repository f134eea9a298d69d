#include <gtest/gtest.h>

#include "services/web/rules/alerts_json.h"
#include "services/web/rules/api_router.h"

namespace tev::web {
namespace {

constexpr std::int64_t kT0 = 1796724000000;  // 2026-12-08T10:00:00Z

alerts::AlertSample sample(std::int64_t ms, float a1) {
    return alerts::AlertSample{ms, {230, 230, 230}, {a1, 1, 1}, 0};
}

ApiResponse getAlerts(const MeasurementStore& store, std::function<AlertsSnapshot()> alerts) {
    const ServiceStatus status;
    const ApiContext context{store, status, {}, std::move(alerts)};
    return *answerApi(parseRequestTarget("/api/v1/alerts").target, context);
}

TEST(AlertsApi, ACurrentAlertShowsAsActiveThenAsStartAndEndInTheHistory) {
    alerts::AlertConfig config;
    config.enabled = true;
    config.defaults.currentMax = 40;
    alerts::AlertEvaluator evaluator(config);
    std::vector<alerts::AlertEvent> history;
    // Over 40 A for the rule's 5 s, then back under 40 A less the 2 % hysteresis.
    evaluator.evaluate("M1", true, sample(kT0, 41.5f), history);
    evaluator.evaluate("M1", true, sample(kT0 + 5000, 41.5f), history);
    ASSERT_EQ(history.size(), 1u);

    auto snapshot = [&] {
        AlertsSnapshot s;
        s.active.emplace_back("M1", evaluator.active("M1"));
        s.active.emplace_back("M2", evaluator.active("M2"));
        s.history = history;
        return s;
    };
    const auto storeHolder = std::make_unique<MeasurementStore>();
    const ApiResponse running = getAlerts(*storeHolder, snapshot);
    EXPECT_EQ(running.status, 200);
    EXPECT_EQ(running.contentType, kJsonContentType);
    EXPECT_EQ(running.body,
              "{\"active\":{\"M1\":[{\"rule\":\"current\",\"phase\":1,\"value\":41.5,"
              "\"threshold\":40,\"since\":\"2026-12-08T10:00:05Z\"}]},"
              "\"history\":[{\"time\":\"2026-12-08T10:00:05Z\",\"meter\":\"M1\","
              "\"rule\":\"current\",\"phase\":1,\"event\":\"start\",\"value\":41.5,"
              "\"threshold\":40}]}");

    evaluator.evaluate("M1", true, sample(kT0 + 9000, 39.5f), history);  // inside the margin
    evaluator.evaluate("M1", true, sample(kT0 + 10000, 39.0f), history);
    ASSERT_EQ(history.size(), 2u);
    const ApiResponse ended = getAlerts(*storeHolder, snapshot);
    EXPECT_EQ(ended.body.substr(0, 23), "{\"active\":{},\"history\":");
    EXPECT_NE(ended.body.find("\"time\":\"2026-12-08T10:00:10Z\",\"meter\":\"M1\",\"rule\":"
                              "\"current\",\"phase\":1,\"event\":\"end\",\"value\":39"),
              std::string::npos)
        << ended.body;
}

TEST(AlertsApi, HistoryIsCappedToTheNewestEventsAndAnswersWithoutAlertRules) {
    AlertsSnapshot s;
    for (int i = 0; i < 250; ++i)
        s.history.push_back(alerts::AlertEvent{"M\"1", alerts::AlertRule::Voltage, 2, i % 2 == 0,
                                               kT0 + i * 1000, 250, 253});
    const std::string body = alertsJson(s);
    std::size_t events = 0;
    for (std::size_t p = body.find("\"event\""); p != std::string::npos;
         p = body.find("\"event\"", p + 1))
        ++events;
    EXPECT_EQ(events, kAlertHistoryPerAnswer);
    // The oldest kept is event 50, at 10:00:50; the meter's quote is escaped.
    EXPECT_NE(body.find("\"history\":[{\"time\":\"2026-12-08T10:00:50Z\",\"meter\":\"M\\\"1\""),
              std::string::npos)
        << body.substr(0, 120);
    EXPECT_EQ(body.find("10:00:49Z"), std::string::npos);
    EXPECT_NE(body.find("{\"time\":\"2026-12-08T10:04:09Z\""), std::string::npos);

    const auto store = std::make_unique<MeasurementStore>();
    EXPECT_EQ(getAlerts(*store, nullptr).body, "{\"active\":{},\"history\":[]}");
}

}  // namespace
}  // namespace tev::web
