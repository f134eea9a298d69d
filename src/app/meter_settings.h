#pragma once

#include <string>
#include <vector>

#include "app/settings_file.h"

namespace tev::app {

// The meters allowed to register: allow= in the [meters] group of tev3p.ini
// ("allow=ID,ID,…"), replaced by the --allow-meter options when there are any. Empty when
// neither names a meter. Entries that are not meter IDs add sentences to `problems`.
std::vector<std::string> loadAllowedMeters(const app::SettingsFile& settings,
                                           const std::vector<std::string>& commandLine,
                                           std::vector<std::string>& problems);

}  // namespace tev::app
