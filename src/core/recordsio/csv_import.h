#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tev {

// The ten-minute CSV of the HOQ meters: a header line "Date,0:0,0:10,…,23:50" and one line per
// day, "YYMMDD," followed by one value per ten-minute slot, each value followed by ",".

inline constexpr std::int64_t kImportMaxFileSize = 1200000;
// A file must be longer than its header to hold a day.
inline constexpr std::int64_t kImportMinFileSize = 785;
// Day lines are looked for from this offset: the rest of the line it falls in is skipped.
inline constexpr std::size_t kImportScanStart = 786;
inline constexpr std::size_t kImportMinDayLine = 721;
inline constexpr int kImportValuesPerDay = 144;
inline constexpr std::size_t kImportMaxSamples = 45000;
// Beyond this many day lines (more than the largest accepted file can hold) the log gets one
// summary line instead of every line.
inline constexpr std::size_t kImportMaxLoggedLines = 1700;
// A log line longer than this is cut and ends in an ellipsis, as the event-log memo shows it.
inline constexpr std::size_t kImportMaxLogLineBytes = 1000;
inline constexpr std::string_view kImportNameMark = "Power10Min";
inline constexpr std::string_view kImportHeaderStart =
    "Date,0:0,0:10,0:20,0:30,0:40,0:50,1:0,1:10,1:20";

// One imported ten-minute value: the day, the minute the slot ends at, the energy.
struct ImportSample {
    std::int32_t date;
    std::int32_t minute;
    float value;
};

enum class ImportStatus {
    Samples,           // day lines read, samples to rebuild the tables from
    NotCsvName,        // the name is too short or does not end in "csv"
    TooLarge,          // over kImportMaxFileSize bytes
    NotTenMinuteName,  // the name lacks "Power10Min"
    Unreadable,        // the file could not be opened or read
    TooSmall,          // no longer than a header
    NoDayLines,        // no line passed the length and comma tests
    BadNumber,         // a date or value is not a number, not a date, or too large to sum
    NotRegularFile,    // a folder, a named pipe, a device: refused before any read
};

// Where a conversion failed.
struct ImportProblem {
    int line = 0;        // line of the file, from 1 (the header is line 1)
    int field = 0;       // field of the line, from 1 (the date is field 1)
    std::string column;  // the header of that field: "Date", "0:0", "0:10", …
    std::string text;    // what stood there
    std::string what = "is not a valid number";  // what is wrong with it
};

// The outcome of reading a file, before anything in the store is touched.
struct TenMinuteCsv {
    ImportStatus status = ImportStatus::NoDayLines;
    std::string fileName;
    std::int64_t fileSize = -1;
    std::string readError;  // why the file could not be opened or read
    // Event-log lines, in order, for the file and each line read.
    std::vector<std::string> log;
    // The name or size refusal, answered with two tones.
    bool refusalTones = false;
    std::vector<ImportSample> samples;
    ImportProblem problem;
};

// Checks the name and size and reads the day lines. `fileSize` is -1 when the file could not
// be opened; `content` is only looked at when the checks let it be read.
TenMinuteCsv parseTenMinuteCsv(std::string_view fileName, std::int64_t fileSize,
                               std::string_view content);

// Opens, sizes and reads the file at `path` (never more than kImportMaxFileSize bytes). The
// open never waits (a named pipe without a writer), and anything but a regular file is refused
// before a byte is read.
TenMinuteCsv readTenMinuteCsv(const std::string& path);

// A sentence for the user on why nothing was imported (empty for ImportStatus::Samples).
std::string importRefusalText(const TenMinuteCsv& csv);

}  // namespace tev
