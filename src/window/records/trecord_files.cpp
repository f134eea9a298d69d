// The records window's file commands: CSV export of the chosen scale and the ten-minute CSV
// import that replaces the store.

#include <span>

#include "core/persistence/atomic_file.h"
#include "core/recordsio/csv_export.h"
#include "core/recordsio/csv_import.h"
#include "core/recordsio/import_rebuild.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/tsdf.h"
#include "window/records/trecord.h"

namespace tev {

namespace {

constexpr int kRefusalFirstHz = 1600;
constexpr int kRefusalSecondHz = 1300;
constexpr int kRefusalMs = 200;
constexpr int kExportToneHz = 1600;
constexpr int kExportToneMs = 300;
constexpr int kImportAskHz = 1500;
constexpr int kImportAskMs = 300;
constexpr int kImportDoneHz = 1600;
constexpr int kImportDoneMs = 500;

constexpr const char* kImportTitle = "TEV-3P Load Record File";
constexpr const char* kImportQuestion =
    "Warning: Load HOQ Record File & Cover All Data ?\n\n讀取檔案前 請儲存備份: 確定覆蓋現有資料 "
    "? ";
constexpr const char* kExportFailedTitle = "TEV-3P Output";

}  // namespace

void TRecord::refusalTones() {
    beep(kRefusalFirstHz, kRefusalMs);
    beep(kRefusalSecondHz, kRefusalMs);
}

// Output: the chosen scale's table as CSV, written to a temporary file and renamed over the
// chosen one, so a failed write never leaves half a file and is reported as failed.
void TRecord::output_bClick() {
    if (!isValidScale(recordScale_)) {
        refusalTones();
        return;
    }
    const auto scale = static_cast<TimeScale>(recordScale_);
    const std::string directory = workingDirectory();
    FileChooser* files = sdf_.seams().files;
    if (files == nullptr) return;
    const auto path = files->chooseSaveFile(
        {"Save As", directory, directory + "/" + std::string(csvProposedFileName(scale)), "*.csv"});
    if (!path) return;

    const ScaleTable& table = sdf_.store().table(scale);
    const std::string csv = exportCsv(table);
    const std::string countLine = csvCountLine(scale, table.cnt);
    const std::string error = writeFileAtomically(
        *path, std::span(reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()));
    const std::string stamp = logStamp(sdf_.seams().clock->now());
    if (!error.empty()) {
        log(stamp + " > TEV-3P Output" + countLine + "  failed: " + error + " !");
        refusalTones();
        if (MessageBoxes* boxes = sdf_.seams().messages)
            boxes->warn(kExportFailedTitle,
                        "The records could not be written to " + *path + ":\n" + error);
        return;
    }
    log(stamp + " > TEV-3P Output" + countLine + "  OK !");
    beep(kExportToneHz, kExportToneMs);
}

// Input: the file is chosen, read and checked completely before anything changes; only a file
// that gives samples switches the link off, resets the store and rebuilds it. A cancel, a
// refused file or a value that is not a number leaves store and link as they were.
void TRecord::input_bClick() {
    const WindowSeams& platform = sdf_.seams();
    beep(kImportAskHz, kImportAskMs);
    if (platform.messages == nullptr || !platform.messages->askYesNo(kImportTitle, kImportQuestion))
        return;
    if (platform.files == nullptr) return;
    const std::string directory = workingDirectory();
    const auto path = platform.files->chooseOpenFile({"Open", directory, directory, "*.csv"});
    if (!path) return;

    TenMinuteCsv csv = readTenMinuteCsv(*path);
    if (csv.status != ImportStatus::Samples) {
        for (std::string& line : csv.log) log(std::move(line));
        refusalTones();
        platform.messages->warn(kImportTitle, importRefusalText(csv));
        return;
    }

    if (sdf_.linkFlag() == 1) sdf_.link_bClick();
    sdf_.ResetAll_bClick();
    sdf_.requestRepaint();
    const DateTime started = platform.clock->now();
    for (std::string& line : csv.log) log(std::move(line));
    rebuildFromSamples(sdf_.store(), csv.samples);
    log(logStamp(started) + " > TEV-3P Read File_ [" + csv.fileName + "]  OK !");
    log("dx_cnt= " + std::to_string(csv.samples.size()));
    beep(kImportDoneHz, kImportDoneMs);
    update_bClick();
    sdf_.requestRepaint();
}

}  // namespace tev
