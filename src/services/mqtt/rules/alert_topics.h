#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "services/mqtt/rules/meter_topics.h"

namespace tev {

// <prefix>/<meter>/alert: retained, the meter's running alerts as a JSON array ("[]" when none).
std::string alertTopic(const MqttSettings& s, std::string_view meterId);
// <prefix>/<meter>/cost: retained, {"cost_today":1.23,"currency":"€"} for the primary meter.
std::string costTopic(const MqttSettings& s, std::string_view meterId);
std::string costJson(double costToday, std::string_view currency);

// The rules as they appear in the alert JSON and as the last level of their discovery topics.
inline constexpr std::string_view kAlertRuleKeys[] = {"voltage", "phase_loss", "current", "demand",
                                                      "imbalance"};

// Home Assistant discovery for one meter's alerts: a binary_sensor of device class "problem"
// per rule, on while the alert JSON holds that rule, part of the meter's device; with
// `withCost` also the cost_today sensor of device class "monetary".
std::vector<DiscoveryMessage> alertDiscoveryMessages(const MqttSettings& s,
                                                     std::string_view meterId, bool withCost,
                                                     std::string_view currency);

}  // namespace tev
