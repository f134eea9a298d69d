#include "services/mqtt/rules/meter_topics.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/store/live_readings.h"
#include "core/texts/json_text.h"
#include "services/mqtt/rules/discovery_config.h"

namespace tev::mqtt {
namespace {

constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerDay = 86400;

void appendField(std::string& out, std::string_view key, double v, int decimals) {
    out += ",\"";
    out += key;
    out += "\":";
    appendJsonFixed(out, v, decimals);
}

// The meter's date code (year - 2000) x 10000 + month x 100 + day as 2024-08-02, when it is one.
std::string isoDate(std::int32_t code) {
    const int year = 2000 + code / 10000, month = code / 100 % 100, day = code % 100;
    if (code <= 0 || month < 1 || month > 12 || day < 1 || day > 31) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

std::string clockTime(std::int32_t secs) {
    if (secs < 0 || secs >= kSecondsPerDay) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", secs / kSecondsPerHour,
                  secs / kSecondsPerMinute % kSecondsPerMinute, secs % kSecondsPerMinute);
    return buf;
}

// FNV-1a of the raw bytes, as eight hex digits.
std::string shortHash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", h);
    return buf;
}

struct Sensor {
    const char* key;
    const char* deviceClass;
    const char* unit;
    const char* stateClass;
    const char* name;
};

constexpr Sensor kSensors[] = {
    {"V1", "voltage", "V", "measurement", "Voltage L1"},
    {"V2", "voltage", "V", "measurement", "Voltage L2"},
    {"V3", "voltage", "V", "measurement", "Voltage L3"},
    {"A1", "current", "A", "measurement", "Current L1"},
    {"A2", "current", "A", "measurement", "Current L2"},
    {"A3", "current", "A", "measurement", "Current L3"},
    {"Amp", "current", "A", "measurement", "Current"},
    {"W1", "power", "W", "measurement", "Power L1"},
    {"W2", "power", "W", "measurement", "Power L2"},
    {"W3", "power", "W", "measurement", "Power L3"},
    {"Watt", "power", "W", "measurement", "Power"},
    // The meter's day energy starts again at its midnight; Home Assistant reads a drop of a
    // total_increasing sensor as a new cycle.
    {"KWh", "energy", "kWh", "total_increasing", "Energy today"},
};

}  // namespace

std::string entitySlug(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            c = '_';
    }
    return out;
}

std::string topicSafeId(std::string_view meterId) {
    std::string out(meterId);
    bool replaced = false;
    for (char& c : out) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) {
            c = '_';
            replaced = true;
        }
    }
    if (out.empty()) {
        out = "_";
        replaced = true;
    }
    // IDs that differ only in replaced characters would share topics and Home Assistant
    // identifiers, and one meter's configs would overwrite the other's.
    if (replaced) out += "_" + shortHash(meterId);
    return out;
}

std::string bridgeStatusTopic(const MqttSettings& s) {
    return s.prefix + "/status";
}

std::string stateTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/state";
}

std::string availabilityTopic(const MqttSettings& s, std::string_view meterId) {
    return s.prefix + "/" + topicSafeId(meterId) + "/availability";
}

std::string meterStateJson(const MeterEntry& m) {
    const double w1 = static_cast<double>(m.V1) * m.A1 * kPowerFactor;
    const double w2 = static_cast<double>(m.V2) * m.A2 * kPowerFactor;
    const double w3 = static_cast<double>(m.V3) * m.A3 * kPowerFactor;
    std::string out;
    out.reserve(320);
    out += "{\"id\":";
    appendJsonString(out, m.Id.view());
    out += ",\"ip\":";
    appendJsonString(out, m.IpAddr.view());
    const std::string date = isoDate(m.MeterDate);
    out += ",\"date\":";
    if (date.empty())
        out += "null";
    else
        appendJsonString(out, date);
    const std::string time = clockTime(m.Secs);
    out += ",\"time\":";
    if (time.empty())
        out += "null";
    else
        appendJsonString(out, time);
    appendField(out, "V1", m.V1, 1);
    appendField(out, "V2", m.V2, 1);
    appendField(out, "V3", m.V3, 1);
    appendField(out, "A1", m.A1, 2);
    appendField(out, "A2", m.A2, 2);
    appendField(out, "A3", m.A3, 2);
    appendField(out, "Amp", static_cast<double>(m.A1) + m.A2 + m.A3, 2);
    appendField(out, "W1", w1, 1);
    appendField(out, "W2", w2, 1);
    appendField(out, "W3", w3, 1);
    appendField(out, "Watt", w1 + w2 + w3, 1);
    appendField(out, "KWh", m.Energy[0], 3);
    out += '}';
    return out;
}

std::vector<DiscoveryMessage> discoveryMessages(const MqttSettings& s, const MeterEntry& meter) {
    const std::string id = topicSafeId(meter.Id.view());
    const std::string device = "tev3p_" + id;
    const std::string state = stateTopic(s, meter.Id.view());
    const std::string model =
        meter.Model.empty() ? std::string("HOQ") : std::string(meter.Model.view());
    std::vector<DiscoveryMessage> out;
    out.reserve(std::size(kSensors));
    for (const Sensor& sensor : kSensors) {
        std::string p =
            DiscoveryConfig()
                .text("name", sensor.name)
                .text("unique_id", device + "_" + sensor.key)
                .text("default_entity_id", "sensor." + entitySlug(device + "_" + sensor.key))
                .text("state_topic", state)
                .text("value_template", std::string("{{ value_json.") + sensor.key + " }}")
                .text("device_class", sensor.deviceClass)
                .text("unit_of_measurement", sensor.unit)
                .text("state_class", sensor.stateClass)
                .finish(s, meter.Id.view(), device, model);
        out.push_back(
            {s.discoveryPrefix + "/sensor/" + device + "/" + sensor.key + "/config", std::move(p)});
    }
    return out;
}

}  // namespace tev::mqtt
