#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/scale_table.h"
#include "core/store/time_scale.h"

namespace tev {

// How the records grid lays out one time scale.
struct GridScaleLayout {
    int gridRows;        // rows the grid is given before it is filled: the table's rows + 10
    bool daySeparators;  // a time column and a blank row between days (Min, M5, M10, Hour)
    int energyDecimals;  // KWh..K3: "0.00", or "0.0" on the Week and Month scales
};

GridScaleLayout gridScaleLayout(TimeScale scale);

// The records grid of one refresh: 18 columns, row 0 the header row, then the table's rows
// newest first. It keeps its own copy of the table's rows as they stood at the refresh, so
// that later ticks do not show through, and formats a cell only when it is asked for.
class RecordGrid {
  public:
    static constexpr int kColumns = 18;
    // Rows of the grid before the first refresh.
    static constexpr int kInitialRows = 30200;

    // The grid before any scale has been chosen: the header texts and empty rows.
    RecordGrid() = default;
    // The refresh of `table`.
    explicit RecordGrid(const ScaleTable& table);

    TimeScale scale() const { return scale_; }
    // Grid rows including the header row.
    int rowCount() const { return rowCount_; }
    // Records listed: cnt + 1 once the table has rows, else 0.
    int recordCount() const { return static_cast<int>(recordRows_.size()); }
    // Grid row of the n-th listed record (n from 1, newest first).
    int gridRowOfRecord(int n) const { return recordRows_[n - 1]; }

    // Text of a cell; empty outside the grid.
    std::string cell(int row, int column) const;

    static std::string_view headerText(int column);

  private:
    std::string recordCell(int record, int column) const;

    TimeScale scale_ = TimeScale::None;
    std::string corner_;
    int rowCount_ = kInitialRows;
    int energyDecimals_ = 2;
    bool timeColumn_ = false;
    // Listed record (0 = newest) by grid row; -1 for the header, separator and empty rows.
    std::vector<std::int32_t> recordOfRow_;
    std::vector<std::int32_t> recordRows_;
    // The listed records' cells, kRecordCells per record.
    static constexpr int kRecordCells = 17;
    std::vector<std::uint32_t> cells_;
};

}  // namespace tev
