#include "app/export_arguments.h"

#include <algorithm>

#include "app/option_reader.h"
#include "services/archive/rules/local_time.h"
#include "services/web/rules/names.h"

namespace tev::app {
namespace {

using Kind = OptionRule::Kind;

// The archive's and the fleet's common options.
const std::vector<OptionRule> kSeriesOptions = {{"--meter"}, {"--resolution"}, {"--from"},
                                                {"--to"},    {"--format"},     {"--folder"}};

// --resolution, --format, --from and --to of the archive and fleet forms, told in that order;
// a reversed range would give only a header, which looks like a quiet meter.
void readSeriesChoice(const ReadOptions& read, archive::Resolution& resolution, bool& json,
                      std::optional<std::int64_t>& from, std::optional<std::int64_t>& to,
                      std::vector<std::string>& problems) {
    if (!archive::parseResolution(read.value("--resolution", "hour"), resolution))
        problems.push_back("tev3p export: --resolution is minute, hour or day");
    const std::string format = read.value("--format", "tidy");
    if (format != "tidy" && format != "json")
        problems.push_back("tev3p export: --format is tidy or json");
    json = format == "json";
    for (const char* bound : {"--from", "--to"}) {
        if (!read.has(bound)) continue;
        const std::string text = read.value(bound);
        if (const auto t = archive::parseIsoTime(text))
            (std::string_view(bound) == "--from" ? from : to) = *t;
        else
            problems.push_back("tev3p export: " + std::string(bound) + " " + text +
                               " is not an ISO 8601 time such as 2026-12-08T10:00");
    }
    if (from && to && *from > *to)
        problems.push_back("tev3p export: --from " + read.value("--from") + " is after --to " +
                           read.value("--to"));
}

// A form is chosen by an option given alone or as "--option=value".
bool given(const std::vector<std::string>& arguments, std::string_view option) {
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) {
        return a == option ||
               (a.rfind(option, 0) == 0 && a.size() > option.size() && a[option.size()] == '=');
    });
}

}  // namespace

ParsedExport<RecordsExportRequest> parseRecordsExportArguments(
    const std::vector<std::string>& arguments) {
    const ReadOptions read = readOptions(
        {{"--folder"}, {"--scale"}, {"--format"}, {"--output"}, {"--live", Kind::Flag}}, arguments);
    ParsedExport<RecordsExportRequest> parsed;
    RecordsExportRequest& r = parsed.request;
    for (const OptionProblem& p : read.problems)
        parsed.problems.push_back(
            (p.kind == OptionProblem::Kind::Unknown ? "tev3p: export: " : "tev3p: ") + p.text());
    r.folder = read.value("--folder");
    r.output = read.value("--output");
    r.live = read.has("--live");
    if (r.folder.empty()) parsed.problems.push_back("tev3p: export needs --folder DIR");
    if (const auto s = web::scaleByName(read.value("--scale")))
        r.scale = *s;
    else
        parsed.problems.push_back(
            "tev3p: export needs --scale min, m5, m10, hour, day, week or month");
    const std::string format = read.value("--format");
    r.tidy = format == "tidy";
    if (!r.tidy && format != "original")
        parsed.problems.push_back("tev3p: export needs --format tidy or original");
    if (r.live && !r.tidy)
        parsed.problems.push_back(
            "tev3p: --live goes with --format tidy: Output always holds the live row");
    return parsed;
}

ParsedExport<archive::ArchiveExportRequest> parseArchiveExportArguments(
    const std::vector<std::string>& arguments) {
    const ReadOptions read = readOptions(kSeriesOptions, arguments);
    ParsedExport<archive::ArchiveExportRequest> parsed;
    archive::ArchiveExportRequest& r = parsed.request;
    parsed.problems = read.problemTexts("tev3p export: ");
    r.folder = read.value("--folder", ".");
    r.query.meter = read.value("--meter");
    if (r.query.meter.empty()) parsed.problems.push_back("tev3p export: --meter ID is needed");
    readSeriesChoice(read, r.query.resolution, r.json, r.query.from, r.query.to, parsed.problems);
    return parsed;
}

ParsedExport<QualityExportRequest> parseQualityExportArguments(
    const std::vector<std::string>& arguments, std::int64_t now) {
    const ReadOptions read = readOptions(
        {{"--quality", Kind::Flag}, {"--folder"}, {"--meter"}, {"--week"}, {"--format"}},
        arguments);
    ParsedExport<QualityExportRequest> parsed;
    QualityExportRequest& r = parsed.request;
    const std::string prefix = "tev3p export --quality: ";
    for (const OptionProblem& p : read.problems)
        parsed.problems.push_back(prefix + (p.kind == OptionProblem::Kind::Unknown ||
                                                    p.kind == OptionProblem::Kind::MissingValue
                                                ? p.option + " needs a value or is unknown"
                                                : p.text()));
    for (const GivenOption& g : read.given)
        if (g.value && g.value->empty())
            parsed.problems.push_back(prefix + g.name + " needs a value or is unknown");
    if (!parsed.problems.empty()) return parsed;
    r.folder = read.value("--folder", ".");
    r.meter = read.value("--meter");
    const std::string week = read.value("--week", archive::isoWeekName(now));
    const std::string format = read.value("--format", "tidy");
    const auto span = archive::parseIsoWeek(week);
    if (r.meter.empty() || !span || (format != "tidy" && format != "json")) {
        parsed.problems.push_back(prefix +
                                  "--meter ID is needed, --week is an ISO week such as 2026-W13 "
                                  "and --format tidy or json");
        return parsed;
    }
    r.week = *span;
    r.json = format == "json";
    return parsed;
}

ParsedExport<fleet::FleetExportRequest> parseFleetExportArguments(
    const std::vector<std::string>& arguments, const std::string& hostName) {
    std::vector<OptionRule> rules = kSeriesOptions;
    rules.insert(rules.end(), {{"--fleet"}, {"--site"}, {"--password-file"}, {"--sslmode"}});
    const ReadOptions read = readOptions(rules, arguments);
    ParsedExport<fleet::FleetExportRequest> parsed;
    fleet::FleetExportRequest& r = parsed.request;
    parsed.problems = read.problemTexts("tev3p export: ");
    r.url = read.value("--fleet");
    r.site = read.value("--site", hostName);
    r.meter = read.value("--meter");
    r.passwordFile = read.value("--password-file");
    r.sslmode = read.value("--sslmode");
    r.folder = read.value("--folder");
    if (r.url.empty()) parsed.problems.push_back("tev3p export: --fleet URL is needed");
    if (r.meter.empty()) parsed.problems.push_back("tev3p export: --meter ID is needed");
    if (r.site.empty()) parsed.problems.push_back("tev3p export: --site S is needed");
    readSeriesChoice(read, r.resolution, r.json, r.from, r.to, parsed.problems);
    return parsed;
}

ParsedExport<ExportRequest> parseExportArguments(const std::vector<std::string>& arguments,
                                                 const std::string& hostName, std::int64_t now) {
    const auto as = [](auto parsed) {
        return ParsedExport<ExportRequest>{std::move(parsed.request), std::move(parsed.problems)};
    };
    if (std::find(arguments.begin(), arguments.end(), "--quality") != arguments.end())
        return as(parseQualityExportArguments(arguments, now));
    if (given(arguments, "--fleet")) return as(parseFleetExportArguments(arguments, hostName));
    if (given(arguments, "--meter")) return as(parseArchiveExportArguments(arguments));
    return as(parseRecordsExportArguments(arguments));
}

}  // namespace tev::app
