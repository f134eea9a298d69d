#include "services/web/rules/records_export.h"

#include <memory>

#include "core/persistence/records_image.h"
#include "core/recordsio/csv_export.h"
#include "services/web/rules/names.h"
#include "services/web/rules/tidy_csv.h"

namespace tev::web {

RecordsExportRequest parseRecordsExportArguments(const std::vector<std::string>& arguments) {
    RecordsExportRequest r;
    std::string format;
    std::string scale;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string arg = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                out = arguments[++i];
            } else {
                r.errors.push_back(arg + " needs a value");
            }
        };
        if (arg == "--folder")
            value(r.folder);
        else if (arg == "--scale")
            value(scale);
        else if (arg == "--format")
            value(format);
        else if (arg == "--output")
            value(r.output);
        else if (arg == "--live" && !inlineValue)
            r.live = true;
        else
            r.errors.push_back("export: unknown option " + arguments[i]);
    }
    if (r.folder.empty()) r.errors.push_back("export needs --folder DIR");
    if (const auto s = scaleByName(scale))
        r.scale = *s;
    else
        r.errors.push_back("export needs --scale min, m5, m10, hour, day, week or month");
    if (format == "tidy")
        r.tidy = true;
    else if (format != "original")
        r.errors.push_back("export needs --format tidy or original");
    if (r.live && !r.tidy)
        r.errors.push_back("--live goes with --format tidy: Output always holds the live row");
    return r;
}

RecordsExportResult exportRecordsFromFolder(const RecordsExportRequest& request) {
    RecordsExportResult result;
    const std::string path = request.folder + "/" + kRecordsFileName;
    auto store = std::make_unique<MeasurementStore>();
    const RecordsFileResult read = readRecordsFile(path, *store);
    if (read.missing) {
        result.error = path + ": no records file";
        return result;
    }
    if (!read.ok) {
        result.error = path + ": " + (read.error.empty() ? "cannot be read" : read.error);
        return result;
    }
    const ScaleTable& table = store->table(request.scale);
    result.csv = request.tidy ? tidyCsv(table, request.live, request.tariff) : exportCsv(table);
    return result;
}

}  // namespace tev::web
