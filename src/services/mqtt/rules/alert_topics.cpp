#include "services/mqtt/rules/alert_topics.h"

#include <utility>

#include "core/texts/json_text.h"
#include "services/mqtt/rules/discovery_config.h"

namespace tev::mqtt {

namespace {

struct RuleName {
    std::string_view key;
    std::string_view name;
};
constexpr RuleName kRuleNames[] = {{"voltage", "Alert voltage"},
                                   {"phase_loss", "Alert phase loss"},
                                   {"current", "Alert current"},
                                   {"demand", "Alert demand"},
                                   {"imbalance", "Alert imbalance"}};

}  // namespace

std::string alertTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/alert";
}

std::string costTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/cost";
}

std::string unusualDayTopic(const MqttSettings& s, std::string_view meterId) {
    return alertTopic(s, meterId) + "/unusual_day";
}

std::string unusualDayJson(std::string_view day, double kwh, double typicalKwh) {
    std::string out = "{\"day\":";
    appendJsonString(out, day);
    out += ",\"kwh\":";
    appendJsonFixed(out, kwh, 3, true);
    out += ",\"typical_kwh\":";
    appendJsonFixed(out, typicalKwh, 3, true);
    return out + "}";
}

std::string costJson(double costToday, std::string_view currency, std::string_view lastReset,
                     double energyToday) {
    std::string out = "{\"cost_today\":";
    appendJsonFixed(out, costToday, 2);
    out += ",\"currency\":";
    appendJsonString(out, currency);
    out += ",\"last_reset\":";
    appendJsonString(out, lastReset);
    out += ",\"energy_today\":";
    appendJsonFixed(out, energyToday, 3);
    return out + "}";
}

std::string isoCurrencyCode(std::string_view currency) {
    static constexpr std::pair<std::string_view, std::string_view> kSigns[] = {
        {"\xE2\x82\xAC", "EUR"}, {"\xC2\xA3", "GBP"},     {"$", "USD"},
        {"US$", "USD"},          {"\xC2\xA5", "JPY"},     {"\xE2\x82\xB9", "INR"},
        {"z\xC5\x82", "PLN"},    {"K\xC4\x8D", "CZK"},    {"Ft", "HUF"},
        {"Fr.", "CHF"},          {"\xE2\x82\xBA", "TRY"}, {"\xE2\x82\xB4", "UAH"},
        {"\xE2\x82\xA9", "KRW"}, {"lei", "RON"},          {"R$", "BRL"}};
    for (const auto& [sign, code] : kSigns)
        if (currency == sign) return std::string(code);
    return std::string(currency);
}

std::vector<DiscoveryMessage> alertDiscoveryMessages(const MqttSettings& s,
                                                     std::string_view meterId, bool withAlerts,
                                                     bool withCost, std::string_view currency) {
    const std::string id = topicSafeId(meterId);
    const std::string device = "tev3p_" + id;
    std::vector<DiscoveryMessage> out;
    for (const RuleName& rule : kRuleNames) {
        if (!withAlerts) break;
        const std::string key = "alert_" + std::string(rule.key);
        std::string p =
            DiscoveryConfig()
                .text("name", rule.name)
                .text("unique_id", device + "_" + key)
                .text("default_entity_id", "binary_sensor." + entitySlug(device + "_" + key))
                .text("state_topic", alertTopic(s, meterId))
                .text("value_template", "{{ 'ON' if value_json | selectattr('rule', 'eq', '" +
                                            std::string(rule.key) +
                                            "') | list | count > 0 else 'OFF' }}")
                .text("payload_on", "ON")
                .text("payload_off", "OFF")
                .text("device_class", "problem")
                .finish(s, meterId, device);
        out.push_back(
            {s.discoveryPrefix + "/binary_sensor/" + device + "/" + key + "/config", std::move(p)});
    }
    if (withCost) {
        // Today's cost and energy, both from the one cost payload and reset at local midnight.
        struct TodaySensor {
            const char* key;
            const char* name;
            const char* deviceClass;
            std::string unit;
        };
        const TodaySensor sensors[] = {
            {"cost_today", "Cost today", "monetary", isoCurrencyCode(currency)},
            {"energy_today", "Energy today", "energy", "kWh"},
        };
        for (const TodaySensor& sensor : sensors) {
            const std::string key = sensor.key;
            std::string p =
                DiscoveryConfig()
                    .text("name", sensor.name)
                    .text("unique_id", device + "_" + key)
                    .text("default_entity_id", "sensor." + entitySlug(device + "_" + key))
                    .text("state_topic", costTopic(s, meterId))
                    .text("value_template", "{{ value_json." + key + " }}")
                    .text("device_class", sensor.deviceClass)
                    .text("unit_of_measurement", sensor.unit)
                    .text("state_class", "total")
                    .text("last_reset_value_template", "{{ value_json.last_reset }}")
                    .finish(s, meterId, device);
            out.push_back(
                {s.discoveryPrefix + "/sensor/" + device + "/" + key + "/config", std::move(p)});
        }
    }
    return out;
}

}  // namespace tev::mqtt
