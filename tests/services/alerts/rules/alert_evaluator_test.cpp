#include "services/alerts/rules/alert_evaluator.h"

#include <gtest/gtest.h>

#include <cmath>

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

// The imbalance is the largest deviation from the three currents' mean, in % of the mean; the
// rule judges it only while the mean is above 1 A, starts after 60 s over 30 % and ends only
// under 29.4 % (30 % less its 2 % hysteresis).
TEST(AlertEvaluator, ImbalanceJudgesAboveTheFloorAndEndsOnlyUnderItsHysteresis) {
    AlertEvaluator ev(configWith(""));
    struct Step {
        const char* what;
        int seconds;
        std::array<float, 3> amps;
        int starts, ends;  // events in the step
    };
    const Step steps[] = {
        {"badly balanced, but a mean under 1 A", 120, {0.1F, 0.5F, 0.9F}, 0, 0},
        {"10/10/16 A: 4 A off a 12 A mean, 33.3 %, for 61 s", 61, {10, 10, 16}, 1, 0},
        {"the load goes off: not judged, the alert holds", 600, {0, 0, 0}, 0, 0},
        {"back at 34 %: still running", 30, {10, 10, 16.2F}, 0, 0},
        {"29.7 %: under the limit, not under its hysteresis", 30, {10, 10, 15.23F}, 0, 0},
        {"10/10/11 A: 6.5 %, ends", 1, {10, 10, 11}, 0, 1},
        {"over again for 30 s, then under the floor: the pending start is dropped",
         30,
         {10, 10, 16},
         0,
         0},
        {"under the floor", 5, {0.2F, 0.2F, 0.5F}, 0, 0},
        {"over again for 59 s", 59, {10, 10, 16}, 0, 0},
    };
    std::int64_t t = kT0;
    for (const Step& step : steps) {
        const auto events = run(ev, t, step.seconds, [&](auto at) {
            return sample(at, 230, 230, 230, step.amps[0], step.amps[1], step.amps[2]);
        });
        t += step.seconds * kSecond;
        int starts = 0, ends = 0;
        for (const AlertEvent& e : events) {
            EXPECT_EQ(e.rule, AlertRule::Imbalance) << step.what;
            if (e.started) {
                ++starts;
                EXPECT_NEAR(e.value, 100 * 4.0 / 12, 1e-4) << step.what;
            } else {
                ++ends;
                EXPECT_LT(e.value, 30 * 0.98) << step.what;
            }
        }
        EXPECT_EQ(starts, step.starts) << step.what;
        EXPECT_EQ(ends, step.ends) << step.what;
    }
}

// The demo meters (tools/hoq-sim) share their load 40/35/25 % over the phases, the shares
// rotated per meter, on a load curve from 0.6 kW at night (about 1 A a phase, on the floor)
// to over 3 kW with a slow ripple: a steady 25 % imbalance, under the 30 % limit. A day of
// their readings raises no imbalance alert. The same currents with a 45/35/20 % share (40 %)
// raise one per meter and no end: dropping to the floor at night ends nothing.
TEST(AlertEvaluator, TheDemoMetersCurrentsNeitherRaiseNorFlapTheImbalanceAlert) {
    for (const auto& shares :
         {std::array<double, 3>{0.40, 0.35, 0.25}, std::array<double, 3>{0.45, 0.35, 0.20}}) {
        AlertEvaluator ev(configWith(""));
        std::vector<AlertEvent> events;
        for (int second = 0; second < 86400; second += 5) {
            for (int meter = 0; meter < 3; ++meter) {
                const double hour = second / 3600.0;
                const double kw = 0.6 + 1.4 * std::exp(-std::pow((hour - 7.5) / 1.5, 2)) +
                                  2.6 * std::exp(-std::pow((hour - 19.5) / 2.0, 2));
                const double ripple = 1 + 0.08 * std::sin(2 * 3.14159265 * second / 420.0 + meter);
                std::array<float, 3> amps{};
                for (int p = 0; p < 3; ++p)
                    amps[p] = static_cast<float>(kw * ripple * 1000 * shares[(p + meter) % 3] /
                                                 (229 * 0.86));
                ev.evaluate(
                    std::string(1, static_cast<char>('A' + meter)), false,
                    sample(kT0 + second * kSecond, 229, 229, 229, amps[0], amps[1], amps[2]),
                    events);
            }
        }
        const bool unbalanced = shares[0] > 0.4;
        EXPECT_EQ(events.size(), unbalanced ? 3u : 0u);
        for (const AlertEvent& e : events) {
            EXPECT_TRUE(e.started);
            EXPECT_NEAR(e.value, 40, 0.01);
        }
    }
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
