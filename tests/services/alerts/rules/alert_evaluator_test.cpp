#include "services/alerts/rules/alert_evaluator.h"

#include <gtest/gtest.h>

#include "services/alerts/rules/alert_json.h"

namespace tev::alerts {
namespace {

constexpr std::int64_t kSecond = 1000;
// 2026-12-08 00:00:00 UTC, a Tuesday.
constexpr std::int64_t kT0 = 1796688000LL * kSecond;

AlertSample sample(std::int64_t t, float v1, float v2, float v3, float a1 = 0, float a2 = 0,
                   float a3 = 0, float watt = 0) {
    return AlertSample{t, {v1, v2, v3}, {a1, a2, a3}, watt};
}

// The rules of a user who runs alerts on a 230 V supply, with `ini`'s lines on top.
AlertConfig configWith(const std::string& ini) {
    return loadAlertConfig(IniDocument::parse("[alerts]\nvoltage_nominal=230\n" + ini)).config;
}

// Feeds one message a second from `from` for `seconds` seconds; returns the events.
template <typename F>
std::vector<AlertEvent> run(AlertEvaluator& ev, std::int64_t from, int seconds, F makeSample,
                            std::string_view meter = "M1", bool primary = true) {
    std::vector<AlertEvent> events;
    for (int i = 0; i < seconds; ++i)
        ev.evaluate(meter, primary, makeSample(from + i * kSecond), events);
    return events;
}

TEST(AlertEvaluator, HighVoltageStartsAfterItsTenSecondsAndEndsBelowTheHysteresisMargin) {
    AlertEvaluator ev(configWith(""));
    auto events = run(ev, kT0, 10, [](auto t) { return sample(t, 260, 230, 230); });
    EXPECT_TRUE(events.empty()) << "nine seconds over is not yet ten";
    events = run(ev, kT0 + 10 * kSecond, 1, [](auto t) { return sample(t, 260, 230, 230); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rule, AlertRule::Voltage);
    EXPECT_EQ(events[0].phase, 1);
    EXPECT_TRUE(events[0].started);
    EXPECT_EQ(events[0].timeMs, kT0 + 10 * kSecond);
    EXPECT_DOUBLE_EQ(events[0].value, 260);
    EXPECT_DOUBLE_EQ(events[0].threshold, 253);
    // 250 V is under 253 V but not under 253 V less 2 %: the alert stays.
    events = run(ev, kT0 + 11 * kSecond, 5, [](auto t) { return sample(t, 250, 230, 230); });
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ev.activeCount(), 1);
    events = run(ev, kT0 + 16 * kSecond, 1, [](auto t) { return sample(t, 247, 230, 230); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].started);
    EXPECT_DOUBLE_EQ(events[0].value, 247);
    EXPECT_FALSE(ev.anyActive());
}

TEST(AlertEvaluator, AVoltageOscillatingOnTheThresholdRaisesOneAlertNotMany) {
    AlertEvaluator ev(configWith(""));
    auto events = run(ev, kT0, 600, [](auto t) {
        const bool odd = (t / kSecond) % 2 != 0;
        return sample(t, odd ? 253.5F : 252.5F, 230, 230);
    });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].started);
    // It starts on a 252.5 V message, but with the value that crossed the 253 V limit.
    EXPECT_DOUBLE_EQ(events[0].value, 253.5);
}

TEST(AlertEvaluator, ALowVoltageThatRecoversBeforeItsTimeRaisesNothing) {
    AlertEvaluator ev(configWith(""));
    auto events = run(ev, kT0, 9, [](auto t) { return sample(t, 230, 200, 230); });
    auto more = run(ev, kT0 + 9 * kSecond, 1, [](auto t) { return sample(t, 230, 230, 230); });
    auto again = run(ev, kT0 + 10 * kSecond, 10, [](auto t) { return sample(t, 230, 200, 230); });
    EXPECT_TRUE(events.empty() && more.empty() && again.empty());
    auto late = run(ev, kT0 + 20 * kSecond, 1, [](auto t) { return sample(t, 230, 200, 230); });
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].phase, 2);
    EXPECT_DOUBLE_EQ(late[0].threshold, 207);
}

