#pragma once

#include <vector>

#include "services/alerts/rules/ini_document.h"

namespace tev::web {

// The nominal supply voltage of the weekly quality report: `[quality] voltage_nominal=` when it
// is a voltage between 50 and 1000 V, else `fallback` (the alerts' voltage_nominal); a bad
// value is listed with its line.
double loadVoltageNominal(const IniDocument& ini, double fallback,
                          std::vector<ConfigProblem>& problems);

}  // namespace tev::web
