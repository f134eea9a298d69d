#pragma once

#include <string>
#include <vector>

namespace tev::app {

// `tev3p export …`: writes a CSV and ends, without a window, the folder lock or the meter
// ports. The one place that decides which export runs.
int runExportCommand(const std::vector<std::string>& arguments);

}  // namespace tev::app
