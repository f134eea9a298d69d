#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "services/archive/rules/archive_queries.h"
#include "services/archive/rules/series.h"

namespace tev::archive {

// `tev3p export --folder DIR --meter ID …`: one meter's rows of the archive in `folder`.
struct ArchiveExportRequest {
    std::string folder = ".";
    SeriesQuery query;  // every quantity
    bool json = false;  // else the tidy CSV
};

// Writes the request's rows to `out`, the reasons of a failure to `err`. Returns the exit
// status: 0, or 1 when the archive cannot be read or lacks the meter. `extraColumn`, when
// given, is asked for a last column of the tidy CSV, with the folder and the rows read (the
// costs under the folder's tariff).
using ExtraColumnSource =
    std::function<std::optional<ExtraColumn>(const std::string& folder, const ArchiveSeries&)>;
int runArchiveExport(const ArchiveExportRequest& request, std::ostream& out, std::ostream& err,
                     const ExtraColumnSource& extraColumn = {});

}  // namespace tev::archive
