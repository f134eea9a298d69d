#pragma once

#include <string>
#include <vector>

#include "app/settings_file.h"
#include "core/meterlink/meter_names.h"

namespace tev::app {

// The meters allowed to register: allow= in the [meters] group of tev3p.ini
// ("allow=ID,ID,…"), replaced by the --allow-meter options when there are any. Empty when
// neither names a meter. Entries that are not meter IDs add sentences to `problems`.
std::vector<std::string> loadAllowedMeters(const app::SettingsFile& settings,
                                           const std::vector<std::string>& commandLine,
                                           std::vector<std::string>& problems);

// The meters' names: name.<ID>= in the [meters] group of tev3p.ini. Names that cannot be shown
// add sentences to `problems` and are left out.
MeterNames loadMeterNames(const app::SettingsFile& settings, std::vector<std::string>& problems);

}  // namespace tev::app
