#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "services/archive/rules/series.h"
#include "services/fleet/rules/fleet_export_request.h"

namespace tev::fleet {

// The extra last column of the tidy CSV (the costs under a folder's tariff), asked with the
// folder and the rows read.
using FleetExtraColumn = std::function<std::optional<archive::ExtraColumn>(
    const std::string& folder, const archive::ArchiveSeries&)>;

// `tev3p export --fleet URL …`: one meter's rows of one site from the fleet database, as the
// tidy CSV or JSON of the local export, to `out`; the reasons of a failure to `err`. Returns
// the exit status: 0, or 1 when the database cannot be read or lacks the meter.
int runFleetExport(const FleetExportRequest& request, std::ostream& out, std::ostream& err,
                   const FleetExtraColumn& extraColumn = {});

}  // namespace tev::fleet
