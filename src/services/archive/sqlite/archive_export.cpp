#include "services/archive/sqlite/archive_export.h"

#include <algorithm>

#include "services/archive/sqlite/archive_reader.h"

namespace tev::archive {

int runArchiveExport(const ArchiveExportRequest& request, std::ostream& out, std::ostream& err,
                     const ExtraColumnSource& extraColumn) {
    const std::string& folder = request.folder;
    std::string error;
    // A mistyped ID would otherwise give an empty file that looks like a quiet meter.
    const std::vector<std::string> meters = archivedMeters(folder, error);
    if (error.empty() &&
        std::find(meters.begin(), meters.end(), request.query.meter) == meters.end()) {
        err << "tev3p export: meter " << request.query.meter << " is not in the archive of "
            << folder << "\n";
        return 1;
    }
    error.clear();
    const ArchiveSeries series = queryArchiveSeries(folder, request.query, error);
    if (!error.empty()) {
        err << "tev3p export: " << error << "\n";
        return 1;
    }
    if (request.json) {
        writeSeriesJson(series, out);
    } else {
        const std::optional<ExtraColumn> extra =
            extraColumn ? extraColumn(folder, series) : std::nullopt;
        writeTidyCsv(series, out, extra ? &*extra : nullptr);
    }
    out.flush();
    return out ? 0 : 1;
}

}  // namespace tev::archive
