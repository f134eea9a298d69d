#pragma once

#include <string>
#include <vector>

#include "services/alerts/rules/alert_evaluator.h"

namespace tev::alerts {

// The active alerts of one meter as the JSON array the MQTT `alert` topic and the web API
// carry: [{"rule":"current","phase":1,"value":41.2,"threshold":40,"since":"2026-12-08T10:00:00Z"}]
std::string activeAlertsJson(const std::vector<ActiveAlert>& alerts);

// UTC time as 2026-12-08T10:00:00Z.
std::string isoUtc(std::int64_t timeMs);

}  // namespace tev::alerts
