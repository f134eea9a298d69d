#include "core/store/scale_table.h"

#include <algorithm>

namespace tev {

ScaleTable::ScaleTable(TimeScale scale)
    : scale_(scale),
      cells_(static_cast<std::size_t>(geometryOf(scale).columns) *
                 static_cast<std::size_t>(geometryOf(scale).rowSlots),
             0u) {}

void ScaleTable::compact(int d) {
    if (d <= 0 || cnt < d) return;
    const int moved = cnt - d + 1;  // rows 0 … cnt-d
    for (int c = 0; c < columns(); ++c) {
        std::uint32_t* col = column(c);
        std::copy(col + d, col + d + moved, col);
    }
    cnt -= d;
}

void ScaleTable::clearAll() {
    cnt = 0;
    std::fill(cells_.begin(), cells_.end(), 0u);
}

}  // namespace tev
