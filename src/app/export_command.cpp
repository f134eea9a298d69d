#include "app/export_command.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <span>

#include "app/alert_settings.h"
#include "app/export_arguments.h"
#include "app/services.h"
#include "core/persistence/atomic_file.h"
#include "services/archive/rules/voltage_quality.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/fleet/postgres/fleet_export.h"
#include "services/web/rules/archive_costs.h"
#include "services/web/rules/energy_quality_json.h"

namespace tev::app {
namespace {

// The tidy CSV's cost column under a folder's tariff; bad lines of its tev3p.ini are told.
std::optional<archive::ExtraColumn> costColumn(const std::string& folder,
                                               const archive::ArchiveSeries& series) {
    const AlertSettings settings = loadAlertSettings(folder);
    for (const std::string& p : settings.problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    if (!settings.tariff.configured()) return std::nullopt;
    return web::archiveCostColumn(series, settings.tariff);
}

// One meter's weekly voltage quality from the archive's minute rows, against the folder's
// nominal voltage.
int runQualityExport(const app::QualityExportRequest& request) {
    std::string error;
    const std::vector<std::string> meters = archive::archivedMeters(request.folder, error);
    if (error.empty() && std::find(meters.begin(), meters.end(), request.meter) == meters.end()) {
        std::fprintf(stderr, "tev3p export: meter %s is not in the archive of %s\n",
                     request.meter.c_str(), request.folder.c_str());
        return 1;
    }
    archive::SeriesQuery query;
    query.meter = request.meter;
    query.resolution = archive::Resolution::Minute;
    query.quantities = {"V1",     "V1_min", "V1_max", "V2",    "V2_min",
                        "V2_max", "V3",     "V3_min", "V3_max"};
    query.from = request.week.start;
    query.to = request.week.end;
    error.clear();
    const archive::ArchiveSeries series = archive::queryArchiveSeries(request.folder, query, error);
    if (!error.empty()) {
        std::fprintf(stderr, "tev3p export: %s\n", error.c_str());
        return 1;
    }
    const AlertSettings settings = loadAlertSettings(request.folder);
    for (const std::string& p : settings.problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    const archive::WeekQuality q =
        archive::weekQuality(series, settings.voltageNominal, request.week.start, request.week.end);
    const std::string text = request.json ? web::qualityJson(request.meter, q) + "\n"
                                          : web::qualityCsv(request.meter, q);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                   std::fflush(stdout) == 0
               ? 0
               : 1;
}

// A time scale of the folder's records file, to standard output or a file.
int runRecordsExport(app::RecordsExportRequest request) {
    // The tidy CSV gains a cost column under the folder's tariff; bad lines there are told.
    AlertSettings settings;
    if (request.tidy) {
        settings = loadAlertSettings(request.folder);
        for (const std::string& p : settings.problems)
            std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        request.tariff = &settings.tariff;
    }
    const app::RecordsExportResult result = app::exportRecordsFromFolder(request);
    if (!result.error.empty()) {
        std::fprintf(stderr, "tev3p: export: %s\n", result.error.c_str());
        return 1;
    }
    if (request.output.empty()) {
        const std::size_t written = std::fwrite(result.csv.data(), 1, result.csv.size(), stdout);
        if (written != result.csv.size() || std::fflush(stdout) != 0) {
            std::fputs("tev3p: export: standard output could not take the CSV\n", stderr);
            return 1;
        }
        return 0;
    }
    const std::string error = writeFileAtomically(
        request.output,
        std::span(reinterpret_cast<const std::uint8_t*>(result.csv.data()), result.csv.size()));
    if (!error.empty()) {
        std::fprintf(stderr, "tev3p: export: %s: %s\n", request.output.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

struct RunExport {
    int operator()(const app::RecordsExportRequest& r) const { return runRecordsExport(r); }
    int operator()(const archive::ArchiveExportRequest& r) const {
        return archive::runArchiveExport(r, std::cout, std::cerr, costColumn);
    }
    int operator()(const app::QualityExportRequest& r) const { return runQualityExport(r); }
    int operator()(const fleet::FleetExportRequest& r) const {
        return fleet::runFleetExport(r, std::cout, std::cerr, costColumn);
    }
};

}  // namespace

int runExportCommand(const std::vector<std::string>& arguments) {
    const app::ParsedExport<app::ExportRequest> parsed = app::parseExportArguments(
        arguments, app::computerName(), static_cast<std::int64_t>(std::time(nullptr)));
    if (!parsed.problems.empty()) {
        for (const std::string& p : parsed.problems) std::fprintf(stderr, "%s\n", p.c_str());
        return 2;
    }
    return std::visit(RunExport{}, parsed.request);
}

}  // namespace tev::app
