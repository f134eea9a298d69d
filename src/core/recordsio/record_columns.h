#pragma once

#include <array>
#include <string_view>

#include "core/store/scale_table.h"
#include "core/store/time_scale.h"

namespace tev {

// The field order shared by the records grid and the CSV export: date, time, then the
// quantities from energy down to voltage.
struct QuantityField {
    int column;    // store column
    int decimals;  // picture format "0" (0), "0.0" (1) or "0.00" (2)
    bool energy;   // KWh..K3: the grid shows one decimal on the Week and Month scales
};

inline constexpr std::array<QuantityField, kQuantityCount> kQuantityFields = {{
    {kColKWh, 2, true},
    {kColK1, 2, true},
    {kColK2, 2, true},
    {kColK3, 2, true},
    {kColAmp, 2, false},
    {kColA1, 2, false},
    {kColA2, 2, false},
    {kColA3, 2, false},
    {kColWatt, 0, false},
    {kColW1, 0, false},
    {kColW2, 0, false},
    {kColW3, 0, false},
    {kColV1, 0, false},
    {kColV2, 0, false},
    {kColV3, 0, false},
}};

// The four finer scales carry a time of day (and, in the grid, a blank row between days).
constexpr bool hasTimeOfDay(TimeScale s) {
    return s == TimeScale::Min || s == TimeScale::M5 || s == TimeScale::M10 || s == TimeScale::Hour;
}

// The highest row index a reader may touch for a table's count: a count from a file or an
// import is never trusted beyond the rows the table holds.
inline int lastReadableRow(const ScaleTable& t) {
    if (t.cnt <= 0) return 0;
    return t.cnt < t.rowSlots() ? t.cnt : t.rowSlots() - 1;
}

}  // namespace tev
