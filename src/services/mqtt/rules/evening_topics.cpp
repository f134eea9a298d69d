#include "services/mqtt/rules/evening_topics.h"

#include "core/texts/json_text.h"
#include "services/mqtt/rules/alert_topics.h"
#include "services/mqtt/rules/discovery_config.h"

namespace tev::mqtt {

std::string eveningTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/evening";
}

std::string eveningJson(double monthKwh, std::string_view lastReset,
                        std::optional<double> projectedCost, std::string_view currency,
                        std::optional<double> baseWatts) {
    std::string out = "{\"month_energy\":";
    appendJsonFixed(out, monthKwh, 3);
    out += ",\"last_reset\":";
    appendJsonString(out, lastReset);
    out += ",\"projected_month_cost\":";
    if (projectedCost)
        appendJsonFixed(out, *projectedCost, 2);
    else
        out += "null";
    out += ",\"currency\":";
    appendJsonString(out, currency);
    out += ",\"base_load\":";
    if (baseWatts)
        appendJsonFixed(out, *baseWatts, 1);
    else
        out += "null";
    return out + "}";
}

std::vector<DiscoveryMessage> eveningDiscoveryMessages(const MqttSettings& s,
                                                       std::string_view meterId, bool withCost,
                                                       std::string_view currency) {
    const std::string id = topicSafeId(meterId);
    const std::string device = "tev3p_" + id;
    struct Sensor {
        const char* key;
        const char* name;
        const char* deviceClass;
        std::string unit;
        const char* stateClass;  // nullptr: none (a projection is neither a total nor measured)
        bool reset;
    };
    const Sensor sensors[] = {
        {"month_energy", "Month energy", "energy", "kWh", "total", true},
        {"projected_month_cost", "Projected month cost", "monetary", isoCurrencyCode(currency),
         nullptr, false},
        {"base_load", "Base load", "power", "W", "measurement", false},
    };
    std::vector<DiscoveryMessage> out;
    for (const Sensor& sensor : sensors) {
        if (!withCost && sensor.deviceClass == std::string_view("monetary")) continue;
        const std::string key = sensor.key;
        DiscoveryConfig c;
        c.text("name", sensor.name)
            .text("unique_id", device + "_" + key)
            .text("default_entity_id", "sensor." + entitySlug(device + "_" + key))
            .text("state_topic", eveningTopic(s, meterId))
            .text("value_template", "{{ value_json." + key + " }}")
            .text("device_class", sensor.deviceClass)
            .text("unit_of_measurement", sensor.unit);
        if (sensor.stateClass != nullptr) c.text("state_class", sensor.stateClass);
        if (sensor.reset) c.text("last_reset_value_template", "{{ value_json.last_reset }}");
        out.push_back({s.discoveryPrefix + "/sensor/" + device + "/" + key + "/config",
                       c.finish(s, meterId, device)});
    }
    return out;
}

}  // namespace tev::mqtt
