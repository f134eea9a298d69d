#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "services/mqtt/rules/meter_topics.h"

namespace tev::mqtt {

// <prefix>/<meter>/alert: retained, the meter's running alerts as a JSON array ("[]" when none).
std::string alertTopic(const MqttSettings& s, std::string_view meterId);
// <prefix>/<meter>/alert/unusual_day: retained, the meter's last unusual day as
// {"day":"2026-12-08","kwh":41.2,"typical_kwh":18.5}, sent once when that day has ended
// (only with [alerts] unusual_day on).
std::string unusualDayTopic(const MqttSettings& s, std::string_view meterId);
std::string unusualDayJson(std::string_view day, double kwh, double typicalKwh);
// <prefix>/<meter>/cost: retained, for the primary meter,
// {"cost_today":1.23,"currency":"EUR","last_reset":"2026-12-08T00:00:00+01:00",
// "energy_today":4.567}: today's cost and energy (kWh) start again at each local midnight, the
// moment `last_reset` names.
std::string costTopic(const MqttSettings& s, std::string_view meterId);
std::string costJson(double costToday, std::string_view currency, std::string_view lastReset,
                     double energyToday);

// The ISO 4217 code Home Assistant wants as a monetary unit: a currency sign the tariff may
// name ("€", "£", "$", "zł", …) becomes its code; any other text is kept as it is.
std::string isoCurrencyCode(std::string_view currency);

// The rules as they appear in the alert JSON and as the last level of their discovery topics.
inline constexpr std::string_view kAlertRuleKeys[] = {"voltage", "phase_loss", "current", "demand",
                                                      "imbalance"};

// Home Assistant discovery for one meter: with `withAlerts` a binary_sensor of device class
// "problem" per rule, on while the alert JSON holds that rule; with `withCost` the cost_today
// sensor of device class "monetary" (its unit the currency's ISO code) and the energy_today
// sensor of device class "energy" in kWh, totals that start again at `last_reset`. Each is part
// of the meter's device and proposes its entity ID.
std::vector<DiscoveryMessage> alertDiscoveryMessages(const MqttSettings& s,
                                                     std::string_view meterId, bool withAlerts,
                                                     bool withCost, std::string_view currency);

}  // namespace tev::mqtt
