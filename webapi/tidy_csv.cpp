#include "webapi/tidy_csv.h"

#include "recordsio/fixed_text.h"
#include "recordsio/record_columns.h"
#include "webapi/row_time.h"

namespace tev::web {

std::string tidyCsv(const ScaleTable& table, bool includeLive) {
    std::string out(kTidyHeader);
    out += '\n';
    if (table.cnt < 0) return out;
    const int last = lastReadableRow(table);
    const int end = includeLive ? last : std::min<int>(last + 1, table.cnt) - 1;
    out.reserve(out.size() + static_cast<std::size_t>(end + 1) * 120);
    RowClock clock;
    for (int r = 0; r <= end; ++r) {
        if (const auto t = clock.at(table, r)) out += isoLocalTime(*t);
        for (const QuantityField& f : kQuantityFields) {
            out += ',';
            appendFixed(out, table.value(f.column, r), f.decimals);
        }
        out += '\n';
    }
    return out;
}

}  // namespace tev::web
