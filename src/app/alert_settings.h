#pragma once

#include <string>
#include <vector>

#include "services/alerts/rules/alert_rules.h"
#include "services/alerts/tariff/tariff.h"

namespace tev {

// The alert rules and the tariff of the folder's tev3p.ini, with one text per bad line
// ("tev3p.ini line 12: current_max=abc: not a number"); a missing file gives the defaults.
struct AlertSettings {
    AlertConfig alerts;
    Tariff tariff;
    // The nominal voltage of the weekly quality report: [quality], else the alerts' one, else 0
    // (none: the report assumes the standard voltage nearest the readings).
    double voltageNominal = 0;
    std::vector<std::string> problems;
};

AlertSettings loadAlertSettings(const std::string& folder);

}  // namespace tev
