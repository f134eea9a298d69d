#include "app/export_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <span>

#include "app/alert_settings.h"
#include "app/services.h"
#include "core/persistence/atomic_file.h"
#include "services/archive/sqlite/archive_export.h"
#include "services/fleet/postgres/fleet_export.h"
#include "services/web/rules/archive_costs.h"
#include "services/web/rules/records_export.h"

namespace tev {

int runExportCommand(const std::vector<std::string>& arguments) {
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
