#pragma once

#include <string>
#include <vector>

#include "app/settings_file.h"
#include "services/alerts/rules/alert_rules.h"
#include "services/alerts/tariff/tariff.h"

namespace tev::app {

// The alert rules and the tariff of tev3p.ini, with one text per bad line
// ("tev3p.ini line 12: current_max=abc: not a number"); a missing file gives the defaults.
struct AlertSettings {
    alerts::AlertConfig alerts;
    alerts::Tariff tariff;
    // The nominal voltage of the weekly quality report: [quality], else the alerts' one, else 0
    // (none: the report assumes the standard voltage nearest the readings).
    double voltageNominal = 0;
    std::vector<std::string> problems;
};

AlertSettings loadAlertSettings(const app::SettingsFile& settings);
// The same for a command that reads one folder's tev3p.ini and ends (the export forms): the
// file's own problems come first among the problems.
AlertSettings loadAlertSettings(const std::string& folder);

}  // namespace tev::app
