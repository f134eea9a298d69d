#include "app/export_command.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <span>

#include "app/alert_settings.h"
#include "app/services.h"
#include "core/persistence/atomic_file.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/rules/voltage_quality.h"
#include "services/archive/sqlite/archive_export.h"
#include "services/fleet/postgres/fleet_export.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/web/rules/archive_costs.h"
#include "services/web/rules/energy_quality_json.h"
#include "services/web/rules/records_export.h"

namespace tev {
namespace {

// `tev3p export --quality --folder DIR --meter ID [--week 2026-W13] [--format tidy|json]`: one
// meter's weekly voltage quality from the archive's minute rows, against the folder's nominal
// voltage; the running week without --week.
int runQualityExport(const std::vector<std::string>& arguments) {
    std::string folder = ".", meter, week, format = "tidy";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i], value;
        if (name == "--quality") continue;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        std::string* target = name == "--folder"   ? &folder
                              : name == "--meter"  ? &meter
                              : name == "--week"   ? &week
                              : name == "--format" ? &format
                                                   : nullptr;
        if (target == nullptr || value.empty()) {
            std::fprintf(stderr, "tev3p export --quality: %s needs a value or is unknown\n",
                         name.c_str());
            return 2;
        }
        *target = value;
    }
    const auto span = archive::parseIsoWeek(
        week.empty() ? archive::isoWeekName(static_cast<std::int64_t>(std::time(nullptr))) : week);
    if (meter.empty() || !span || (format != "tidy" && format != "json")) {
        std::fputs(
            "tev3p export --quality: --meter ID is needed, --week is an ISO week such as "
            "2026-W13 and --format tidy or json\n",
            stderr);
        return 2;
    }
    std::string error;
    const std::vector<std::string> meters = archive::archivedMeters(folder, error);
    if (error.empty() && std::find(meters.begin(), meters.end(), meter) == meters.end()) {
        std::fprintf(stderr, "tev3p export: meter %s is not in the archive of %s\n", meter.c_str(),
                     folder.c_str());
        return 1;
    }
    archive::SeriesQuery query;
    query.meter = meter;
    query.resolution = archive::Resolution::Minute;
    query.quantities = {"V1",     "V1_min", "V1_max", "V2",    "V2_min",
                        "V2_max", "V3",     "V3_min", "V3_max"};
    query.from = span->start;
    query.to = span->end;
    error.clear();
    const archive::ArchiveSeries series = archive::queryArchiveSeries(folder, query, error);
    if (!error.empty()) {
        std::fprintf(stderr, "tev3p export: %s\n", error.c_str());
        return 1;
    }
    const AlertSettings settings = loadAlertSettings(folder);
    for (const std::string& p : settings.problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    const archive::WeekQuality q =
        archive::weekQuality(series, settings.voltageNominal, span->start, span->end);
    const std::string text =
        format == "json" ? web::qualityJson(meter, q) + "\n" : web::qualityCsv(meter, q);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                   std::fflush(stdout) == 0
               ? 0
               : 1;
}

}  // namespace

int runExportCommand(const std::vector<std::string>& arguments) {
    if (std::find(arguments.begin(), arguments.end(), "--quality") != arguments.end())
        return runQualityExport(arguments);
    const auto given = [&](std::string_view option) {
        return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) {
            return a == option ||
                   (a.rfind(option, 0) == 0 && a.size() > option.size() && a[option.size()] == '=');
        });
    };
    // The tidy CSV's cost column under a folder's tariff.
    const auto costs =
        [](const std::string& folder,
           const archive::ArchiveSeries& series) -> std::optional<archive::ExtraColumn> {
        const AlertSettings settings = loadAlertSettings(folder);
        for (const std::string& p : settings.problems)
            std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        if (!settings.tariff.configured()) return std::nullopt;
        return web::archiveCostColumn(series, settings.tariff);
    };
    // With --fleet: one meter's rows of a site from the fleet database.
    if (given("--fleet"))
        return fleet::runFleetExport(arguments, app::computerName(), std::cout, std::cerr, costs);
    // With --meter: one meter's rows from the per-meter archive; else a time scale of the
    // records file.
    if (given("--meter")) return archive::runArchiveExport(arguments, std::cout, std::cerr, costs);
    web::RecordsExportRequest request = web::parseRecordsExportArguments(arguments);
    if (!request.errors.empty()) {
        for (const std::string& e : request.errors) std::fprintf(stderr, "tev3p: %s\n", e.c_str());
        return 2;
    }
    // The tidy CSV gains a cost column under the folder's tariff; bad lines there are told.
    AlertSettings settings;
    if (request.tidy) {
        settings = loadAlertSettings(request.folder);
        for (const std::string& p : settings.problems)
            std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        request.tariff = &settings.tariff;
    }
    const web::RecordsExportResult result = web::exportRecordsFromFolder(request);
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

}  // namespace tev