TEST(AlertEvaluator, ADroppedPhaseIsAPhaseLossAfterTwoSecondsAndNotALowVoltage) {
    AlertEvaluator ev(configWith(""));
    run(ev, kT0, 5, [](auto t) { return sample(t, 230, 230, 230); });
    auto events = run(ev, kT0 + 5 * kSecond, 60, [](auto t) { return sample(t, 230, 230, 3); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rule, AlertRule::PhaseLoss);
    EXPECT_EQ(events[0].phase, 3);
    EXPECT_EQ(events[0].timeMs, kT0 + 7 * kSecond);
    EXPECT_DOUBLE_EQ(events[0].threshold, 115);
    const auto active = ev.active("M1");
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(activeAlertsJson(active),
              "[{\"rule\":\"phase_loss\",\"phase\":3,\"value\":3,\"threshold\":115,"
              "\"since\":\"2026-12-08T00:00:07Z\"}]");
    events = run(ev, kT0 + 65 * kSecond, 1, [](auto t) { return sample(t, 230, 230, 229); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].started);
}

TEST(AlertEvaluator, NoPhaseLossForASinglePhaseMeterOrAWholeOutage) {
    AlertEvaluator ev(configWith(""));
    // Phases 2 and 3 of a single-phase meter were never live.
    EXPECT_TRUE(run(ev, kT0, 30, [](auto t) { return sample(t, 230, 0, 0); }).empty());
    AlertEvaluator outage;
    run(outage, kT0, 5, [](auto t) { return sample(t, 230, 230, 230); });
    EXPECT_TRUE(
        run(outage, kT0 + 5 * kSecond, 30, [](auto t) { return sample(t, 0, 0, 0); }).empty());
}

TEST(AlertEvaluator, CurrentIsOffUntilARatingIsSetThenHoldsFiveSeconds) {
    AlertEvaluator off;
    EXPECT_TRUE(
        run(off, kT0, 60, [](auto t) { return sample(t, 230, 230, 230, 500, 500, 500); }).empty());
    AlertEvaluator ev(configWith("current_max=10\n"));
    auto events = run(ev, kT0, 6, [](auto t) { return sample(t, 230, 230, 230, 10.5F, 12, 9.9F); });
    ASSERT_EQ(events.size(), 2u);  // phases 1 and 2 over for five seconds
    EXPECT_EQ(events[0].rule, AlertRule::Current);
    EXPECT_EQ(events[0].phase, 1);
    EXPECT_EQ(events[1].phase, 2);
    EXPECT_EQ(events[0].timeMs, kT0 + 5 * kSecond);
    // 9.9 A is back under 10 A but not under 9.8 A: only phase 2 ends.
    events = run(ev, kT0 + 6 * kSecond, 1,
                 [](auto t) { return sample(t, 230, 230, 230, 9.9F, 9.7F, 0); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].phase, 2);
    EXPECT_FALSE(events[0].started);
}

TEST(AlertEvaluator, PerMeterGroupGivesOneMeterItsOwnRating) {
    AlertEvaluator ev(loadAlertConfig(IniDocument::parse("[alerts]\ncurrent_max=50\n"
                                                         "[alerts.SMALL0000001]\ncurrent_max=5\n"))
                          .config);
    auto busy = [](auto t) { return sample(t, 230, 230, 230, 8, 8, 8); };
    EXPECT_TRUE(run(ev, kT0, 10, busy, "BIG", false).empty());
    const auto events = run(ev, kT0, 10, busy, "SMALL0000001", false);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].meterId, "SMALL0000001");
    EXPECT_DOUBLE_EQ(events[0].threshold, 5);
}

