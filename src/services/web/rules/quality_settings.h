#pragma once

#include <optional>
#include <vector>

#include "core/settings/ini_document.h"

namespace tev::web {

// The nominal supply voltage of the weekly quality report: `[quality] voltage_nominal=` when it
// is a voltage between 50 and 1000 V, else `fallback` (the alerts' voltage_nominal), else 0:
// none set, the report assumes the standard voltage nearest the readings. A bad value is listed
// with its line.
double loadVoltageNominal(const IniDocument& ini, std::optional<double> fallback,
                          std::vector<ConfigProblem>& problems);

}  // namespace tev::web
