#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/mqtt/rules/meter_topics.h"

namespace tev::mqtt {

// <prefix>/<meter>/evening: retained, each archived meter's evening figures, at most once a
// minute while the archive is on:
// {"month_energy":123.456,"last_reset":"2026-12-01T00:00:00+01:00","projected_month_cost":98.76,
// "currency":"EUR","base_load":180.4}: the month's energy (kWh) starts again on the first at
// local midnight, the moment `last_reset` names; the projected cost (null without a tariff or
// a whole day of history) and the base load (W, of the last whole night; null before one).
std::string eveningTopic(const MqttSettings& s, std::string_view meterId);
std::string eveningJson(double monthKwh, std::string_view lastReset,
                        std::optional<double> projectedCost, std::string_view currency,
                        std::optional<double> baseWatts);

// Home Assistant discovery of the meter's "Month energy" sensor (device class energy, kWh, a
// total reset at `last_reset`), "Projected month cost" (monetary, the currency's ISO code; with
// `withCost` alone) and "Base load" (device class power, W), all read from the evening topic.
std::vector<DiscoveryMessage> eveningDiscoveryMessages(const MqttSettings& s,
                                                       std::string_view meterId, bool withCost,
                                                       std::string_view currency);

}  // namespace tev::mqtt
