#include "services/mqtt/rules/alert_topics.h"

#include <gtest/gtest.h>

namespace tev::mqtt {
namespace {

TEST(AlertTopics, TopicsKeepTheMeterIdToOneLevelAndCostIsTwoDecimals) {
    MqttSettings s;
    s.prefix = "tev3p";
    EXPECT_EQ(alertTopic(s, "A/B+#"), "tev3p/A_B___4f17a187/alert");
    EXPECT_EQ(costTopic(s, "M1"), "tev3p/M1/cost");
    EXPECT_EQ(costJson(1.005, "\xE2\x82\xAC", "2026-12-08T00:00:00+01:00", 4.5678),
              "{\"cost_today\":1.00,\"currency\":\"\xE2\x82\xAC\","
              "\"last_reset\":\"2026-12-08T00:00:00+01:00\",\"energy_today\":4.568}");
    EXPECT_EQ(costJson(12.345, "a\"b", "x", 0),
              "{\"cost_today\":12.35,\"currency\":\"a\\\"b\",\"last_reset\":\"x\","
              "\"energy_today\":0.000}");
}

TEST(AlertTopics, OneProblemSensorPerRuleAndTheMonetarySensorOnlyWhenAsked) {
    MqttSettings s;
    s.prefix = "tev3p";
    s.discoveryPrefix = "homeassistant";
    const auto without = alertDiscoveryMessages(s, "M1", true, false, "EUR");
    ASSERT_EQ(without.size(), 5u);
    EXPECT_EQ(without[1].topic, "homeassistant/binary_sensor/tev3p_M1/alert_phase_loss/config");
    EXPECT_EQ(without[1].payload,
              "{\"name\":\"Alert phase loss\",\"unique_id\":\"tev3p_M1_alert_phase_loss\","
              "\"default_entity_id\":\"binary_sensor.tev3p_m1_alert_phase_loss\","
              "\"state_topic\":\"tev3p/M1/alert\",\"value_template\":\"{{ 'ON' if value_json | "
              "selectattr('rule', 'eq', 'phase_loss') | list | count > 0 else 'OFF' }}\","
              "\"payload_on\":\"ON\",\"payload_off\":\"OFF\",\"device_class\":\"problem\","
              "\"availability_mode\":\"all\",\"availability\":[{\"topic\":\"tev3p/status\"},"
              "{\"topic\":\"tev3p/M1/availability\"}],\"device\":{\"identifiers\":"
              "[\"tev3p_M1\"],\"name\":\"HOQ M1\",\"manufacturer\":\"HOQ\"}}");
    // The tariff's currency sign becomes the ISO code Home Assistant takes as a monetary unit.
    const struct {
        const char* currency;
        const char* unit;
    } units[] = {{"EUR", "EUR"},       {"\xE2\x82\xAC", "EUR"}, {"\xC2\xA3", "GBP"},
                 {"z\xC5\x82", "PLN"}, {"CHF", "CHF"},          {"kr", "kr"}};
    for (const auto& u : units) {
        const auto with = alertDiscoveryMessages(s, "M1", true, true, u.currency);
        ASSERT_EQ(with.size(), 7u);
        EXPECT_EQ(with[5].topic, "homeassistant/sensor/tev3p_M1/cost_today/config");
        EXPECT_NE(with[5].payload.find("\"device_class\":\"monetary\",\"unit_of_measurement\":\"" +
                                       std::string(u.unit) + "\",\"state_class\":\"total\""),
                  std::string::npos)
            << with[5].payload;
        EXPECT_EQ(with[6].topic, "homeassistant/sensor/tev3p_M1/energy_today/config");
        EXPECT_NE(
            with[6].payload.find("\"state_topic\":\"tev3p/M1/cost\",\"value_template\":\"{{ "
                                 "value_json.energy_today }}\",\"device_class\":\"energy\","
                                 "\"unit_of_measurement\":\"kWh\",\"state_class\":\"total\","
                                 "\"last_reset_value_template\":\"{{ value_json.last_reset }}\""),
            std::string::npos)
            << with[6].payload;
    }
}

}  // namespace
}  // namespace tev::mqtt
