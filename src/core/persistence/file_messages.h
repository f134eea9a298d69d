#pragma once

#include <string>
#include <string_view>

#include "core/persistence/kept_aside.h"
#include "core/persistence/records_image.h"
#include "core/store/measurement_store.h"

namespace tev {

// The event-log texts of the records and settings files. Each success text ends in "OK !"; its
// failure form (failText) keeps the words and puts the reason in place of "OK".
namespace filetext {

inline constexpr std::string_view kLoadRecordsEnglish = " Load TEV3P Records OK !";
inline constexpr std::string_view kLoadRecordsBilingual = " Load TEV3P Records 讀取電力記錄檔 OK !";
inline constexpr std::string_view kSaveRecords = " Save HOQ TEV3P records= 記錄儲存 OK !";
inline constexpr std::string_view kLoadDataEnglish = " Load HOQ TEV3P Records OK !";
inline constexpr std::string_view kLoadDataBilingual =
    " Load HOQ TEV3P Records 讀取電力記錄器 OK !";
inline constexpr std::string_view kSaveSettingsEnglish = " Save TEV user setting OK !";
inline constexpr std::string_view kSaveSettingsBilingual = " Save TEV setting 用戶設定儲存 OK !";
inline constexpr std::string_view kLoadSettingsEnglish = " Load TEV user setting OK !";
inline constexpr std::string_view kLoadSettingsBilingual = " Load TEV setting 載入用戶設定 OK !";
inline constexpr std::string_view kNoMeterToExport = "No record to save exit !";
inline constexpr std::string_view kStartupEnglish = " > TEV3P Startup OK ! ";
inline constexpr std::string_view kStartupBilingual = " > TEV3P Startup 啟動 OK ! ";

}  // namespace filetext

// "< Min= 12  5-Min= 2  10-Min= 1  Hour= 0  Day= 0  Week= 0  Month= 0 > "
std::string recordsCountLine(const MeasurementStore& store);

// " Load TEV3P records <path> 讀取記錄 OK !"
std::string loadDataPathLine(std::string_view path);
// " Save TEV3P records <path> 記錄儲存 OK !"
std::string saveDataPathLine(std::string_view path);

// 71 dashes, the frame of the registry export's report.
std::string exportDashLine();
// "Save HOQ-250 AC3P records= 3  OK !"
std::string exportDoneLine(int meterCount);

// " <file>: row count 9000 of table 1 is out of range, 7999 used !"
std::string clampedCountLine(std::string_view fileName, const ClampedCount& clamped);

// What became of a file kept from the next save, after " <file> <problem>": ", the file is kept
// as <copy> !", or that it was moved when it could not be copied, or why neither worked.
std::string keptAsideLine(std::string_view fileName, std::string_view problem,
                          const KeptAside& kept);

// The failure form of a success text: "... OK !" becomes "... fail: <reason> !".
std::string failText(std::string_view okText, std::string_view reason);

}  // namespace tev
