#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "services/archive/rules/series.h"

namespace tev::fleet {

// The extra last column of the tidy CSV (the costs under a folder's tariff), asked with the
// folder and the rows read.
using FleetExtraColumn = std::function<std::optional<archive::ExtraColumn>(
    const std::string& folder, const archive::ArchiveSeries&)>;

// `tev3p export --fleet URL …` (the arguments after "export"): one meter's rows of one site
// from the fleet database, as the tidy CSV or JSON of the local export. Returns the exit
// status: 0, 1 when the database cannot be read or lacks the meter, 2 for bad arguments.
int runFleetExport(const std::vector<std::string>& args, const std::string& hostName,
                   std::ostream& out, std::ostream& err, const FleetExtraColumn& extraColumn = {});

}  // namespace tev::fleet
