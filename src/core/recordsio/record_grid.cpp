#include "core/recordsio/record_grid.h"

#include <algorithm>
#include <array>
#include <bit>

#include "core/recordsio/fixed_text.h"
#include "core/recordsio/record_columns.h"

namespace tev {

namespace {

constexpr std::array<std::string_view, RecordGrid::kColumns> kHeaders = {
    "",    "Date", "Time",  "KWh ", "K1 ", "K2 ", "K3 ",   "Amp ",  "A1 ",
    "A2 ", "A3 ",  "Watt ", "W1 ",  "W2 ", "W3 ", "Vac1 ", "Vac2 ", "Vac3 "};

// Blank rows that follow the last record on the scales with day separators.
constexpr int kTrailingEmptyRows = 5;
constexpr int kGridRowsBeyondTable = 10;
constexpr int kFirstQuantityColumn = 3;

}  // namespace

GridScaleLayout gridScaleLayout(TimeScale scale) {
    const int rows = geometryOf(scale).fileRows + kGridRowsBeyondTable;
    const bool separators = hasTimeOfDay(scale);
    const bool coarse = scale == TimeScale::Week || scale == TimeScale::Month;
    return {rows, separators, coarse ? 1 : 2};
}

std::string_view RecordGrid::headerText(int column) {
    if (column < 0 || column >= kColumns) return {};
    return kHeaders[column];
}

RecordGrid::RecordGrid(const ScaleTable& table) : scale_(table.scale()) {
    const GridScaleLayout layout = gridScaleLayout(scale_);
    energyDecimals_ = layout.energyDecimals;
    timeColumn_ = layout.daySeparators;
    corner_ = std::to_string(static_cast<std::int64_t>(table.cnt) + 1);
    rowCount_ = layout.gridRows;
    if (table.cnt <= 0) return;

    const int newest = std::min(table.cnt, table.rowSlots() - 1);
    const int records = newest + 1;
    recordRows_.reserve(records);
    cells_.resize(static_cast<std::size_t>(records) * kRecordCells);
    std::int32_t day = table.date(newest);
    int row = 1;
    for (int i = newest, n = 0; i >= 0; --i, ++n) {
        // Only a decrease of the date opens a new day block.
        if (layout.daySeparators && table.date(i) < day) {
            day = table.date(i);
            ++row;
        }
        recordRows_.push_back(row);
        std::uint32_t* out = cells_.data() + static_cast<std::size_t>(n) * kRecordCells;
        for (int c = 0; c < table.columns(); ++c) out[c] = table.raw(c, i);
        ++row;
    }
    if (layout.daySeparators) rowCount_ = row + kTrailingEmptyRows;
    rowCount_ = std::max(rowCount_, row);

    recordOfRow_.assign(rowCount_, -1);
    for (int n = 0; n < records; ++n) recordOfRow_[recordRows_[n]] = n;
}

std::string RecordGrid::cell(int row, int column) const {
    if (row < 0 || row >= rowCount_ || column < 0 || column >= kColumns) return {};
    if (row == 0) return column == 0 ? corner_ : std::string(kHeaders[column]);
    if (row >= static_cast<int>(recordOfRow_.size())) return {};
    const std::int32_t record = recordOfRow_[row];
    if (record < 0) return {};
    return recordCell(record, column);
}

std::string RecordGrid::recordCell(int record, int column) const {
    const std::uint32_t* cells = cells_.data() + static_cast<std::size_t>(record) * kRecordCells;
    std::string text;
    if (column == 0) {
        appendInteger(text, record + 1);
    } else if (column == 1) {
        appendInteger(text, static_cast<std::int32_t>(cells[kColDate]));
    } else if (column == 2) {
        if (timeColumn_) appendTimeOfDay(text, static_cast<std::int32_t>(cells[kColTime]));
    } else {
        const QuantityField& f = kQuantityFields[column - kFirstQuantityColumn];
        const int decimals = f.energy ? energyDecimals_ : f.decimals;
        appendFixed(text, std::bit_cast<float>(cells[f.column]), decimals);
    }
    return text;
}

}  // namespace tev
