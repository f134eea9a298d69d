#include "services/alerts/notify/alert_service.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <optional>

#include "core/settings/ini_document.h"
#include "services/alerts/notify/notifier.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"

namespace tev::alerts {
namespace {

struct RecordingNotifier final : Notifier {
    void notify(const std::string& summary, const std::string& body) override {
        shown.emplace_back(summary, body);
    }
    std::vector<std::pair<std::string, std::string>> shown;
};

class AlertServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::qtApplication();
        registry.MeterCount = 1;
        registry.rows[0].Id.assign("HOQ000000001");
    }
    void message(float v3, std::int64_t atMs) {
        clock.setUnixMs(atMs);
        MeterEntry& e = registry.rows[0];
        e.V1 = e.V2 = 230;
        e.V3 = v3;
        e.A1 = e.A2 = e.A3 = 2;
        service->meterDataHandled(registry, "HOQ000000001");
    }
    void makeService() {
        service = std::make_unique<AlertService>(
            config, log, [this] { return mode; }, tones, &notifier, clock);
    }

    MeterRegistry registry;
    // A user who asked for the voltage rules and the alert tone.
    AlertConfig config = [] {
        AlertConfig c;
        c.enabled = c.tone = true;
        c.defaults.voltageNominal = 230;
        return c;
    }();
    testing::FakeClock clock;
    EventLog log{clock};
    LanguageMode mode = LanguageMode::English;
    testing::RecordingToneSink tones;
    RecordingNotifier notifier;
    std::unique_ptr<AlertService> service;
};

TEST_F(AlertServiceTest, APhaseLossIsLoggedNotifiedAndSoundedOnceAndItsEndOnlyLogged) {
    makeService();
    QSignalSpy changed(service.get(), &AlertService::alertsChanged);
    message(230, 0);
    for (int s = 1; s <= 5; ++s) message(0, s * 1000);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_TRUE(changed[0][0].toBool());
    EXPECT_EQ(log.lines().back(),
              "Alert start: meter HOQ000000001, phase loss L3 = 0.0 V (limit 115.0 V)");
    ASSERT_EQ(tones.tones.size(), 1u);
    EXPECT_EQ(tones.tones[0], (testing::Tone{kAlertToneHz, kAlertToneMs}));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].first, "Alert: phase loss L3");

    mode = LanguageMode::Bilingual;
    service->setStamp([] { return std::string("261208 0:0 "); });
    message(231, 6000);
    EXPECT_EQ(log.lines().back(),
              "261208 0:0 Alert end: meter HOQ000000001, phase loss L3 = 231.0 V (limit 115.0 V)"
              "  警報結束: 電錶 HOQ000000001 缺相");
    EXPECT_EQ(tones.tones.size(), 1u) << "no tone when an alert ends";
    EXPECT_EQ(notifier.shown.size(), 2u);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_FALSE(changed[1][0].toBool());
    EXPECT_EQ(service->history().size(), 2u);
}

TEST_F(AlertServiceTest, ChineseOnlyModeWritesNoLineAndForgottenMetersEndTheirAlerts) {
    makeService();
    mode = LanguageMode::Chinese;
    message(230, 0);
    const std::size_t before = log.lines().size();
    for (int s = 1; s <= 3; ++s) message(0, s * 1000);
    EXPECT_EQ(log.lines().size(), before);
    EXPECT_TRUE(service->evaluator().anyActive());
    mode = LanguageMode::English;
    service->metersForgotten();
    EXPECT_FALSE(service->evaluator().anyActive());
    EXPECT_EQ(log.lines().back().rfind("Alert end: meter HOQ000000001, phase loss L3", 0), 0u);
    // A message for an ID the registry does not hold is not evaluated.
    service->meterDataHandled(registry, "UNKNOWN");
    EXPECT_EQ(service->history().size(), 2u);
}

TEST_F(AlertServiceTest, EarlierRunsComeFirstInTheHistoryAndTheSinkHearsEachStartAndEnd) {
    makeService();
    std::vector<AlertEvent> heard;
    service->setEventSink([&heard](const AlertEvent& e) { heard.push_back(e); });
    message(230, 0);
    for (int s = 1; s <= 3; ++s) message(0, s * 1000);  // starts during this run
    std::vector<AlertEvent> earlier(AlertService::kHistoryLimit,
                                    AlertEvent{"OLD", AlertRule::Current, 1, true, -5, 41, 40});
    earlier.back().timeMs = -1;
    service->seedHistory(earlier);
    message(230, 4000);  // ends
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_TRUE(heard[0].started);
    EXPECT_FALSE(heard[1].started);
    EXPECT_EQ(heard[1].meterId, "HOQ000000001");
    const auto& h = service->history();
    ASSERT_EQ(h.size(), AlertService::kHistoryLimit);
    // The oldest earlier events gave way; the newest earlier one stands before this run's.
    EXPECT_EQ(h[h.size() - 3].timeMs, -1);
    EXPECT_EQ(h[h.size() - 2].rule, AlertRule::PhaseLoss);
    EXPECT_EQ(h.back().timeMs, 4000);
    for (int r = 0; r < kAlertRuleCount; ++r)
        EXPECT_EQ(alertRuleByName(alertRuleName(static_cast<AlertRule>(r))),
                  static_cast<AlertRule>(r));
    EXPECT_FALSE(alertRuleByName("volt").has_value());
}

