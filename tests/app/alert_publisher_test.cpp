#include "app/alert_publisher.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"
#include "tests/support/fake_mqtt_client.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"

namespace tev::app {
namespace {

struct AlertPublishing : ::testing::Test {
    std::unique_ptr<MeterRegistry> registry = std::make_unique<MeterRegistry>();
    testing::FakeMqttClient client;
    mqtt::MqttSettings settings = [] {
        mqtt::MqttSettings s;
        s.host = "127.0.0.1";
        return s;
    }();
    mqtt::MeterPublisher publisher{settings, client, [](const std::string&) {}};
    testing::FakeClock clock;
    EventLog log{clock};
    testing::RecordingToneSink tones;
    alerts::AlertService alerts{
        alerts::loadAlertConfig(IniDocument::parse("[alerts]\ncurrent_max=10\n"
                                                   "current_seconds=0\n"))
            .config,
        log,
        [] { return LanguageMode::English; },
        tones,
        nullptr,
        clock};
    AlertPublisher alertPublisher{
        publisher, settings, alerts, [] { return TodayFigures{2.25, 1.5}; }, "EUR", clock};

    void SetUp() override {
        testing::qtApplication();
        publisher.start();
        client.connect();
        MeterEntry& e = registry->rows[registry->MeterCount++];
        e.Id.assign("M1");
        e.V1 = e.V2 = e.V3 = 230;
    }
    void message(float a1) {
        clock.advanceSeconds(1);
        registry->rows[0].A1 = a1;
        alerts.meterDataHandled(*registry, "M1");
        alertPublisher.meterDataHandled(*registry, "M1");
        publisher.service(*registry, unixMsOf(clock));
    }
    std::vector<std::string> sentTo(const std::string& topic) const {
        std::vector<std::string> out;
        for (const auto& m : client.sent)
            if (m.topic == topic) {
                EXPECT_TRUE(m.retain) << topic;
                out.push_back(m.payload);
            }
        return out;
    }
};

TEST_F(AlertPublishing, TheAlertTopicChangesOnStartAndEndOnlyAndIsClearedWhenMetersAreForgotten) {
    message(5);
    message(12);
    message(13);  // the value moves; the alert is the same
    message(14);
    message(5);
    message(15);
    clock.advanceSeconds(1);
    alerts.metersForgotten();
    alertPublisher.metersForgotten();
    publisher.service(*registry, unixMsOf(clock));
    const auto sent = sentTo("tev3p/M1/alert");
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], "[]");
    EXPECT_EQ(sent[1].rfind("[{\"rule\":\"current\",\"phase\":1,\"value\":12,\"threshold\":10,", 0),
              0u)
        << sent[1];
    EXPECT_EQ(sent[2], "[]");
    EXPECT_NE(sent[3], "[]");
    EXPECT_EQ(sent[4], "[]");
    EXPECT_EQ(sentTo("homeassistant/binary_sensor/tev3p_M1/alert_current/config").size(), 1u);
    const auto cost = sentTo("tev3p/M1/cost");
    ASSERT_EQ(cost.size(), 1u) << "the same cost is not sent again";
    // Today's cost starts again at local midnight, the moment last_reset names.
    EXPECT_EQ(cost[0].rfind("{\"cost_today\":1.50,\"currency\":\"EUR\",\"last_reset\":\"", 0), 0u)
        << cost[0];
    EXPECT_NE(cost[0].find("T00:00:00"), std::string::npos) << cost[0];
    EXPECT_NE(cost[0].find("\",\"energy_today\":2.250}"), std::string::npos) << cost[0];
}

}  // namespace
}  // namespace tev::app
