#include "services/archive/sqlite/archive_export.h"

#include <algorithm>
#include <map>

#include "services/archive/rules/local_time.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::archive {

int runArchiveExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const ExtraColumnSource& extraColumn) {
    std::map<std::string, std::string> given;
    static const char* const kKnown[] = {"--folder", "--meter", "--resolution",
                                         "--from",   "--to",    "--format"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        const std::size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            err << "tev3p export: " << name << " needs a value\n";
            return 2;
        }
        bool known = false;
        for (const char* k : kKnown) known = known || name == k;
        if (!known) {
            err << "tev3p export: unknown option " << name << "\n";
            return 2;
        }
        given[name] = value;
    }
    SeriesQuery query;
    query.meter = given["--meter"];
    if (query.meter.empty()) {
        err << "tev3p export: --meter ID is needed\n";
        return 2;
    }
    const std::string folder = given.count("--folder") ? given["--folder"] : ".";
    if (!parseResolution(given.count("--resolution") ? given["--resolution"] : "hour",
                         query.resolution)) {
        err << "tev3p export: --resolution is minute, hour or day\n";
        return 2;
    }
    const std::string format = given.count("--format") ? given["--format"] : "tidy";
    if (format != "tidy" && format != "json") {
        err << "tev3p export: --format is tidy or json\n";
        return 2;
    }
    for (const char* bound : {"--from", "--to"}) {
        if (!given.count(bound)) continue;
        const auto t = parseIsoTime(given[bound]);
        if (!t) {
            err << "tev3p export: " << bound << " " << given[bound]
                << " is not an ISO 8601 time such as 2026-12-08T10:00\n";
            return 2;
        }
        (std::string(bound) == "--from" ? query.from : query.to) = *t;
    }
    // A reversed range would give only a header, which looks like a quiet meter.
    if (query.from && query.to && *query.from > *query.to) {
        err << "tev3p export: --from " << given["--from"] << " is after --to " << given["--to"]
            << "\n";
        return 2;
    }
    std::string error;
    // A mistyped ID would otherwise give an empty file that looks like a quiet meter.
    const std::vector<std::string> meters = archivedMeters(folder, error);
    if (error.empty() && std::find(meters.begin(), meters.end(), query.meter) == meters.end()) {
        err << "tev3p export: meter " << query.meter << " is not in the archive of " << folder
            << "\n";
        return 1;
    }
    error.clear();
    const ArchiveSeries series = queryArchiveSeries(folder, query, error);
    if (!error.empty()) {
        err << "tev3p export: " << error << "\n";
        return 1;
    }
    if (format == "json") {
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
