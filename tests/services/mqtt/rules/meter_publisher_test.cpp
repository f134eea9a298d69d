#include "services/mqtt/rules/meter_publisher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/support/fake_mqtt_client.h"

namespace tev::mqtt {
namespace {

using Kind = ClientEvent::Kind;

struct Publisher : ::testing::Test {
    std::unique_ptr<MeterRegistry> registry = std::make_unique<MeterRegistry>();
    testing::FakeMqttClient client;
    std::vector<std::string> log;
    MqttSettings settings = [] {
        MqttSettings s;
        s.host = "127.0.0.1";
        s.port = 1883;
        return s;
    }();
    MeterPublisher publisher{settings, client, [this](const std::string& l) { log.push_back(l); }};

    MeterEntry& addMeter(const std::string& id, float v1) {
        MeterEntry& e = registry->rows[registry->MeterCount++];
        e.Id.assign(id);
        e.IpAddr.assign("192.168.1.100");
        e.MeterDate = 240802;
        e.Secs = 8 * 3600 + 5 * 60 + 9;
        e.V1 = v1;
        return e;
    }
    std::vector<std::string> sentTo(const std::string& topic) const {
        std::vector<std::string> out;
        for (const auto& m : client.sent)
            if (m.topic == topic) out.push_back(m.payload);
        return out;
    }
};

TEST_F(Publisher, AMeterPublishesItsNewestStateAtMostOnceASecond) {
    publisher.start();
    client.connect();
    MeterEntry& meter = addMeter("A00000000001", 230.0f);
    publisher.meterMessage(*registry, "A00000000001");
    publisher.service(*registry, 1000);
    EXPECT_EQ(sentTo("tev3p/A00000000001/state").size(), 1u);

    // Three messages within the second: nothing until the second is over, then the newest.
    for (float v : {231.0f, 232.0f, 233.0f}) {
        meter.V1 = v;
        publisher.meterMessage(*registry, "A00000000001");
        publisher.service(*registry, 1500);
    }
    EXPECT_EQ(sentTo("tev3p/A00000000001/state").size(), 1u);
    publisher.service(*registry, 2000);
    const auto states = sentTo("tev3p/A00000000001/state");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_NE(states[1].find("\"V1\":233.0"), std::string::npos) << states[1];
    // Nothing new, nothing sent.
    publisher.service(*registry, 5000);
    EXPECT_EQ(sentTo("tev3p/A00000000001/state").size(), 2u);
}

TEST_F(Publisher, DiscoveryAndAvailabilityAreRetainedAndSentAgainAfterAReconnect) {
    publisher.start();
    client.connect();
    addMeter("A00000000001", 230.0f);
    publisher.meterMessage(*registry, "A00000000001");
    publisher.service(*registry, 0);
    const auto isConfig = [](const testing::FakeMqttClient::Sent& m) {
        return m.topic.rfind("homeassistant/sensor/tev3p_A00000000001/", 0) == 0;
    };
    EXPECT_EQ(std::count_if(client.sent.begin(), client.sent.end(), isConfig), 12);
    for (const auto& m : client.sent) {
        if (isConfig(m) || m.topic.find("/availability") != std::string::npos) {
            EXPECT_TRUE(m.retain) << m.topic;
        }
    }
    EXPECT_EQ(sentTo("tev3p/A00000000001/availability"), std::vector<std::string>{"online"});

    client.fail(Kind::Lost, "connection lost");
    publisher.service(*registry, 100);
    client.sent.clear();
    client.connect();
    publisher.service(*registry, 200);
    EXPECT_EQ(std::count_if(client.sent.begin(), client.sent.end(), isConfig), 12);
    EXPECT_EQ(sentTo("tev3p/A00000000001/availability"), std::vector<std::string>{"online"});
}

TEST_F(Publisher, TheOfflineAlarmPublishesOfflineForEachMeterThatWasOnline) {
    publisher.start();
    client.connect();
    addMeter("A00000000001", 230.0f);
    addMeter("B00000000002", 231.0f);
    publisher.meterMessage(*registry, "A00000000001");
    publisher.meterMessage(*registry, "B00000000002");
    publisher.service(*registry, 0);
    publisher.allMetersOffline();
    publisher.service(*registry, 100);
    EXPECT_EQ(sentTo("tev3p/A00000000001/availability"),
              (std::vector<std::string>{"online", "offline"}));
    EXPECT_EQ(sentTo("tev3p/B00000000002/availability"),
              (std::vector<std::string>{"online", "offline"}));
}

TEST_F(Publisher, PollsFromUnregisteredMetersAndDeviceOnlyMetersPublishNoState) {
    publisher.start();
    client.connect();
    publisher.meterMessage(*registry, "NOTREGISTERD");
    MeterEntry& fresh = addMeter("A00000000001", 0.0f);
    fresh.MeterDate = 0;
    fresh.Secs = 0;
    publisher.meterMessage(*registry, "A00000000001", false);
    publisher.service(*registry, 0);
    EXPECT_EQ(publisher.knownMeters(), 1u);
    EXPECT_TRUE(sentTo("tev3p/A00000000001/state").empty());
    EXPECT_EQ(sentTo("tev3p/A00000000001/availability"), std::vector<std::string>{"online"});

    // Back from the off-line alarm, B's device message lands in A's old row, which still holds
    // A's readings: nothing of them is published as B's until B's own data message.
    publisher.allMetersOffline();
    MeterEntry& reused = registry->rows[0];
    reused.Id.assign("B00000000002");
    reused.MeterDate = 260504;
    reused.Secs = 100;
    reused.V1 = 231.0f;
    publisher.meterMessage(*registry, "B00000000002", false);
    publisher.service(*registry, 10'000);
    EXPECT_TRUE(sentTo("tev3p/B00000000002/state").empty());
    reused.V1 = 215.0f;
    publisher.meterMessage(*registry, "B00000000002", true);
    publisher.service(*registry, 20'000);
    const std::vector<std::string> states = sentTo("tev3p/B00000000002/state");
    ASSERT_EQ(states.size(), 1u);
    EXPECT_NE(states[0].find("215"), std::string::npos) << states[0];
}

TEST_F(Publisher, AnOutageIsLoggedOnceAndTheRecoveryOnce) {
    publisher.start();
    client.fail(Kind::Unreachable, "Connection refused");
    publisher.service(*registry, 0);
    client.fail(Kind::Unreachable, "Connection refused");
    client.fail(Kind::Unreachable, "Connection refused");
    publisher.service(*registry, 1000);
    client.connect();
    publisher.service(*registry, 2000);
    client.fail(Kind::Refused, "not authorised");
    client.fail(Kind::Refused, "not authorised");
    publisher.service(*registry, 3000);
    client.fail(Kind::Refused, "not authorised");
    publisher.service(*registry, 4000);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "MQTT: publishing to 127.0.0.1:1883 under tev3p/");
    EXPECT_EQ(log[1],
              "MQTT: broker 127.0.0.1:1883 cannot be reached: Connection refused; retrying in the "
              "background, readings wait (newest kept)");
    EXPECT_EQ(log[2], "MQTT: broker 127.0.0.1:1883 reached again, publishing resumes");
    EXPECT_EQ(log[3],
              "MQTT: broker 127.0.0.1:1883 refused the connection: not authorised; retrying in "
              "the background, readings wait (newest kept)");
}

TEST_F(Publisher, ABrokerAwayForLongHoldsOneMessagePerTopicAndSendsTheNewestOnReturn) {
    publisher.start();
    for (int i = 0; i < 200; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "M%011d", i);
        addMeter(id, 230.0f);
    }
    // Ten minutes of messages from 200 meters with nobody taking them.
    for (int second = 0; second < 600; ++second) {
        for (int i = 0; i < 200; ++i) {
            registry->rows[i].V1 = 200.0f + second % 40;
            publisher.meterMessage(*registry, registry->rows[i].Id.view());
        }
        publisher.service(*registry, second * 1000LL);
    }
    // 200 states, 200 availabilities, 2400 discovery configs: one each.
    EXPECT_EQ(publisher.queue().size(), 2800u);
    EXPECT_LE(publisher.queue().size(), MeterPublisher::kQueueCapacity);
    EXPECT_EQ(publisher.queue().dropped(), 0u);

    client.room = 100;
    client.connect();
    publisher.service(*registry, 600 * 1000LL);
    EXPECT_EQ(client.sent.size(), 100u);
    client.room = -1;
    publisher.service(*registry, 600 * 1000LL + 200);
    const auto states = sentTo("tev3p/M00000000007/state");
    ASSERT_FALSE(states.empty());
    EXPECT_NE(states.back().find("\"V1\":239.0"), std::string::npos) << states.back();
}

TEST_F(Publisher, ACleanStopLeavesEveryPublishedMeterOfflineRetained) {
    publisher.start();
    client.connect();
    addMeter("A00000000001", 230.0f);
    addMeter("B00000000002", 231.0f);
    publisher.meterMessage(*registry, "A00000000001");
    publisher.meterMessage(*registry, "B00000000002");
    publisher.service(*registry, 1000);
    ASSERT_EQ(sentTo("tev3p/A00000000001/availability"), std::vector<std::string>{"online"});
    publisher.stop();
    EXPECT_TRUE(client.stopped);
    for (const char* topic :
         {"tev3p/A00000000001/availability", "tev3p/B00000000002/availability"}) {
        EXPECT_EQ(sentTo(topic), (std::vector<std::string>{"online", "offline"})) << topic;
        const auto last = std::find_if(client.sent.rbegin(), client.sent.rend(),
                                       [&](const auto& m) { return m.topic == topic; });
        EXPECT_TRUE(last->retain);
    }
}

TEST_F(Publisher, ASettingTheClientCannotUseIsToldWithoutPromisingARetry) {
    publisher.start();
    client.fail(Kind::Failed, "Invalid function arguments provided.");
    publisher.service(*registry, 0);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1],
              "MQTT: broker 127.0.0.1:1883 cannot be used: Invalid function arguments provided.; "
              "publishing is off until the program is started again");
    EXPECT_EQ(log[1].find("retrying"), std::string::npos);
}

}  // namespace
}  // namespace tev::mqtt
