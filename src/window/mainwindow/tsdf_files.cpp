// The records file: loaded at start-up and saved at shutdown (the hidden buttons LoadRecords_b
// and SaveRecord_b), loaded from and saved to a chosen file (Load Data, Save Data), and the
// registry export of the hidden button saf_b.

#include <filesystem>

#include "core/persistence/atomic_file.h"
#include "core/persistence/device_export.h"
#include "core/persistence/file_messages.h"
#include "core/persistence/kept_aside.h"
#include "core/persistence/records_image.h"
#include "core/settings/folder_files.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/tsdf.h"

namespace tev {

namespace {

constexpr ToneRequest kLoadDataTone{1300, 200};
constexpr ToneRequest kSavedTone{1600, 200};

std::string failureLine(LanguageMode mode, std::string_view english, std::string_view bilingual,
                        const std::string& reason) {
    return failText(mode == LanguageMode::English ? english : bilingual, reason);
}

}  // namespace

std::string Tsdf::recordsPath() const {
    return workingDirectory_ + "/" + kRecordsFileName;
}

void Tsdf::LoadRecords_bClick() {
    const std::string path = recordsPath();
    RecordsFileResult result = readRecordsFile(path, store_);
    const bool damaged = !result.missing && (!result.ok || result.fileSize != kRecordsFileSize);

    log_.append(recordsCountLine(store_));
    if (result.missing || result.ok) {
        // A missing file is a first run: the store stays empty and the load reads OK.
        if (auto line = pickText(languageMode_, filetext::kLoadRecordsEnglish,
                                 filetext::kLoadRecordsBilingual))
            log_.append(stamp() + *line);
    } else {
        log_.append(stamp() + failureLine(languageMode_, filetext::kLoadRecordsEnglish,
                                          filetext::kLoadRecordsBilingual, result.error));
    }
    if (damaged) {
        // The size is only the problem when the whole file could be read.
        const std::string problem =
            result.readError.empty()
                ? "is " + std::to_string(result.fileSize) + " bytes, a records file is " +
                      std::to_string(kRecordsFileSize) + ": read as far as it goes"
                : "cannot be read (" + result.readError + ")";
        const KeptAside kept = keepFileAside(path);
        log_.append(stamp() + keptAsideLine(kRecordsFileName, problem, kept));
        // Records that could not be read and stay where they are must not be saved over.
        if (!kept.kept() && !result.readError.empty())
            recordsKeptBack_ = std::string(kRecordsFileName) +
                               " could not be read nor kept aside, so it is not replaced";
    }
    for (const ClampedCount& c : result.decode.clamped)
        log_.append(stamp() + clampedCountLine(kRecordsFileName, c));
    log_.append("");
    requestRepaint();
}

void Tsdf::SaveRecord_bClick() {
    saveRecordsFile(SaveReport::Shutdown);
}

bool Tsdf::saveRecordsFile(SaveReport report) {
    RecordsFileResult result;
    if (recordsKeptBack_.empty())
        result = writeRecordsFile(recordsPath(), store_);
    else
        result.error = recordsKeptBack_;
    if (report == SaveReport::Silent) {
        if (!result.ok) log_.append(stamp() + failText(filetext::kSaveRecords, result.error));
        return result.ok;
    }
    log_.append("");
    log_.append(stamp() + (result.ok ? std::string(filetext::kSaveRecords)
                                     : failText(filetext::kSaveRecords, result.error)));
    log_.append(recordsCountLine(store_));
    log_.append("");
    return result.ok;
}

void Tsdf::LoadDataClick() {
    if (seams_.files == nullptr) return;
    const auto chosen =
        seams_.files->chooseSaveFile({"Load Records", workingDirectory_, recordsPath(), "*.dat"});
    if (!chosen) return;
    const std::string& path = *chosen;

    // The whole image is read and checked before the store is touched: a picked photo, a CSV
    // or a cut file would otherwise overwrite the history.
    std::string error;
    bool missing = false;
    const std::vector<std::uint8_t> image =
        readWholeFile(path, error, missing, kRecordsFileSize + 1);
    if (error.empty() && image.size() != kRecordsFileSize) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        error = "the file is " + std::to_string(ec ? image.size() : size) +
                " bytes, a records file is " + std::to_string(kRecordsFileSize) + " bytes";
    }
    if (!error.empty()) {
        const std::string line = " Load TEV3P records <" + path + "> 讀取記錄 OK !";
        reportFailure(stamp() + failText(line, error),
                      "The records were not loaded from " + path + ": " + error +
                          ". The records in the program are unchanged.");
        return;
    }
    const RecordsDecodeReport decoded = decodeRecords(image, store_);

    log_.append("");
    if (auto line =
            pickText(languageMode_, filetext::kLoadDataEnglish, filetext::kLoadDataBilingual))
        log_.append(stamp() + *line);
    log_.append(recordsCountLine(store_));
    log_.append(stamp() + loadDataPathLine(path));
    const std::string fileName = std::filesystem::path(path).filename().string();
    for (const ClampedCount& c : decoded.clamped)
        log_.append(stamp() + clampedCountLine(fileName, c));
    log_.append("");
    requestRepaint();
    beep(kLoadDataTone);
}

void Tsdf::SaveDataClick() {
    if (seams_.files == nullptr) return;
    const auto chosen =
        seams_.files->chooseSaveFile({"Save Records", workingDirectory_, recordsPath(), "*.dat"});
    if (!chosen) return;
    // The extension is appended whatever the chosen name ends in.
    const std::string target = *chosen + ".dat";
    const RecordsFileResult result = writeRecordsFile(target, store_);

    log_.append("");
    log_.append(recordsCountLine(store_));
    if (result.ok) {
        log_.append(stamp() + saveDataPathLine(target));
        log_.append("");
        beep(kSavedTone);
    } else {
        log_.append(stamp() + failText(saveDataPathLine(target), result.error));
        log_.append("");
        if (seams_.messages != nullptr)
            seams_.messages->warn(
                "TEV3P", "The records could not be saved to " + target + ": " + result.error + ".");
    }
}

void Tsdf::saf_bClick() {
    const int count = store_.registry.MeterCount;
    if (count == 0) {
        log_.append(std::string(filetext::kNoMeterToExport));
        log_.append("");
        return;
    }
    if (seams_.files == nullptr) return;
    const auto chosen = seams_.files->chooseSaveFile(
        {"Save Meter Records", workingDirectory_, workingDirectory_ + "/RDS_Records.dat", "*.dat"});
    if (!chosen) return;
    const std::vector<std::uint8_t> bytes = encodeDeviceExport(store_.registry);
    const std::string error = writeFileAtomically(*chosen, bytes);

    log_.append("");
    log_.append(exportDashLine());
    log_.append(error.empty() ? exportDoneLine(count) : failText(exportDoneLine(count), error));
    log_.append(exportDashLine());
    log_.append("");
    if (error.empty()) {
        beep(kSavedTone);
    } else if (seams_.messages != nullptr) {
        seams_.messages->warn(
            "TEV3P", "The meter records could not be saved to " + *chosen + ": " + error + ".");
    }
}

}  // namespace tev
