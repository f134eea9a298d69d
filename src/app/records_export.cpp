#include "app/records_export.h"

#include <memory>

#include "core/persistence/records_image.h"
#include "core/recordsio/csv_export.h"
#include "services/web/rules/tidy_csv.h"

namespace tev::app {

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
    result.csv =
        request.tidy ? web::tidyCsv(table, request.live, request.tariff) : exportCsv(table);
    return result;
}

}  // namespace tev::app
