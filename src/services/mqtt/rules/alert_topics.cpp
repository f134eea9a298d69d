#include "services/mqtt/rules/alert_topics.h"

#include <cmath>
#include <cstdio>

namespace tev {

namespace {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

struct RuleName {
    std::string_view key;
    std::string_view name;
};
constexpr RuleName kRuleNames[] = {{"voltage", "Alert voltage"},
                                   {"phase_loss", "Alert phase loss"},
                                   {"current", "Alert current"},
                                   {"demand", "Alert demand"},
                                   {"imbalance", "Alert imbalance"}};

// The parts every config of the meter's device shares: availability and the device.
std::string deviceTail(const MqttSettings& s, std::string_view meterId, const std::string& device) {
    std::string p = ",\"availability_mode\":\"all\",\"availability\":[{\"topic\":";
    p += jsonString(bridgeStatusTopic(s));
    p += "},{\"topic\":";
    p += jsonString(availabilityTopic(s, meterId));
    p += "}],\"device\":{\"identifiers\":[";
    p += jsonString(device);
    p += "],\"name\":";
    p += jsonString("HOQ " + std::string(meterId));
    p += ",\"manufacturer\":\"HOQ\"}}";
    return p;
}

}  // namespace

std::string alertTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/alert";
}

std::string costTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/cost";
}

std::string costJson(double costToday, std::string_view currency) {
    char buf[64];
    if (std::isfinite(costToday))
        std::snprintf(buf, sizeof buf, "%.2f", costToday);
    else
        std::snprintf(buf, sizeof buf, "null");
    return std::string("{\"cost_today\":") + buf + ",\"currency\":" + jsonString(currency) + "}";
}

std::vector<DiscoveryMessage> alertDiscoveryMessages(const MqttSettings& s,
                                                     std::string_view meterId, bool withCost,
                                                     std::string_view currency) {
    const std::string id = topicSafeId(meterId);
    const std::string device = "tev3p_" + id;
    std::vector<DiscoveryMessage> out;
    for (const RuleName& rule : kRuleNames) {
        const std::string key = "alert_" + std::string(rule.key);
        std::string p = "{\"name\":" + jsonString(rule.name);
        p += ",\"unique_id\":" + jsonString(device + "_" + key);
        p += ",\"state_topic\":" + jsonString(alertTopic(s, meterId));
        p += ",\"value_template\":";
        p += jsonString("{{ 'ON' if value_json | selectattr('rule', 'eq', '" +
                        std::string(rule.key) + "') | list | count > 0 else 'OFF' }}");
        p += ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\",\"device_class\":\"problem\"";
        p += deviceTail(s, meterId, device);
        out.push_back(
            {s.discoveryPrefix + "/binary_sensor/" + device + "/" + key + "/config", std::move(p)});
    }
    if (withCost) {
        std::string p = "{\"name\":\"Cost today\"";
        p += ",\"unique_id\":" + jsonString(device + "_cost_today");
        p += ",\"state_topic\":" + jsonString(costTopic(s, meterId));
        p += ",\"value_template\":\"{{ value_json.cost_today }}\"";
        p += ",\"device_class\":\"monetary\",\"unit_of_measurement\":" + jsonString(currency);
        p += ",\"state_class\":\"total\"";
        p += deviceTail(s, meterId, device);
        out.push_back(
            {s.discoveryPrefix + "/sensor/" + device + "/cost_today/config", std::move(p)});
    }
    return out;
}

}  // namespace tev
