#pragma once

#include <optional>
#include <vector>

#include "core/settings/ini_document.h"
#include "services/archive/rules/energy_periods.h"

namespace tev::web {

// The nominal supply voltage of the weekly quality report: `[quality] voltage_nominal=` when it
// is a voltage between 50 and 1000 V, else `fallback` (the alerts' voltage_nominal), else 0:
// none set, the report assumes the standard voltage nearest the readings. A bad value is listed
// with its line.
double loadVoltageNominal(const IniDocument& ini, std::optional<double> fallback,
                          std::vector<ConfigProblem>& problems);

// The first day of the dashboard's weeks: `[dashboard] week_start=monday|sunday`, Monday (as
// ISO weeks) by default. A bad value or an unknown key is listed with its line.
archive::WeekStart loadWeekStart(const IniDocument& ini, std::vector<ConfigProblem>& problems);

}  // namespace tev::web