TEST_F(AlertServiceTest, AProgramStopEndsTheRunningAlertsLikeAnyEnd) {
    makeService();
    std::vector<AlertEvent> heard;
    service->setEventSink([&heard](const AlertEvent& e) { heard.push_back(e); });
    message(230, 0);
    for (int s = 1; s <= 3; ++s) message(0, s * 1000);
    ASSERT_EQ(heard.size(), 1u);
    clock.setUnixMs(9000);
    service->endAll();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_FALSE(heard[1].started);
    EXPECT_EQ(heard[1].timeMs, 9000);
    EXPECT_EQ(log.lines().back(),
              "Alert end: meter HOQ000000001, phase loss L3 = 0.0 V (limit 115.0 V)");
    EXPECT_FALSE(service->evaluator().anyActive());
    service->endAll();  // nothing left to end
    EXPECT_EQ(heard.size(), 2u);
}

TEST(AlertSample, WattIsTheSumOfVoltTimesAmpTimesThePowerFactor) {
    MeterEntry e;
    e.V1 = 230, e.V2 = 220, e.V3 = 0;
    e.A1 = 10, e.A2 = 5, e.A3 = 99;
    const AlertSample s = alertSampleOf(e, 42);
    EXPECT_EQ(s.timeMs, 42);
    EXPECT_NEAR(s.watt, (2300 + 1100) * 0.86, 0.01);
    EXPECT_EQ(s.amps[2], 99);
}

// A user who configured nothing, on a 110 V supply or with a sagging one, gets the program's
// own log and tones and nothing else; with the rules on, the tone and the notifications follow
// their own switches.
TEST_F(AlertServiceTest, WithoutAlertSettingsNothingIsJudgedAndTheSwitchesGovernToneAndNotice) {
    for (const char* ini : {"", "[alerts]\nvoltage_nominal=230\nnotify=off\n",
                            "[alerts]\nvoltage_nominal=230\ntone=on\n"}) {
        config = loadAlertConfig(IniDocument::parse(ini)).config;
        makeService();
        const std::size_t linesBefore = log.lines().size();
        tones.tones.clear();
        notifier.shown.clear();
        for (int s = 0; s <= 30; ++s) message(180, s * 1000);  // 180 V on L3 for 30 s
        const bool on = config.enabled;
        EXPECT_EQ(log.lines().size() - linesBefore, on ? 1u : 0u) << ini;
        EXPECT_EQ(tones.tones.size(), config.tone ? 1u : 0u) << ini;
        EXPECT_EQ(notifier.shown.size(), on && config.notify ? 1u : 0u) << ini;
    }
}

// An unusual day is one line in the log's language, one notice and the tone as switched, and
// one call of the broker's sink; nothing at all unless [alerts] unusual_day is on. It starts no
// running alert.
TEST_F(AlertServiceTest, AnUnusualDayIsToldOnceInTheLogsLanguageOnlyWhenSwitchedOn) {
    const UnusualDayAlert kitchen{"HOQ000000001", "Kitchen", "2026-12-08", 41.24, 18.5};
    const std::string english =
        "Unusual day \u2014 Kitchen: 41.2 kWh on 2026-12-08, typical 18.5 kWh";
    struct Case {
        const char* ini;
        LanguageMode mode;
        std::optional<std::string> line;
        std::size_t tones, notices;
    } const cases[] = {
        {"", LanguageMode::English, std::nullopt, 0, 0},
        {"[alerts]\nvoltage_nominal=230\ntone=on\n", LanguageMode::English, std::nullopt, 0, 0},
        {"[alerts]\nunusual_day=on\n", LanguageMode::English, english, 0, 1},
        {"[alerts]\nunusual_day=on\ntone=on\nnotify=off\n", LanguageMode::Bilingual,
         english + "  異常用電日: Kitchen 2026-12-08 41.2 kWh, 平常 18.5 kWh", 1, 0},
        {"[alerts]\nunusual_day=on\n", LanguageMode::Chinese, std::nullopt, 0, 1},
    };
    for (const Case& c : cases) {
        config = loadAlertConfig(IniDocument::parse(c.ini)).config;
        makeService();
        mode = c.mode;
        std::vector<UnusualDayAlert> sunk;
        service->setUnusualDaySink([&sunk](const UnusualDayAlert& a) { sunk.push_back(a); });
        QSignalSpy changed(service.get(), &AlertService::alertsChanged);
        const std::size_t linesBefore = log.lines().size();
        tones.tones.clear();
        notifier.shown.clear();
        service->tellUnusualDay(kitchen);
        EXPECT_EQ(log.lines().size() - linesBefore, c.line ? 1u : 0u) << c.ini;
        if (c.line) {
            EXPECT_EQ(log.lines().back(), *c.line) << c.ini;
        }
        EXPECT_EQ(tones.tones.size(), c.tones) << c.ini;
        ASSERT_EQ(notifier.shown.size(), c.notices) << c.ini;
        if (c.notices > 0) {
            EXPECT_EQ(
                notifier.shown[0],
                std::make_pair(std::string("Unusual day"),
                               std::string("Kitchen: 41.2 kWh on 2026-12-08, typical 18.5 kWh")));
        }
        EXPECT_EQ(sunk.size(), config.unusualDay ? 1u : 0u) << c.ini;
        EXPECT_EQ(changed.size(), 0) << "no running alert starts";
        EXPECT_FALSE(service->evaluator().anyActive());
        EXPECT_TRUE(service->history().empty());
    }
}

}  // namespace
}  // namespace tev::alerts
