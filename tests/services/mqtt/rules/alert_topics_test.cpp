#include "services/mqtt/rules/alert_topics.h"

#include <gtest/gtest.h>

#include <optional>

#include "services/mqtt/rules/evening_topics.h"

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

// The evening figures: one retained payload per meter, three sensors read from it, the cost one
// only with a tariff.
TEST(AlertTopics, EveningFiguresGoOnOneTopicWithTheirSensors) {
    MqttSettings s;
    s.prefix = "tev3p";
    s.discoveryPrefix = "homeassistant";
    EXPECT_EQ(eveningTopic(s, "A/B+#"), "tev3p/A_B___4f17a187/evening");
    struct Case {
        std::optional<double> cost, base;
        const char* payload;
    };
    const Case cases[] = {
        {98.765, 180.44,
         "{\"month_energy\":123.457,\"last_reset\":\"2026-12-01T00:00:00+01:00\","
         "\"projected_month_cost\":98.77,\"currency\":\"EUR\",\"base_load\":180.4}"},
        {std::nullopt, std::nullopt,
         "{\"month_energy\":123.457,\"last_reset\":\"2026-12-01T00:00:00+01:00\","
         "\"projected_month_cost\":null,\"currency\":\"EUR\",\"base_load\":null}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eveningJson(123.4567, "2026-12-01T00:00:00+01:00", c.cost, "EUR", c.base),
                  c.payload);
    const auto priced = eveningDiscoveryMessages(s, "M1", true, "\xE2\x82\xAC");
    ASSERT_EQ(priced.size(), 3u);
    EXPECT_EQ(priced[0].topic, "homeassistant/sensor/tev3p_M1/month_energy/config");
    EXPECT_NE(
        priced[0].payload.find("\"name\":\"Month energy\",\"unique_id\":\"tev3p_M1_month_energy\","
                               "\"default_entity_id\":\"sensor.tev3p_m1_month_energy\","
                               "\"state_topic\":\"tev3p/M1/evening\",\"value_template\":\"{{ "
                               "value_json.month_energy }}\",\"device_class\":\"energy\","
                               "\"unit_of_measurement\":\"kWh\",\"state_class\":\"total\","
                               "\"last_reset_value_template\":\"{{ value_json.last_reset }}\""),
        std::string::npos)
        << priced[0].payload;
    EXPECT_NE(priced[1].payload.find("\"name\":\"Projected month cost\""), std::string::npos);
    EXPECT_NE(priced[1].payload.find("\"device_class\":\"monetary\",\"unit_of_measurement\":"
                                     "\"EUR\",\"availability_mode\""),
              std::string::npos)
        << priced[1].payload;
    EXPECT_NE(priced[2].payload.find("\"device_class\":\"power\",\"unit_of_measurement\":"
                                     "\"W\",\"state_class\":\"measurement\","),
              std::string::npos)
        << priced[2].payload;
    const auto unpriced = eveningDiscoveryMessages(s, "M1", false, "");
    ASSERT_EQ(unpriced.size(), 2u);
    EXPECT_EQ(unpriced[1].topic, "homeassistant/sensor/tev3p_M1/base_load/config");
}

}  // namespace
}  // namespace tev::mqtt
