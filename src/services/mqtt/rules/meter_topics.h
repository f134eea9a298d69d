#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/store/meter_registry.h"
#include "services/mqtt/rules/mqtt_settings.h"

namespace tev::mqtt {

// The name of a meter in topics and Home Assistant identifiers: its ID with every character
// other than a letter, a digit, "-" or "_" written as "_", so that no meter ID can add a topic
// level or a wildcard. When a character was replaced, "_" and a short hash of the raw ID follow,
// so that two IDs never share a name.
std::string topicSafeId(std::string_view meterId);

// A Home Assistant entity ID's object part: lower-case letters, digits and "_" only.
std::string entitySlug(std::string_view text);

// <prefix>/status: "online" while the program is connected, "offline" as its last will.
std::string bridgeStatusTopic(const MqttSettings& s);
// <prefix>/<meter>/state and <prefix>/<meter>/availability.
std::string stateTopic(const MqttSettings& s, std::string_view meterId);
std::string availabilityTopic(const MqttSettings& s, std::string_view meterId);

inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";

// The meter's state as one JSON object: its ID and IP text, the meter's date and time, the
// three voltages, currents and powers (V x A x 0.86), total current and power, and its energy
// of the current day. A value that is not a finite number is written as null.
std::string meterStateJson(const MeterEntry& meter);

// One Home Assistant discovery message: retained, under
// <discovery prefix>/sensor/tev3p_<meter>/<key>/config.
struct DiscoveryMessage {
    std::string topic;
    std::string payload;
};
// The sensors of one meter, all of one device: V1–V3, A1–A3, Amp, W1–W3, Watt and KWh. Each
// proposes its entity ID as default_entity_id, sensor.tev3p_<meter>_<quantity> in lower case.
std::vector<DiscoveryMessage> discoveryMessages(const MqttSettings& s, const MeterEntry& meter);

}  // namespace tev::mqtt