TEST(AlertEvaluator, ImbalanceNeedsAMeanAboveOneAmpAndSixtySeconds) {
    AlertEvaluator ev(configWith(""));
    // 0.1/0.5/0.9 A is badly balanced, but the mean is under 1 A.
    EXPECT_TRUE(run(ev, kT0, 120, [](auto t) {
                    return sample(t, 230, 230, 230, 0.1F, 0.5F, 0.9F);
                }).empty());
    // 10/10/14 A: (14-10)/11.33 = 35 %.
    auto events = run(ev, kT0 + 120 * kSecond, 61,
                      [](auto t) { return sample(t, 230, 230, 230, 10, 10, 14); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rule, AlertRule::Imbalance);
    EXPECT_EQ(events[0].timeMs, kT0 + 180 * kSecond);
    EXPECT_NEAR(events[0].value, 35.294, 0.001);
    events = run(ev, kT0 + 181 * kSecond, 1,
                 [](auto t) { return sample(t, 230, 230, 230, 10, 10, 11); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].started);
}

TEST(AlertEvaluator, DemandIsTheFifteenMinuteMeanAcrossMidnightForThePrimaryMeterOnly) {
    AlertEvaluator ev(configWith("demand_limit_kw=5\n"));
    const std::int64_t start = kT0 - 20 * 60 * kSecond;  // 23:40 the evening before
    // 4 kW until 23:58, then 7 kW: the mean of the last 900 one-second readings passes 5 kW
    // when 301 of them are at 7 kW, at 00:03:00.
    auto load = [](auto t) {
        const bool high = t >= kT0 - 2 * 60 * kSecond;
        return sample(t, 230, 230, 230, 0, 0, 0, high ? 7000 : 4000);
    };
    EXPECT_TRUE(run(ev, start, 25 * 60, load, "OTHER", false).empty());
    const auto events = run(ev, start, 25 * 60, load);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rule, AlertRule::Demand);
    EXPECT_EQ(events[0].timeMs, kT0 + 3 * 60 * kSecond);
    EXPECT_NEAR(events[0].value, 4 + 3 * 301.0 / 900, 1e-9);
    EXPECT_EQ(isoUtc(events[0].timeMs), "2026-12-08T00:03:00Z");
}

TEST(AlertEvaluator, DemandWaitsForAFullWindowAndRestartsAfterASilence) {
    AlertEvaluator ev(configWith("demand_limit_kw=1\ndemand_minutes=1\n"));
    auto heavy = [](auto t) { return sample(t, 230, 230, 230, 0, 0, 0, 9000); };
    EXPECT_TRUE(run(ev, kT0, 60, heavy).empty()) << "59 seconds do not fill a minute";
    EXPECT_EQ(run(ev, kT0 + 60 * kSecond, 1, heavy).size(), 1u);
    // Silent for ten minutes: the window starts again from the next message.
    std::vector<AlertEvent> events;
    ev.evaluate("M1", true, sample(kT0 + 700 * kSecond, 230, 230, 230, 0, 0, 0, 0), events);
    EXPECT_TRUE(events.empty()) << "one message is not a minute's mean";
    EXPECT_EQ(ev.activeCount(), 1);
}

TEST(AlertEvaluator, ForgettingTheMetersEndsEveryRunningAlert) {
    AlertEvaluator ev(configWith("current_max=1\ncurrent_seconds=0\n"));
    run(
        ev, kT0, 3, [](auto t) { return sample(t, 230, 230, 230, 5, 5, 0); }, "A", false);
    run(
        ev, kT0, 3, [](auto t) { return sample(t, 230, 230, 230, 0, 0, 5); }, "B", false);
    EXPECT_EQ(ev.activeCount(), 3);
    std::vector<AlertEvent> events;
    ev.forgetAll(kT0 + 5 * kSecond, events);
    ASSERT_EQ(events.size(), 3u);
    for (const AlertEvent& e : events) {
        EXPECT_FALSE(e.started);
        EXPECT_EQ(e.timeMs, kT0 + 5 * kSecond);
    }
    EXPECT_FALSE(ev.anyActive());
    EXPECT_TRUE(ev.active("A").empty());
    EXPECT_EQ(activeAlertsJson(ev.active("A")), "[]");
}

}  // namespace
}  // namespace tev::alerts
