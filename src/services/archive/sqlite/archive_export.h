#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "services/archive/rules/series.h"

namespace tev::archive {

// `tev3p export --folder DIR --meter ID --resolution minute|hour|day [--from ISO] [--to ISO]
// --format tidy|json` (the arguments after "export"): one meter's archive rows to `out`.
// Returns the exit status: 0, 1 when the archive cannot be read, 2 for bad arguments.
// `extraColumn`, when given, is asked for a last column of the tidy CSV, with the folder and
// the rows read (the costs under the folder's tariff).
using ExtraColumnSource =
    std::function<std::optional<ExtraColumn>(const std::string& folder, const ArchiveSeries&)>;
int runArchiveExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const ExtraColumnSource& extraColumn = {});

}  // namespace tev::archive
