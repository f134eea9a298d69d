#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "core/store/time_scale.h"

namespace tev {

// Column numbers of a table row. Columns 0..14 hold the fifteen quantities as 32-bit floats;
// the date and time columns hold 32-bit integers in cells of the same width.
enum Column : int {
    kColV1 = 0,
    kColV2,
    kColV3,
    kColAmp,
    kColA1,
    kColA2,
    kColA3,
    kColWatt,
    kColW1,
    kColW2,
    kColW3,
    kColKWh,
    kColK1,
    kColK2,
    kColK3,
    kColDate = 15,
    kColTime = 16,  // Min, M5, M10 and Hour only
};

// Fixed dimensions of one time scale's table.
struct ScaleGeometry {
    int columns;      // 17 with a time column, 16 without
    int rowSlots;     // declared rows per column in memory
    int fileRows;     // rows per column in the records file
    int rowLimit;     // compaction happens when cnt reaches this
    int compactRows;  // oldest rows discarded by a compaction
};

// The Day table keeps about eight years; when it fills, its oldest 100 days go, as the Hour
// table drops 100 hours.
inline constexpr int kDayCompactRows = 100;

inline constexpr ScaleGeometry kScaleGeometry[kScaleCount] = {
    {17, 18010, 8000, 8000, 1000},            // Min
    {17, 8010, 8000, 6000, 500},              // M5
    {17, 8010, 8000, 5000, 500},              // M10
    {17, 5010, 5000, 4000, 100},              // Hour
    {16, 4010, 4000, 3000, kDayCompactRows},  // Day
    {16, 3010, 3000, 2000, 1},                // Week
    {16, 2010, 2000, 1000, 1},                // Month
};

constexpr const ScaleGeometry& geometryOf(TimeScale s) {
    return kScaleGeometry[scaleIndex(s)];
}

// The history of one time scale: a row counter plus one array of 4-byte cells per column.
// Rows 0..cnt-1 are closed history, oldest first; row cnt is the live row.
// Cells are kept as raw 32-bit patterns so that integer date and time cells never pass
// through a float conversion.
class ScaleTable {
  public:
    explicit ScaleTable(TimeScale scale);

    TimeScale scale() const { return scale_; }
    const ScaleGeometry& geometry() const { return geometryOf(scale_); }
    int columns() const { return geometry().columns; }
    int rowSlots() const { return geometry().rowSlots; }
    bool hasTimeColumn() const { return columns() > kColTime; }

    std::int32_t cnt = 0;

    float value(int column, int row) const { return std::bit_cast<float>(raw(column, row)); }
    void setValue(int column, int row, float v) {
        raw(column, row) = std::bit_cast<std::uint32_t>(v);
    }

    std::int32_t date(int row) const { return static_cast<std::int32_t>(raw(kColDate, row)); }
    void setDate(int row, std::int32_t code) {
        raw(kColDate, row) = static_cast<std::uint32_t>(code);
    }

    std::int32_t time(int row) const { return static_cast<std::int32_t>(raw(kColTime, row)); }
    void setTime(int row, std::int32_t minutes) {
        raw(kColTime, row) = static_cast<std::uint32_t>(minutes);
    }

    std::uint32_t raw(int column, int row) const { return cells_[index(column, row)]; }
    std::uint32_t& raw(int column, int row) { return cells_[index(column, row)]; }

    // Column c as a contiguous array of rowSlots() cells.
    const std::uint32_t* column(int c) const { return cells_.data() + index(c, 0); }
    std::uint32_t* column(int c) { return cells_.data() + index(c, 0); }

    // Drops the oldest d rows: rows 0..cnt-d take rows d..cnt, then cnt -= d.
    void compact(int d);

    // Every cell zero and cnt 0, as at start-up.
    void clearAll();

  private:
    std::size_t index(int column, int row) const {
        return static_cast<std::size_t>(column) * static_cast<std::size_t>(rowSlots()) +
               static_cast<std::size_t>(row);
    }

    TimeScale scale_;
    std::vector<std::uint32_t> cells_;
};

}  // namespace tev
