#pragma once

#include <string>

#include "core/settings/folder_files.h"
#include "core/store/time_scale.h"
#include "services/alerts/tariff/tariff.h"

namespace tev::app {

// `tev3p export --folder DIR --scale SCALE --format tidy|original [--output FILE] [--live]`
struct RecordsExportRequest {
    std::string folder;
    TimeScale scale = TimeScale::None;
    bool tidy = false;
    bool live = false;                       // tidy only: the live row too
    std::string output;                      // empty: standard output
    const alerts::Tariff* tariff = nullptr;  // tidy only: a cost column when configured
};

struct RecordsExportResult {
    std::string csv;
    std::string error;  // empty on success
};

// Reads the folder's records file (only reading: another program may be recording there) and
// builds the CSV. A missing, short or unreadable records file is an error, never an empty CSV.
RecordsExportResult exportRecordsFromFolder(const RecordsExportRequest& request);

}  // namespace tev::app
