#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/records_export.h"
#include "services/archive/rules/voltage_quality.h"
#include "services/archive/sqlite/archive_export.h"
#include "services/fleet/rules/fleet_export_request.h"

namespace tev::app {

// What one form of `tev3p export` asks for, or the lines (for standard error) that say what is
// wrong with its arguments; with any, the export ends with status 2 before reading anything.
template <class Request>
struct ParsedExport {
    Request request;
    std::vector<std::string> problems;
};

// `tev3p export --quality --folder DIR --meter ID [--week 2026-W13] [--format tidy|json]`
struct QualityExportRequest {
    std::string folder = ".";
    std::string meter;
    archive::IsoWeek week;  // the running week without --week
    bool json = false;
};

// Each form, from the arguments after "export".
ParsedExport<RecordsExportRequest> parseRecordsExportArguments(
    const std::vector<std::string>& arguments);
ParsedExport<archive::ArchiveExportRequest> parseArchiveExportArguments(
    const std::vector<std::string>& arguments);
// `now` (Unix seconds) names the running week.
ParsedExport<QualityExportRequest> parseQualityExportArguments(
    const std::vector<std::string>& arguments, std::int64_t now);
// `hostName` is the site without --site, as the recorder's own site.
ParsedExport<fleet::FleetExportRequest> parseFleetExportArguments(
    const std::vector<std::string>& arguments, const std::string& hostName);

using ExportRequest = std::variant<RecordsExportRequest, archive::ArchiveExportRequest,
                                   QualityExportRequest, fleet::FleetExportRequest>;
// The form the arguments ask for: --quality, else --fleet, else --meter (the archive), else a
// time scale of the records file.
ParsedExport<ExportRequest> parseExportArguments(const std::vector<std::string>& arguments,
                                                 const std::string& hostName, std::int64_t now);

}  // namespace tev::app
