#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/store/measurement_store.h"

namespace tev {

// The records file: for each table in the order Min … Month, its row count (int32) and then a
// fixed number of rows, row by row, each row its columns 0 … C-1 as 4-byte little-endian
// cells. No header, no version, always the same size.
inline constexpr std::size_t kRecordsFileSize = 2548028;

// Byte offset of the count of a table's block.
std::size_t recordsBlockOffset(TimeScale scale);
// Bytes of a table's block: the count and its rows.
std::size_t recordsBlockSize(TimeScale scale);

// A row count read from a file that lay outside 0 … file rows - 1 and was clamped into it.
struct ClampedCount {
    TimeScale scale;
    std::int64_t stored;
    std::int32_t used;
};

struct RecordsDecodeReport {
    std::size_t bytesUsed = 0;  // whole cells taken from the image
    bool complete = false;      // the image covered every block
    std::vector<ClampedCount> clamped;
};

// Writes the image of the store's seven tables into `out`, which must hold kRecordsFileSize
// bytes. Rows beyond a table's count are written as they stand.
void encodeRecords(const MeasurementStore& store, std::span<std::uint8_t> out);
std::vector<std::uint8_t> encodeRecords(const MeasurementStore& store);

// Reads an image into the store. A short image fills the store up to where it ends and leaves
// the rest as it was; rows beyond the file rows of a table are never touched.
RecordsDecodeReport decodeRecords(std::span<const std::uint8_t> image, MeasurementStore& store);

// The file on disk.
struct RecordsFileResult {
    bool ok = false;             // opened and read (or written) in full
    bool opened = false;         // the file existed and could be opened
    bool missing = false;        // there is no file at the path
    std::string error;           // the reason in plain words when not ok
    std::string readError;       // why the file could not be opened or read to its end
    std::uint64_t fileSize = 0;  // bytes of the file on disk when it was read
    RecordsDecodeReport decode;
};

// Reads the records file at `path` into the store; a missing file leaves the store as it was.
RecordsFileResult readRecordsFile(const std::string& path, MeasurementStore& store);

// Writes the records file: to a temporary file in the same folder, flushed to disk, then
// renamed over `path`, so that a crash or a full disk never leaves a half-written file where a
// good one stood.
RecordsFileResult writeRecordsFile(const std::string& path, const MeasurementStore& store);

}  // namespace tev
