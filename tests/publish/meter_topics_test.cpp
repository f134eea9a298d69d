#include "publish/meter_topics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "publish/mqtt_settings.h"
#include "publish/publish_queue.h"

namespace tev {
namespace {

TEST(MeterTopics, StateJsonCarriesTheMetersValuesWithItsPowersAndNullForNonNumbers) {
    MeterEntry m;
    m.Id.assign("HQ\"260/#0001");
    m.IpAddr.assign("192.168.1.7");
    m.MeterDate = 240802;
    m.Secs = 8 * 3600 + 5 * 60 + 9;
    m.V1 = 230.0f, m.V2 = 231.0f, m.V3 = 229.0f;
    m.A1 = 1.0f, m.A2 = 2.0f, m.A3 = NAN;
    m.Energy[0] = 12.3456f;
    EXPECT_EQ(meterStateJson(m),
              "{\"id\":\"HQ\\\"260/#0001\",\"ip\":\"192.168.1.7\",\"date\":\"2024-08-02\","
              "\"time\":\"08:05:09\",\"V1\":230.0,\"V2\":231.0,\"V3\":229.0,\"A1\":1.00,"
              "\"A2\":2.00,\"A3\":null,\"Amp\":null,\"W1\":197.8,\"W2\":397.3,\"W3\":null,"
              "\"Watt\":null,\"KWh\":12.346}");
    // The ID can add no topic level and no wildcard.
    MqttSettings s;
    EXPECT_EQ(stateTopic(s, m.Id.view()), "tev3p/HQ_260__0001/state");
    EXPECT_EQ(availabilityTopic(s, m.Id.view()), "tev3p/HQ_260__0001/availability");
}

TEST(MeterTopics, DiscoveryGivesEachSensorItsClassUnitAndStateClassUnderOneDevice) {
    MeterEntry m;
    m.Id.assign("SIM000000001");
    m.Model.assign("HOQ-260 3P");
    MqttSettings s;
    const auto messages = discoveryMessages(s, m);
    ASSERT_EQ(messages.size(), 12u);
    EXPECT_EQ(messages[0].topic, "homeassistant/sensor/tev3p_SIM000000001/V1/config");
    EXPECT_EQ(messages[0].payload,
              "{\"name\":\"Voltage L1\",\"unique_id\":\"tev3p_SIM000000001_V1\",\"object_id\":"
              "\"tev3p_SIM000000001_V1\",\"state_topic\":\"tev3p/SIM000000001/state\","
              "\"value_template\":\"{{ value_json.V1 }}\",\"device_class\":\"voltage\","
              "\"unit_of_measurement\":\"V\",\"state_class\":\"measurement\","
              "\"availability_mode\":\"all\",\"availability\":[{\"topic\":\"tev3p/status\"},"
              "{\"topic\":\"tev3p/SIM000000001/availability\"}],\"device\":{\"identifiers\":"
              "[\"tev3p_SIM000000001\"],\"name\":\"HOQ SIM000000001\",\"model\":\"HOQ-260 3P\","
              "\"manufacturer\":\"HOQ\"}}");
    const auto has = [&](int i, const std::string& text) {
        return messages[i].payload.find(text) != std::string::npos;
    };
    EXPECT_TRUE(has(4, "\"device_class\":\"current\",\"unit_of_measurement\":\"A\""));
    EXPECT_TRUE(has(10, "\"device_class\":\"power\",\"unit_of_measurement\":\"W\""));
    EXPECT_EQ(messages[11].topic, "homeassistant/sensor/tev3p_SIM000000001/KWh/config");
    EXPECT_TRUE(has(11,
                    "\"device_class\":\"energy\",\"unit_of_measurement\":\"kWh\","
                    "\"state_class\":\"total_increasing\""));
}

TEST(MqttSettings, KeysAreReadAndBadValuesReportedWithoutTakingEffect) {
    std::vector<std::string> problems;
    const MqttSettings s = mqttSettingsFrom({{"host", "broker"},
                                             {"port", "8883"},
                                             {"tls", "on"},
                                             {"prefix", "home/power"},
                                             {"client_id", "desk"}},
                                            problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(s.enabled());
    EXPECT_EQ(s.port, 8883);
    EXPECT_TRUE(s.tls);
    EXPECT_EQ(s.prefix, "home/power");

    const MqttSettings bad = mqttSettingsFrom(
        {{"port", "0"}, {"tls", "maybe"}, {"prefix", "a/#"}, {"colour", "red"}}, problems);
    EXPECT_EQ(problems.size(), 4u);
    EXPECT_FALSE(bad.enabled());
    EXPECT_EQ(bad.port, 1883);
    EXPECT_EQ(bad.prefix, "tev3p");
}

TEST(PublishQueue, ANewerMessageReplacesTheWaitingOneInItsPlaceAndAFullQueueDropsTheOldest) {
    PublishQueue q(2);
    q.put("a", "1", false);
    q.put("b", "2", true);
    q.put("a", "3", false);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q.front().topic, "a");
    EXPECT_EQ(q.front().payload, "3");
    q.put("c", "4", false);
    EXPECT_EQ(q.dropped(), 1u);
    EXPECT_EQ(q.front().topic, "b");
    EXPECT_TRUE(q.front().retain);
    EXPECT_EQ(q.payloadBytes(), 2u);
    q.popFront();
    EXPECT_EQ(q.front().payload, "4");
}

}  // namespace
}  // namespace tev
