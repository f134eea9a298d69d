#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "services/alerts/rules/alert_evaluator.h"

namespace tev::web {

// The alerts as the dashboard sees them: the running ones per meter and the recent starts and
// ends, oldest first.
struct AlertsSnapshot {
    std::vector<std::pair<std::string, std::vector<alerts::ActiveAlert>>> active;
    std::vector<alerts::AlertEvent> history;
};

// The newest starts and ends an answer carries; the page shows no more.
inline constexpr std::size_t kAlertHistoryPerAnswer = 200;

// GET /api/v1/alerts: {"active":{"<meter id>":[…as the MQTT alert topic…]},"history":[{"time":
// "2026-12-08T10:00:00Z","meter":…,"rule":…,"phase":…,"event":"start"|"end","value":…,
// "threshold":…},…]}. Meters with no running alert are left out of "active"; "history" holds
// the newest kAlertHistoryPerAnswer events, oldest first.
std::string alertsJson(const AlertsSnapshot& alerts);

}  // namespace tev::web
