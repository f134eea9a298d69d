#include "services/web/rules/tidy_csv.h"

#include <cstdio>

#include "core/recordsio/fixed_text.h"
#include "core/recordsio/record_columns.h"
#include "services/web/rules/row_cost.h"
#include "services/web/rules/row_time.h"

namespace tev::web {

std::string tidyCsv(const ScaleTable& table, bool includeLive, const alerts::Tariff* tariff) {
    if (tariff != nullptr && !tariff->configured()) tariff = nullptr;
    std::string out(kTidyHeader);
    if (tariff != nullptr) out += "," + costColumnName(*tariff);
    out += '\n';
    if (table.cnt < 0) return out;
    const int last = lastReadableRow(table);
    const int end = includeLive ? last : std::min<int>(last + 1, table.cnt) - 1;
    out.reserve(out.size() + static_cast<std::size_t>(end + 1) * 120);
    RowClock clock;
    std::optional<RowCosts> costs;
    if (tariff != nullptr) costs.emplace(table, *tariff);
    for (int r = 0; r <= end; ++r) {
        if (const auto t = clock.at(table, r)) out += isoLocalTime(*t);
        for (const QuantityField& f : kQuantityFields) {
            out += ',';
            appendFixed(out, table.value(f.column, r), f.decimals);
        }
        if (costs) {
            out += ',';
            if (const auto cost = costs->at(r)) {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%.4f", *cost);
                out += buffer;
            }
        }
        out += '\n';
    }
    return out;
}

}  // namespace tev::web
