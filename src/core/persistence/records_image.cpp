#include "core/persistence/records_image.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>

#include "core/persistence/atomic_file.h"

namespace tev {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the records image copies cells as little-endian 4-byte values");

constexpr std::size_t kCell = 4;

inline void putCell(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, kCell);
}
inline std::uint32_t getCell(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, kCell);
    return v;
}

std::size_t rowBytes(TimeScale s) {
    return static_cast<std::size_t>(geometryOf(s).columns) * kCell;
}

}  // namespace

std::size_t recordsBlockSize(TimeScale s) {
    return kCell + static_cast<std::size_t>(geometryOf(s).fileRows) * rowBytes(s);
}

std::size_t recordsBlockOffset(TimeScale s) {
    std::size_t offset = 0;
    for (int i = 0; i < scaleIndex(s); ++i) offset += recordsBlockSize(scaleAt(i));
    return offset;
}

void encodeRecords(const MeasurementStore& store, std::span<std::uint8_t> out) {
    if (out.size() < kRecordsFileSize) return;
    std::uint8_t* p = out.data();
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleTable& t = store.tableAt(i);
        putCell(p, static_cast<std::uint32_t>(t.cnt));
        p += kCell;
        const int columns = t.columns();
        const std::uint32_t* cols[17];
        for (int c = 0; c < columns; ++c) cols[c] = t.column(c);
        const int rows = t.geometry().fileRows;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                putCell(p, cols[c][r]);
                p += kCell;
            }
        }
    }
}

std::vector<std::uint8_t> encodeRecords(const MeasurementStore& store) {
    std::vector<std::uint8_t> bytes(kRecordsFileSize);
    encodeRecords(store, bytes);
    return bytes;
}

RecordsDecodeReport decodeRecords(std::span<const std::uint8_t> image, MeasurementStore& store) {
    RecordsDecodeReport report;
    const std::uint8_t* p = image.data();
    std::size_t left = image.size();
    for (int i = 0; i < kScaleCount; ++i) {
        ScaleTable& t = store.tableAt(i);
        if (left < kCell) {
            report.bytesUsed = image.size() - left;
            return report;
        }
        // The count is an index everywhere the table is read, so it must name a row the file
        // holds.
        const std::int32_t stored = static_cast<std::int32_t>(getCell(p));
        const std::int32_t maxCount = t.geometry().fileRows - 1;
        const std::int32_t used = std::clamp(stored, 0, maxCount);
        if (used != stored) report.clamped.push_back({t.scale(), stored, used});
        t.cnt = used;
        p += kCell;
        left -= kCell;

        const int columns = t.columns();
        std::uint32_t* cols[17];
        for (int c = 0; c < columns; ++c) cols[c] = t.column(c);
        const int rows = t.geometry().fileRows;
        const std::size_t row = rowBytes(t.scale());
        const int wholeRows = static_cast<int>(std::min<std::size_t>(rows, left / row));
        for (int r = 0; r < wholeRows; ++r) {
            for (int c = 0; c < columns; ++c) {
                cols[c][r] = getCell(p);
                p += kCell;
            }
        }
        left -= static_cast<std::size_t>(wholeRows) * row;
        if (wholeRows < rows) {
            // A partial last row: take its whole cells.
            for (int c = 0; c < columns && left >= kCell; ++c) {
                cols[c][wholeRows] = getCell(p);
                p += kCell;
                left -= kCell;
            }
            report.bytesUsed = image.size() - left;
            return report;
        }
    }
    report.bytesUsed = image.size() - left;
    report.complete = true;
    return report;
}

RecordsFileResult readRecordsFile(const std::string& path, MeasurementStore& store) {
    RecordsFileResult result;
    bool missing = false;
    // Only the image's own bytes are read: anything after them is never used.
    const std::vector<std::uint8_t> bytes =
        readWholeFile(path, result.error, missing, kRecordsFileSize);
    result.opened = !missing && (result.error.empty() || !bytes.empty());
    result.missing = missing;
    std::error_code sizeError;
    if (!missing) result.fileSize = std::filesystem::file_size(path, sizeError);
    if (sizeError) result.fileSize = bytes.size();
    result.readError = missing ? std::string() : result.error;
    result.decode = decodeRecords(bytes, store);
    if (result.error.empty() && !result.decode.complete)
        result.error = "file is short: " + std::to_string(bytes.size()) + " of " +
                       std::to_string(kRecordsFileSize) + " bytes";
    result.ok = result.error.empty();
    return result;
}

RecordsFileResult writeRecordsFile(const std::string& path, const MeasurementStore& store) {
    RecordsFileResult result;
    const std::vector<std::uint8_t> bytes = encodeRecords(store);
    result.error = writeFileAtomically(path, bytes);
    result.opened = result.error.empty();
    result.ok = result.error.empty();
    return result;
}

}  // namespace tev
